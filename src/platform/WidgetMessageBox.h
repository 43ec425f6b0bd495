// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/MessageBox.h"

class QWidget;

// The real message box, a QMessageBox over the given parent.
class WidgetMessageBox : public MessageBox
{
public:
    explicit WidgetMessageBox(QWidget *parent = nullptr) : m_parent(parent) { }
    void Show(const QString &text) override;

private:
    QWidget *m_parent;
};
