// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

// A long text cut into runs of whole sentences, so that several helpers can
// each render one while the parts still join into what one helper would have
// said: no sentence (and so no number, date or phrase) is cut in two.
namespace TextParts {

struct Part
{
    qsizetype offset = 0;
    qsizetype length = 0;
};

// Parts of at least about targetUnits UTF-16 units, each ending at a
// sentence's end. A run without any sentence end (a list without
// punctuation, say) is cut at a line break opportunity once it is four times
// as long, so that one unending sentence cannot become the whole book.
// Together the parts cover the text exactly, in order.
QList<Part> split(const QString &text, qsizetype targetUnits);

// As split, except that the text of the last tailParts parts is cut four
// times finer. Helpers run out of parts one by one at a book's end; with
// small last parts they run out nearly together, instead of one of them
// saying a whole part while the others wait.
QList<Part> splitWithFineTail(const QString &text, qsizetype targetUnits, int tailParts);

} // namespace TextParts
