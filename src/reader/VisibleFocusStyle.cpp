// SPDX-License-Identifier: GPL-3.0-or-later
#include "reader/VisibleFocusStyle.h"

#include <QPainter>
#include <QStyleOption>

namespace {

constexpr int FrameWidth = 2;

void drawFocusFrame(const QStyleOption *option, QPainter *painter)
{
    painter->save();
    QPen pen(option->palette.color(QPalette::Active, QPalette::Highlight), FrameWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    // The pen is centred on the path: inset by half its width to stay inside.
    painter->drawRect(QRectF(option->rect).adjusted(1, 1, -1, -1));
    painter->restore();
}

} // namespace

void VisibleFocusStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                      const QWidget *widget) const
{
    if (element == PE_FrameFocusRect) {
        drawFocusFrame(option, painter);
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

// Buttons draw their focus frame round the caption only; the frame people
// look for goes round the whole button.
void VisibleFocusStyle::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                                    const QWidget *widget) const
{
    QProxyStyle::drawControl(element, option, painter, widget);
    if (element == CE_PushButton && (option->state & State_HasFocus)) {
        QStyleOption frame(*option);
        frame.rect = option->rect.adjusted(1, 1, -1, -1);
        drawFocusFrame(&frame, painter);
    }
}
