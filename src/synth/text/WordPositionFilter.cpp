// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/text/WordPositionFilter.h"

#include <algorithm>

void WordPositionFilter::widenToEntity(qsizetype &start, qsizetype &end) const
{
    // An entity is at most a few characters; look back for its '&' without
    // crossing a blank, a tag or another entity's end.
    constexpr qsizetype LongestEntity = 12;
    for (qsizetype i = start; i >= 0 && start - i < LongestEntity; --i) {
        const QChar c = m_text[i];
        if (c == u'&') {
            const qsizetype semicolon = m_text.indexOf(u';', i);
            if (semicolon >= start && semicolon - i < LongestEntity) {
                start = i;
                end = std::max(end, semicolon + 1);
            }
            return;
        }
        if (c.isSpace() || c == u'>' || c == u'<' || (c == u';' && i != start))
            return;
    }
}

std::optional<std::pair<long, long>> WordPositionFilter::accept(qsizetype start, qsizetype end)
{
    const qsizetype size = m_text.size();
    start = std::clamp<qsizetype>(start, 0, size);
    end = std::clamp<qsizetype>(end, start, size);
    if (m_markup && start < size)
        widenToEntity(start, end);
    if (start > 0 && start < size && m_text[start].isLowSurrogate() && m_text[start - 1].isHighSurrogate())
        --start;
    if (end > 0 && end < size && m_text[end].isLowSurrogate() && m_text[end - 1].isHighSurrogate())
        ++end;
    // The synthesiser's ranges sometimes carry the blank after the word.
    while (end > start && m_text[end - 1].isSpace())
        --end;
    while (start < end && m_text[start].isSpace())
        ++start;
    // Repeats and revisits (around numbers) start inside the word already raised.
    if (end <= start || start < m_lastEnd)
        return std::nullopt;
    m_lastEnd = end;
    return std::make_pair(long(start), long(end - start));
}

std::vector<std::pair<long, long>> WordPositionFilter::skippedBefore(qsizetype start)
{
    std::vector<std::pair<long, long>> words;
    if (m_markup || m_lastEnd == 0)
        return words; // nothing raised yet: leading text is the engine's own business
    start = std::min(start, m_text.size());
    const auto spoken = [](QChar c) { return c.isLetterOrNumber() || c.isMark(); };
    for (qsizetype i = m_lastEnd; i < start;) {
        while (i < start && !spoken(m_text[i]))
            ++i;
        qsizetype end = i;
        bool han = false;
        while (end < start && !m_text[end].isSpace()) {
            han = han || m_text[end].script() == QChar::Script_Han;
            ++end;
        }
        // Trailing punctuation is not part of the word.
        qsizetype last = end;
        while (last > i && !spoken(m_text[last - 1]) && !m_text[last - 1].isLowSurrogate())
            --last;
        if (last > i && !han)
            words.emplace_back(long(i), long(last - i));
        i = end;
    }
    if (!words.empty())
        m_lastEnd = words.back().first + words.back().second;
    return words;
}
