// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QString>

class QWidget;
class QFont;

// Window layouts are designed in twips (1/1440 inch); at 96 dots per inch
// fifteen make one pixel. Qt's device-independent pixels are that 96-dpi
// pixel, so high-DPI scaling keeps the proportions.
constexpr int TwipsPerPixel = 15;

constexpr int twips(int value) { return value / TwipsPerPixel; }

inline QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// A control of kind W, named (also its Qt object name) and placed in parent.
template <typename W> W *placeControl(QWidget *parent, const char *name, QRect geometry)
{
    auto *widget = new W(parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

// "宋体" at the given size; on systems without it, substitutes resolve to an
// installed CJK serif so that Chinese never shows as boxes.
QFont songTiFont(double points, bool bold);

// Registers the substitutes for "宋体"; called once at start-up.
void installChineseFontSubstitutes();
