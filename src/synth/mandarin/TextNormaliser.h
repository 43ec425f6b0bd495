// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// Written forms read out as a Chinese news reader says them: numbers,
// dates, times, money, units, percentages, maths signs, phone numbers. Each
// rewrite replaces a stretch of the written text with the Chinese words
// said for it, so that what is highlighted is what was written.
namespace TextNormaliser {

struct Rewrite
{
    qsizetype start = 0;
    qsizetype length = 0;
    QString spoken; // Han characters (and nothing else) to read in its place
};

// Compiles the patterns now. The helper calls it before it confines itself:
// compiled later, they cost the first text's first audio, and the sandbox
// no longer lets their machine code be made executable.
void prepare();

// The rewrites of a text, in order, none overlapping.
QList<Rewrite> rewrites(QStringView text);

// Building blocks, exposed for tests.
QString cardinal(QStringView digits); // "1005" -> 一千零五 (no leading 两)
QString digitByDigit(QStringView digits, bool phoneStyle = false); // "2008" -> 二零零八; phones read 1 as 幺

} // namespace TextNormaliser
