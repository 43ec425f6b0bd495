// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "documents/DocumentLimits.h"
#include "documents/DocumentOutline.h"

#include <QString>
#include <QStringList>

// The text of the documents people have: plain text in any of the Chinese
// encodings, Markdown, HTML, EPUB, Word (.docx), OpenDocument (.odt), RTF and
// PDF, each recognised by its content. Nothing a document names is fetched or run.
namespace Documents {

// The readable text of the document at path, in reading order. Throws
// Failure with the reason in Chinese (the caller names the file). May take
// a while: call it off the UI thread. What could not be read of a document
// that was read all the same (an e-book's missing chapter) is added to notes.
// Only regular files are read: a pipe or a device would never end.
QString readText(const QString &path, QStringList *notes = nullptr);
// The same text with the document's headings, title, author and cover.
Document read(const QString &path, QStringList *notes = nullptr);

// The file dialog's filter: the supported types, then all files.
QString fileDialogFilter();

} // namespace Documents
