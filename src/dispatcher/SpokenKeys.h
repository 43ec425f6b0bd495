// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What a screen reader's CHAR and KEY messages are read as. A character is
// said by itself (a Han character with its reading, a digit as a number), a
// letter by its name, a space or a mark of punctuation by what it is
// called; a key by its name, modifiers first ("control_alt_delete").
// chinese: the names a Chinese listener uses (空格, 回车, 逗号); else English.
QString spokenCharacter(const QString &character, bool chinese);
QString spokenKey(const QString &key, bool chinese);
