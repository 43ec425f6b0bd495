// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Names for the files of a book saved a chapter a file, safe on any file
// system a person may copy them to (a memory card, a phone, Windows).
namespace FileNames {

// name made safe: the characters Windows and FAT refuse (/ \ : * ? " < > |)
// become their full-width forms, control characters go, runs of spaces
// become one, and dots and spaces at the ends go (Windows drops them). The
// name with its extension fits in 255 bytes of UTF-8, cut between characters.
QString safe(const QString &name, const QString &extension);

// "BASE 03 TITLE.EXT": numbered first, so the files sort in reading order
// and no two differ only by case; the number has as many digits as the
// count needs, two at least.
QString numbered(const QString &base, int number, int count, const QString &title, const QString &extension);

} // namespace FileNames
