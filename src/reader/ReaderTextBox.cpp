#include "reader/ReaderTextBox.h"

#include <QDropEvent>
#include <QMimeData>
#include <QTextBlock>

#include <algorithm>

ReaderTextBox::ReaderTextBox(QWidget *parent) : QPlainTextEdit(parent)
{
    // After a click on Speak the focus is on the button; the word being read
    // must still show in the normal selection colours.
    QPalette colours = palette();
    for (const auto role : {QPalette::Highlight, QPalette::HighlightedText})
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    setPalette(colours);
}

bool ReaderTextBox::selectRange(qsizetype start, qsizetype length)
{
    const qsizetype end = document()->characterCount() - 1; // the document's own final separator is not text
    if (start < 0 || start > end || length < 0)
        return false;
    QTextCursor cursor(document());
    cursor.setPosition(int(start));
    cursor.setPosition(int(std::min(start + length, end)), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    ensureCursorVisible();
    return true;
}

void ReaderTextBox::dropEvent(QDropEvent *event)
{
    const QMimeData *data = event->mimeData();
    // Only real text counts: hasText() would also take a drop of files for
    // text (their addresses), which must leave the text alone.
    const QStringList formats = data ? data->formats() : QStringList();
    const bool plainText = std::any_of(formats.cbegin(), formats.cend(),
                                       [](const QString &format) { return format.startsWith(u"text/plain"); });
    if (!plainText) {
        event->ignore();
        return;
    }
    // The dropped text takes the place of everything, not just the drop point.
    setPlainText(data->text());
    event->acceptProposedAction();
}
