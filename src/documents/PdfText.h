// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "documents/DocumentOutline.h"

#include <QString>
#include <QStringList>

// The text of every page of a PDF, in page order and poppler's reading order
// (columns one after the other), as it is heard: running headers and
// footers, page numbers, the dot leaders of tables of contents and runs of
// spaces are left out. Throws Failure for a damaged or encrypted file, or
// one without a text layer (a scan): there is nothing to read aloud there.
namespace PdfText {

// info, when given, gets the document's title and author.
QString read(const QString &path, Documents::Info *info = nullptr);

// The pages' texts (one string a page, lines apart) with what is not read
// left out: a first or last line that stands, digits aside, on at least
// half the pages (of three or more), a first or last line that is only a
// page number ("12", "- 12 -", "12 / 223", "第 12 页"), leaders and runs of
// spaces. Pages are joined by a blank line.
QString asHeard(const QStringList &pages);

} // namespace PdfText
