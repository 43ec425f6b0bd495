// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WidgetMessageBox.h"

#include <QCoreApplication>
#include <QMessageBox>

QString ProgramTitle() { return QCoreApplication::applicationName(); }

void WidgetMessageBox::Show(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, ProgramTitle(), text, QMessageBox::Ok, m_parent);
    box.setObjectName(QStringLiteral("messageBox"));
    box.exec();
}
