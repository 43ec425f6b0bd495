// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

// SSML read for a front end that takes plain text: what is said, where each
// of its characters stands in the markup (so that words are still shown in
// the text the caller gave), and the marks with the place in what is said
// where each is reached. Screen readers send their texts this way, with a
// mark before every word, and expect to hear them read as any other text.
struct SsmlText
{
    struct Mark
    {
        qsizetype at = 0; // in text: the mark is reached before text[at]
        QString name;
    };

    QString text;
    // source[i]: the position in the markup of text[i]; one more entry, the
    // markup's end, so that a range's end maps too.
    QList<qsizetype> source;
    QList<Mark> marks;

    // The markup range of text[from, from + length).
    std::pair<qsizetype, qsizetype> sourceRange(qsizetype from, qsizetype length) const;
};

// Reads markup that readAsMarkup() admitted. Elements say their text; a
// <sub> says its alias instead; a paragraph, sentence or break ends what
// came before it as a line does. Anything the markup does not allow stops
// the reading there, and the rest is said as written: a text is never lost.
SsmlText readSsml(const QString &markup);
