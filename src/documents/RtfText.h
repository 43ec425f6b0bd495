// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// The text of an RTF document as it is read: paragraphs as lines, table
// cells apart, characters from \uN escapes and from the bytes of the
// document's code page (\ansicpg936) or of the current font's character set
// (\fcharset134, as WordPad writes Chinese). What is not read is skipped
// whole: font, colour and style tables, document information, pictures,
// objects, headers and footers, field instructions and every \* group.
// Footnotes are read once, after the paragraph that cites them.
// Throws Failure for what is no RTF or nests beyond reason.
namespace RtfText {

QString read(const QByteArray &rtf);

} // namespace RtfText
