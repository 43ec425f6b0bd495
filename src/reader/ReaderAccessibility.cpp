// SPDX-License-Identifier: GPL-3.0-or-later
#include "reader/ReaderAccessibility.h"

#include <QAccessibleWidget>
#include <QComboBox>

namespace {

// The voice list as screen readers see it: named "语言" like its label, its
// value the voice shown. (Qt's own combo box on Linux gives the voice as
// the name too, so the list's purpose is never read out.)
class AccessibleVoiceList : public QAccessibleWidget
{
public:
    explicit AccessibleVoiceList(QComboBox *list) : QAccessibleWidget(list, QAccessible::ComboBox) { }

    QString text(QAccessible::Text t) const override
    {
        const auto *list = static_cast<const QComboBox *>(widget());
        if (t == QAccessible::Value)
            return list->currentText();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override { return {showMenuAction()}; }
    void doAction(const QString &action) override
    {
        if (action == showMenuAction())
            static_cast<QComboBox *>(widget())->showPopup();
    }
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
