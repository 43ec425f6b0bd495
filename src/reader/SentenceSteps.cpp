// SPDX-License-Identifier: GPL-3.0-or-later
#include "reader/SentenceSteps.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace {

// Sentences of ordinary text end well within this; a longer one (a list
// without stops) widens the look step by step.
constexpr qsizetype Reach = 2048;
// What the rules look at past a boundary (closing quotes and brackets, blanks).
constexpr qsizetype LookAhead = 64;

bool blank(QStringView text) { return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isSpace(); }); }

// The start of the sentence holding position, or position itself when a
// sentence starts there.
qsizetype sentenceStartAt(QStringView text, qsizetype position)
{
    for (qsizetype reach = Reach;; reach *= 2) {
        const qsizetype from = std::max<qsizetype>(0, position - reach);
        const qsizetype to = std::min(text.size(), position + LookAhead);
        QTextBoundaryFinder finder(QTextBoundaryFinder::Sentence, text.data() + from, to - from);
        finder.setPosition(position - from);
        const qsizetype start = finder.isAtBoundary() ? finder.position() : finder.toPreviousBoundary();
        // The window's own start is a boundary only when it is the text's.
        if (from == 0 || start > 0)
            return from + std::max<qsizetype>(start, 0);
    }
}

} // namespace

std::optional<qsizetype> SentenceSteps::nextStart(QStringView text, qsizetype position)
{
    position = std::clamp<qsizetype>(position, 0, text.size());
    for (qsizetype reach = Reach;; reach *= 2) {
        const qsizetype to = std::min(text.size(), position + reach);
        QTextBoundaryFinder finder(QTextBoundaryFinder::Sentence, text.data() + position, to - position);
        const qsizetype end = finder.toNextBoundary();
        // The window's end is a boundary only when it is the text's.
        if (end < 0 || (position + end == to && to < text.size()))
            if (to < text.size())
                continue;
        if (end < 0 || position + end >= text.size() || blank(text.mid(position + end)))
            return std::nullopt;
        return position + end;
    }
}

qsizetype SentenceSteps::previousStart(QStringView text, qsizetype position)
{
    position = std::clamp<qsizetype>(position, 0, text.size());
    qsizetype start = sentenceStartAt(text, position);
    qsizetype firstWord = start;
    while (firstWord < position && text[firstWord].isSpace())
        ++firstWord;
    if (firstWord < position || start == 0)
        return start;
    // At the start already: the sentence before, past any blank ones.
    do
        start = sentenceStartAt(text, start - 1);
    while (start > 0 && blank(text.mid(start, position - start)));
    return start;
}
