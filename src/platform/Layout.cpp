// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Layout.h"

#include <QFont>
#include <QStringList>

QFont songTiFont(double points, bool bold)
{
    QFont font(QStringLiteral("宋体"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

void installChineseFontSubstitutes()
{
    const QStringList serifs = {QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"),
                                QStringLiteral("Noto Sans CJK SC"), QStringLiteral("AR PL UMing CN"),
                                QStringLiteral("WenQuanYi Zen Hei")};
    QFont::insertSubstitutions(QStringLiteral("宋体"), serifs);
}
