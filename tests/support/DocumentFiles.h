// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// Real documents made on the spot for tests, in the formats the reader opens.
namespace DocumentFiles {

// A zip archive with these entries (name, bytes), in order; the first is
// stored uncompressed (as EPUB's mimetype must be). With a password, the
// entries are encrypted.
bool writeZip(const QString &path, const QList<QPair<QString, QByteArray>> &entries, const QByteArray &password = {});

QList<QPair<QString, QByteArray>> epub(const QStringList &chaptersInReadingOrder);
QList<QPair<QString, QByteArray>> docx(const QStringList &paragraphs);
QList<QPair<QString, QByteArray>> odt(const QStringList &paragraphs);

// A PDF with one page per text, drawn with a real font (a text layer);
// with no texts, a page with only a drawing.
bool writePdf(const QString &path, const QStringList &pages);

// text in the named ICU charset, with a byte-order mark where asked.
QByteArray encoded(const QString &text, const char *charset, bool byteOrderMark = false);

} // namespace DocumentFiles
