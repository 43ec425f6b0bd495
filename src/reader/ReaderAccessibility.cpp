// SPDX-License-Identifier: GPL-3.0-or-later
#include "reader/ReaderAccessibility.h"

#include <QAccessibleWidget>
#include <QAbstractItemView>
#include <QComboBox>

namespace {

// The voice list as screen readers see it: named "语言" like its label, its
// value the voice shown. (Qt's own combo box on Linux gives the voice as
// the name too, so the list's purpose is never read out.) Its one child is
// the list of voices itself, as in Qt's own combo box, so that a screen
// reader can walk the entries, open or not.
class AccessibleVoiceList : public QAccessibleWidget
{
public:
    explicit AccessibleVoiceList(QComboBox *list) : QAccessibleWidget(list, QAccessible::ComboBox) { }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return list()->currentText();
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return 1; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(list()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && child->object() == list()->view() ? 0 : -1;
    }
    QStringList actionNames() const override { return {showMenuAction()}; }
    void doAction(const QString &action) override
    {
        if (action == showMenuAction())
            list()->showPopup();
    }

private:
    QComboBox *list() const { return static_cast<QComboBox *>(widget()); }
};

// Screen readers see the reader as a window named by its caption, not as an
// anonymous filler panel (what a plain top-level QWidget is exposed as).
} // namespace

QAccessibleInterface *readerForScreenReaders(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("frmMain"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    if (className == QLatin1String("QComboBox") && object->objectName() == QLatin1String("CBLg") && object->parent()
        && object->parent()->inherits("frmMain"))
        return new AccessibleVoiceList(static_cast<QComboBox *>(object));
    return nullptr;
}
