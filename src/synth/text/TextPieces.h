// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A stretch of the spoken text handed to one synthesis call.
struct TextPiece
{
    qsizetype offset = 0; // UTF-16 offset of the piece in the whole text
    qsizetype length = 0; // its length in UTF-16 code units
    QByteArray utf8; // what the synthesiser reads
    QList<qsizetype> codePointOffsets; // UTF-16 offset (within the piece) of each code point, plus the end

    // The synthesiser reports 1-based code-point positions and lengths; this
    // turns one into a UTF-16 range of the whole text, clamped to the piece.
    std::pair<qsizetype, qsizetype> toUtf16Range(int codePointPosition, int codePointLength) const;
};

// Cuts plain text into pieces of at most maxCodePoints code points: a
// sentence as ICU's sentence breaks have it (a line that only wraps does not
// end one), else (a sentence too long) up to
// the last of ICU's word boundaries before the limit, else anywhere but
// inside a surrogate pair. Pieces are made one at a time so that a huge text
// never needs a second full-size copy. Returns an empty piece at the end.
TextPiece nextPlainPiece(const QString &text, qsizetype from, int maxCodePoints = 240);

// Whether the line break at text[newline] only wraps a line: the line
// before it is long (as hard-wrapped text and PDF lines are) and does not
// end a sentence, and the next line goes on at once (no blank line, no
// indent). Pieces run across such breaks; the text itself keeps them.
bool isSoftLineBreak(QStringView text, qsizetype newline);

// The whole text as one piece (used for markup, which cannot be cut).
TextPiece wholeTextPiece(const QString &text);

// What the synthesiser can read safely: control characters, unpaired
// surrogates and replacement characters become one blank each, so positions
// still count the same code points as the original.
QByteArray synthesisSafeUtf8(QStringView text, QList<qsizetype> *codePointOffsets);
