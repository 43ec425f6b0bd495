// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAccessibleInterface>
#include <QString>

class QObject;

// The reader as screen readers see it (installed with
// QAccessible::installFactory): the window as a window named by its
// caption, the voice list named "语言" like its label with the voice as
// its value. Other objects are left to Qt.
QAccessibleInterface *readerForScreenReaders(const QString &className, QObject *object);
