// SPDX-License-Identifier: GPL-3.0-or-later
#include "reader/ReaderAccessibility.h"

#include <QAccessibleWidget>
#include <QAbstractItemView>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLineEdit>

namespace {

// The voice list as screen readers see it: named "语言" like its label, its
// value the voice shown. (Qt's own combo box on Linux gives the voice as
// the name too, so the list's purpose is never read out.) As in Qt's own
// editable combo box, its children are the list of voices (so that a screen
// reader can walk the entries, open or not, the chosen one selected) and
// the text field showing the voice, whose text is also the box's own text:
// AT-SPI has no place for a value that is not a number, so a screen reader
// reads an editable combo box's text ("语言" while no voice is chosen).
class AccessibleVoiceList : public QAccessibleWidget
{
public:
    explicit AccessibleVoiceList(QComboBox *list) : QAccessibleWidget(list, QAccessible::ComboBox) { }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            if (QAccessibleInterface *field = shownText())
                return field->textInterface();
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return list()->currentText();
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return list()->lineEdit() ? 2 : 1; }
    QAccessibleInterface *child(int index) const override
    {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(list()->view());
        return index == 1 ? shownText() : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child)
            return -1;
        if (child->object() == list()->view())
            return 0;
        return list()->lineEdit() && child->object() == list()->lineEdit() ? 1 : -1;
    }
    QStringList actionNames() const override { return {showMenuAction()}; }
    void doAction(const QString &action) override
    {
        if (action == showMenuAction())
            list()->showPopup();
    }

private:
    QComboBox *list() const { return static_cast<QComboBox *>(widget()); }
    QAccessibleInterface *shownText() const
    {
        return list()->lineEdit() ? QAccessible::queryAccessibleInterface(list()->lineEdit()) : nullptr;
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

void selectCurrentEntry(QComboBox *list)
{
    QItemSelectionModel *selection = list->view()->selectionModel();
    const QModelIndex current = list->model()->index(list->currentIndex(), list->modelColumn(), list->rootModelIndex());
    if (current.isValid())
        selection->setCurrentIndex(current, QItemSelectionModel::ClearAndSelect);
    else
        selection->clear();
}
