// SPDX-License-Identifier: GPL-3.0-or-later
#include "reader/WrappedLabel.h"

#include <QPainter>
#include <QTextLayout>

#include <cmath>

void WrappedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QFontMetricsF metrics(font());
    const qreal pitch =
        std::ceil(font().pixelSize() > 0 ? font().pixelSize() : font().pointSizeF() * logicalDpiY() / 72.0) + 1;

    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    QTextLayout layout(text(), font());
    layout.setTextOption(option);
    layout.beginLayout();
    qreal y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width());
        // Centre the glyphs' own height within the tighter pitch.
        line.setPosition(QPointF(0, y - (metrics.height() - pitch) / 2));
        y += pitch;
    }
    layout.endLayout();
    layout.draw(&painter, QPointF(0, 0));
}
