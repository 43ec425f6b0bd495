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

// The readable text of the document at path, in reading order. Throws
// Failure with the reason in Chinese (the caller names the file). May take
// a while: call it off the UI thread.
QString readText(const QString &path);

// The file dialog's filter: the supported types, then all files.
QString fileDialogFilter();

} // namespace Documents
