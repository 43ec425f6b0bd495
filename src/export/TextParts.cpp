// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/TextParts.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace TextParts {

namespace {

// The first boundary of kind at or after from, or the text's end.
qsizetype nextBoundary(QTextBoundaryFinder &finder, qsizetype from, qsizetype size)
{
    if (from >= size)
        return size;
    finder.setPosition(from);
    if (finder.isAtBoundary())
        return from;
    const qsizetype next = finder.toNextBoundary();
    return next < 0 ? size : next;
}

} // namespace

QList<Part> split(const QString &text, qsizetype targetUnits)
{
    const qsizetype size = text.size();
    const qsizetype target = std::max<qsizetype>(1, targetUnits);
    QList<Part> parts;
    QTextBoundaryFinder sentences(QTextBoundaryFinder::Sentence, text);
    QTextBoundaryFinder lines(QTextBoundaryFinder::Line, text);
    qsizetype start = 0;
    while (start < size) {
        qsizetype end = nextBoundary(sentences, start + target, size);
        if (end - start > 4 * target)
            end = std::min(end, nextBoundary(lines, start + 4 * target, size));
        // A surrogate pair is never split, whatever the breaks say.
        if (end < size && text.at(end).isLowSurrogate())
            ++end;
        parts.append({start, end - start});
        start = end;
    }
    return parts;
}

QList<Part> splitWithFineTail(const QString &text, qsizetype targetUnits, int tailParts)
{
    QList<Part> parts = split(text, targetUnits);
    if (tailParts <= 0 || parts.isEmpty())
        return parts;
    const qsizetype first = std::max<qsizetype>(0, parts.size() - tailParts);
    const qsizetype from = parts[first].offset;
    parts.resize(first);
    // The tail begins at a sentence's end, so its own sentences are the text's.
    for (const Part &part : split(text.mid(from), std::max<qsizetype>(1, targetUnits / 4)))
        parts.append({from + part.offset, part.length});
    return parts;
}

} // namespace TextParts
