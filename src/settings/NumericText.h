// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

// Numbers stored as text, read the way the user's locale writes them (the
// C locale's form is always accepted too): blanks around the number are
// allowed, group separators and an exponent too. Anything else, the empty
// text included, is not a number.
std::optional<double> parseNumericText(const QString &text);

// The number as a 16-bit integer: a fraction is rounded to the nearest
// integer, a half to the even neighbour (2.5 gives 2, 3.5 gives 4).
enum class IntegerConversion { Ok, NotANumber, Overflow };
IntegerConversion toInteger16(const QString &text, short *result);

// Plain decimal text: a minus sign when negative, no blanks, no separators.
QString integerText(int value);
