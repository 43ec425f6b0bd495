// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Chinese prose of any length for the benchmarks: one paragraph, repeated.
inline QString benchText(qsizetype units)
{
    const QString paragraph = QStringLiteral(
        "清晨的雾气慢慢散开，河边的柳树露出了新绿。老人坐在石凳上，听着远处传来的钟声，想起了年轻时走过的路。"
        "他说，日子像河水一样，看起来很慢，回头一看却已经流得很远。\n");
    QString text;
    text.reserve(units);
    while (text.size() < units)
        text += paragraph;
    text.truncate(units);
    return text;
}
