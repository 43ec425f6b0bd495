// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "documents/DocumentOutline.h"

// Where a book's chapters begin, for saving it a file per chapter: the
// headings of the document's top level (an EPUB's spine items, h1 — or h2
// where a page has one h1 for its title —, 标题 1, Markdown's #), or, in a
// text without headings, lines that stand alone and name a chapter as books
// do: "第一章 风起", "第12回", "卷三", "Chapter 3", "序", "后记"; a bare
// "第三章" or "Chapter 3" takes a short line below it as its title.
// Fewer than two chapters is no chapter at all: the book stays one file.
namespace Documents {

QList<Heading> chapters(const Document &document);

// Whether a line, trimmed, names a chapter as books do.
bool isChapterLine(QStringView line);

} // namespace Documents
