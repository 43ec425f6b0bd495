// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// What a document says about itself beside its text: its headings (where
// its chapters begin) and who wrote it under what title, for audiobooks cut
// by chapter and tagged.
namespace Documents {

struct Heading
{
    qsizetype offset = 0; // UTF-16 offset in the text where its line begins
    int level = 1; // 1 is the top level (h1, 标题 1, an EPUB spine item)
    QString title;
    bool operator==(const Heading &) const = default;
};

struct Info
{
    QString title;
    QString author;
    QByteArray cover; // image bytes, empty when the document has none
    QString coverType; // "image/jpeg", "image/png"
};

struct Document
{
    QString text;
    QList<Heading> headings; // in text order
    Info info;
};

// Marks that a format reader puts before a heading's first character while
// it builds the text, and takeHeadings() removes afterwards: the readers tidy
// their text (blank lines collapse), so offsets can only be known at the
// end. Noncharacters never stand in text that is interchanged, and any found
// in a document are dropped by the reader before they could be taken for one.
inline constexpr char16_t HeadingMark = u'\uFDD0'; // followed by U+FDD0 + level (1..9)
inline bool isHeadingMark(QChar c) { return c.unicode() >= 0xFDD0 && c.unicode() <= 0xFDD9; }
QString headingMark(int level);
// Removes the marks from text and returns the headings they stood for; the
// title is the rest of the heading's line.
QList<Heading> takeHeadings(QString &text);

} // namespace Documents
