// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// Bytes of a text file to text: a byte-order mark decides; else ICU's
// charset detector, trusted when it is sure; else UTF-8 when the bytes are
// valid UTF-8, else GB18030 (which covers GBK and GB2312, what most Chinese
// .txt files are in). Conversion is ICU's. Throws Failure for bytes that are
// no text at all (NUL bytes outside UTF-16).
namespace TextDecoding {

QString decode(const QByteArray &bytes);

// The charset decode() would use (for tests and messages).
QByteArray charsetOf(const QByteArray &bytes);

} // namespace TextDecoding
