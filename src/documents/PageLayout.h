// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QRectF>
#include <QString>

// The reading order of a page's words, from where they stand: words are
// gathered into pieces of lines (a gap wider than a line is high parts
// them, as a column's gutter does), then the page is cut recursively at
// the widest gutter that runs its whole height (columns, left before
// right) or else at gaps between lines wider than a line is high (a header
// above the text, a footer below); what cannot be cut is read line by line.
namespace PageLayout {

struct Word
{
    QString text;
    QRectF box;
    bool spaceAfter = false;
};

// The page's text: a line for each piece of a line, in reading order.
QString readingOrder(const QList<Word> &words);

} // namespace PageLayout
