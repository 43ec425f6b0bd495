// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <unicode/brkiter.h>
#include <unicode/unistr.h>

#include <memory>

// ICU's own words of text (blanks and punctuation left out), as (position,
// length): what a reader sees as words, for tests to compare against.
inline QList<QPair<long, long>> icuWords(const QString &text)
{
    QList<QPair<long, long>> words;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createWordInstance(icu::Locale("zh"), status));
    const icu::UnicodeString alias(false, reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()));
    it->setText(alias);
    for (int32_t start = it->first(), end = it->next(); end != icu::BreakIterator::DONE; start = end, end = it->next())
        if (it->getRuleStatus() != UBRK_WORD_NONE)
            words.append({start, end - start});
    return words;
}
