// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <vector>

// Turns the synthesiser's raw word ranges into ones a text view can select:
// inside the text, never splitting a surrogate pair, never empty, and always
// moving forward. The synthesiser repeats and revisits positions around
// numbers ("2024年", "1,000.00"); those repeats are dropped here. In markup,
// a word read from an entity ("&amp;") is moved onto the whole entity.
class WordPositionFilter
{
public:
    WordPositionFilter(const QString &text, bool markup) : m_text(text), m_markup(markup) { }

    std::optional<std::pair<long, long>> accept(qsizetype start, qsizetype end);

    // Words the synthesiser spoke without a word event of their own, between
    // the last word raised and start: it says "of the" and "in the" as one
    // word, with an event for the first only. Plain text only; each is a
    // blank-separated run without Hanzi (Hanzi always get their own events).
    // They count as raised.
    std::vector<std::pair<long, long>> skippedBefore(qsizetype start);

private:
    void widenToEntity(qsizetype &start, qsizetype &end) const;

    const QString &m_text;
    const bool m_markup;
    qsizetype m_lastEnd = 0;
};
