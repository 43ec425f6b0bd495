// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// Bytes of a text file to text: a byte-order mark decides; else ICU's
// charset detector, trusted when it is sure; else UTF-8 when the bytes are
// valid UTF-8, else GB18030 (which covers GBK and GB2312, what most Chinese
// .txt files are in); UTF-16 without a mark is recognised by what its
// characters are. Conversion is ICU's. Throws Failure for bytes that are no
// text at all (NUL bytes outside UTF-16).
namespace TextDecoding {

QString decode(const QByteArray &bytes);

// The text without what only a terminal acts on: escape sequences (colours,
// cursor moves, window titles), backspace overstrikes of man pages ("b\bb"
// is b) and other control characters; a form feed becomes a line break.
// Tabs and line breaks stay.
QString withoutTerminalControls(const QString &text);

// The charset decode() would use (for tests and messages).
QByteArray charsetOf(const QByteArray &bytes);

} // namespace TextDecoding
