// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

// A fixed-size label whose text wraps with the tight line pitch of a Chinese
// system font (one em per line). CJK fonts on Linux carry a tall line height
// meant for mixed scripts, with which the hint text would not fit its box.
class WrappedLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override;
};
