// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Whether a settings file can be read as what the store writes: sections,
// key=value lines and comments, in UTF-8 (a byte-order mark allowed), of a
// sane size. QSettings reads damage without a word (binary junk turns into
// odd keys, a stray quote swallows the rest of the file into one value, and
// a 10 MB value takes a minute), so the store looks first.
namespace IniFileCheck {

constexpr qint64 MaxFileBytes = 1 << 20;
constexpr qsizetype MaxValueChars = 4096;

// Empty when the file is fine (or absent); else why it is damaged, for the user.
QString damage(const QString &path);

} // namespace IniFileCheck
