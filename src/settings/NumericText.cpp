// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/NumericText.h"

#include <QLocale>

#include <cfenv>
#include <cmath>

std::optional<double> parseNumericText(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    bool ok = false;
    double value = QLocale::system().toDouble(trimmed, &ok);
    if (!ok)
        value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

IntegerConversion toInteger16(const QString &text, short *result)
{
    const std::optional<double> number = parseNumericText(text);
    if (!number)
        return IntegerConversion::NotANumber;
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(*number);
    std::fesetround(previous);
    if (rounded < -32768.0 || rounded > 32767.0)
        return IntegerConversion::Overflow;
    *result = short(rounded);
    return IntegerConversion::Ok;
}

QString integerText(int value) { return QString::number(value); }
