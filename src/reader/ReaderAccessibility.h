// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAccessibleInterface>
#include <QString>

class QComboBox;
class QObject;

// The reader as screen readers see it (installed with
// QAccessible::installFactory): the window as a window named by its
// caption, the voice list named "语言" like its label with the voice as
// its value. Other objects are left to Qt.
QAccessibleInterface *readerForScreenReaders(const QString &className, QObject *object);

// Marks the list's current entry (or none) as the selected one in its list
// of entries, where assistive technology looks for it whether the list is
// open or not (a combo box updates that list only when it opens).
void selectCurrentEntry(QComboBox *list);
