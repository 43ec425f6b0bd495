// SPDX-License-Identifier: GPL-3.0-or-later
#include "reader/ReaderTextBox.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>

#include <algorithm>
#include <memory>

namespace {

// Text the reader takes from a drop: plain text that is not a list of files
// or links (on X11 a URI list also answers as text, its addresses).
bool carriesReadableText(const QMimeData *data)
{
    if (!data || data->hasUrls())
        return false;
    const QStringList formats = data->formats();
    return std::any_of(formats.cbegin(), formats.cend(),
                       [](const QString &format) { return format.startsWith(u"text/plain"); });
}

} // namespace

ReaderTextBox::ReaderTextBox(QWidget *parent) : QPlainTextEdit(parent)
{
    // After a click on Speak the focus is on the button; the word being read
    // must still show in the normal selection colours.
    QPalette colours = palette();
    for (const auto role : {QPalette::Highlight, QPalette::HighlightedText})
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    setPalette(colours);
    connect(document(), &QTextDocument::contentsChanged, this, [this] { m_plainText.reset(); });
}

QString ReaderTextBox::plainText() const
{
    if (!m_plainText)
        m_plainText = toPlainText();
    return *m_plainText;
}

bool ReaderTextBox::selectRange(qsizetype start, qsizetype length)
{
    const qsizetype end = document()->characterCount() - 1; // the document's own final separator is not text
    if (start < 0 || start > end || length < 0)
        return false;
    QTextCursor word(document());
    word.setPosition(int(start));
    word.setPosition(int(std::min(start + length, end)), QTextCursor::KeepAnchor);
    if (hasFocus()) {
        markWord(word);
    } else {
        markWord({});
        setTextCursor(word);
        ensureCursorVisible();
    }
    return true;
}

// Paints the word in the selection colours without touching the cursor.
void ReaderTextBox::markWord(const QTextCursor &word)
{
    QList<QTextEdit::ExtraSelection> marks;
    if (!word.isNull()) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = word;
        mark.format.setBackground(palette().brush(QPalette::Active, QPalette::Highlight));
        mark.format.setForeground(palette().brush(QPalette::Active, QPalette::HighlightedText));
        marks.append(mark);
    }
    setExtraSelections(marks);
}

void ReaderTextBox::replaceAll(const QString &text)
{
    markWord({});
    QTextCursor all(document());
    all.select(QTextCursor::Document);
    if (text.isEmpty())
        all.removeSelectedText();
    else
        all.insertText(text);
    setTextCursor(QTextCursor(document()));
}

// Qt's own entries, with the reader's own on top.
void ReaderTextBox::contextMenuEvent(QContextMenuEvent *event)
{
    std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
    QAction *first = menu->actions().value(0);
    QAction *open = new QAction(QStringLiteral("打开文件…"), menu.get());
    open->setObjectName(QStringLiteral("openDocument"));
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, &ReaderTextBox::openRequested);
    QAction *save = new QAction(QStringLiteral("保存为音频文件…"), menu.get());
    save->setObjectName(QStringLiteral("saveAsAudio"));
    save->setShortcut(QKeySequence::Save);
    connect(save, &QAction::triggered, this, &ReaderTextBox::saveRequested);
    menu->insertActions(first, {open, save});
    menu->insertSeparator(first);
    menu->exec(event->globalPos());
}

// Drops are always copies: taking the text must never cut it out of the
// program it was dragged from. A source that offers only a move is refused.
bool ReaderTextBox::acceptAsCopy(QDropEvent *event)
{
    if (!carriesReadableText(event->mimeData()) || !(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

void ReaderTextBox::dragEnterEvent(QDragEnterEvent *event) { acceptAsCopy(event); }

void ReaderTextBox::dragMoveEvent(QDragMoveEvent *event) { acceptAsCopy(event); }

void ReaderTextBox::dropEvent(QDropEvent *event)
{
    if (!acceptAsCopy(event))
        return;
    // The dropped text takes the place of everything, not just the drop point.
    replaceAll(event->mimeData()->text());
}
