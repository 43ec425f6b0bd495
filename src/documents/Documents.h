// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The text of the documents people have: plain text in any of the Chinese
// encodings, Markdown, HTML, EPUB, Word (.docx), OpenDocument (.odt) and PDF,
// each recognised by its content. Nothing a document names is fetched or run.
namespace Documents {

// Files larger than this are refused: 256 MiB, far above a long novel as
// text (a few MB) or a book as PDF.
constexpr qint64 MaxFileBytes = qint64(256) << 20;
// What an archive may unpack to in all, so a zip bomb is refused, not unpacked.
constexpr qint64 MaxUnpackedBytes = qint64(256) << 20;
// What the text of one document may come to, in UTF-16 units: some 30 long
// novels. Small markup can stand for much text (a space element repeated a
// thousand times), so what is produced is counted, not only what is read.
constexpr qsizetype MaxTextUnits = qsizetype(32) << 20;

// The readable text of the document at path, in reading order. Throws
// Failure with the reason in Chinese (the caller names the file). May take
// a while: call it off the UI thread. What could not be read of a document
// that was read all the same (an e-book's missing chapter) is added to notes.
// Only regular files are read: a pipe or a device would never end.
QString readText(const QString &path, QStringList *notes = nullptr);

// The file dialog's filter: the supported types, then all files.
QString fileDialogFilter();

} // namespace Documents
