// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/text/WordGrouping.h"

#include <unicode/brkiter.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <memory>

namespace {

bool dictionaryScript(QChar::Script script)
{
    switch (script) {
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Thai:
    case QChar::Script_Lao:
    case QChar::Script_Khmer:
    case QChar::Script_Myanmar:
        return true;
    default:
        return false;
    }
}

QChar::Script scriptAt(const QString &text, qsizetype i)
{
    const char32_t c = text[i].isHighSurrogate() && i + 1 < text.size() ? QChar::surrogateToUcs4(text[i], text[i + 1])
                                                                        : text[i].unicode();
    return QChar::script(c);
}

} // namespace

WordGrouping::WordGrouping(const QString &text) : m_text(text)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> words(icu::BreakIterator::createWordInstance(icu::Locale("zh"), status));
    if (U_FAILURE(status))
        return;
    const icu::UnicodeString alias(false, reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()));
    words->setText(alias);
    for (int32_t start = words->first(), end = words->next(); end != icu::BreakIterator::DONE;
         start = end, end = words->next()) {
        if (words->getRuleStatus() == UBRK_WORD_NONE)
            continue; // blanks and punctuation
        m_words.push_back({start, end, dictionaryScript(scriptAt(text, start))});
    }
}

const WordGrouping::Word *WordGrouping::wordAt(qsizetype position) const
{
    const auto after = std::upper_bound(m_words.begin(), m_words.end(), position,
                                        [](qsizetype p, const Word &w) { return p < w.start; });
    if (after == m_words.begin())
        return nullptr;
    const Word &word = *(after - 1);
    return position < word.end ? &word : nullptr;
}

std::optional<std::pair<long, long>> WordGrouping::group(long start, long length)
{
    const qsizetype end = start + length;
    // Only punctuation or blanks: not a word.
    const bool spoken = std::any_of(m_text.cbegin() + start, m_text.cbegin() + end,
                                    [](QChar c) { return c.isLetterOrNumber() || c.isMark() || c.isSurrogate(); });
    if (!spoken)
        return std::nullopt;
    const Word *word = wordAt(start);
    if (!word || !word->grouped)
        return std::make_pair(start, length);
    if (word->start == m_lastGrouped)
        return std::nullopt; // a later part of the word already raised
    m_lastGrouped = word->start;
    return std::make_pair(long(word->start), long(word->end - word->start));
}
