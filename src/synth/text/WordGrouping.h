// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <vector>

// Words as a reader sees them. The engine raises one word per Hanzi (and per
// kana, and per Thai syllable); ICU's word breaks, dictionary-based for
// Chinese, Japanese, Thai, Lao, Khmer and Burmese, say where the words are.
// Engine words inside one such word become one word, at the time of its
// first; Latin, digits and other scripts keep the engine's own words; what
// is only punctuation or blanks is never a word.
class WordGrouping
{
public:
    explicit WordGrouping(const QString &text);

    // The range to raise for the engine's word [start, end), or nothing.
    std::optional<std::pair<long, long>> group(long start, long length);

private:
    struct Word
    {
        qsizetype start, end;
        bool grouped; // a dictionary script: engine words inside are merged
    };
    const Word *wordAt(qsizetype position) const;

    const QString &m_text;
    std::vector<Word> m_words;
    qsizetype m_lastGrouped = -1; // start of the last grouped word raised
};
