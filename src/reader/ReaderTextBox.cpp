// SPDX-License-Identifier: GPL-3.0-or-later
#include "reader/ReaderTextBox.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <memory>

namespace {

// Edits followed while a text is read (each typed character is one): past
// this many, words select nothing until the next Speak.
constexpr qsizetype MaxEditsFollowed = 4096;

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
    connect(document(), &QTextDocument::contentsChange, this, [this](int position, int removed, int added) {
        // Typing, pasting, opening, Clear, undo: the caret is no longer
        // where the person placed it to be read from.
        m_caretPlaced = false;
        if (!m_followingEdits)
            return;
        if (m_editsWhileSpeaking.size() >= MaxEditsFollowed)
            m_tooManyEdits = true;
        else
            m_editsWhileSpeaking.append({position, removed, added});
    });
}

ReaderTextBox::Passage ReaderTextBox::passageToRead() const
{
    const QString text = plainText();
    const QTextCursor cursor = textCursor();
    if (!m_caretPlaced)
        return {text, 0};
    if (cursor.hasSelection())
        return {text.mid(cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()),
                cursor.selectionStart()};
    qsizetype start = std::min<qsizetype>(cursor.position(), text.size());
    QTextBoundaryFinder sentences(QTextBoundaryFinder::Sentence, text);
    sentences.setPosition(start);
    if (!sentences.isAtBoundary())
        start = std::max<qsizetype>(0, sentences.toPreviousBoundary());
    return {text.mid(start), start};
}

std::optional<qsizetype> ReaderTextBox::lastWordHeard() const
{
    return m_lastWordSpoken ? positionNow(*m_lastWordSpoken) : std::nullopt;
}

void ReaderTextBox::placeCaret(qsizetype position)
{
    QTextCursor caret(document());
    caret.setPosition(int(std::clamp<qsizetype>(position, 0, document()->characterCount() - 1)));
    setTextCursor(caret);
    centerCursor();
    m_caretPlaced = true;
}

void ReaderTextBox::startSpeaking(qsizetype offset)
{
    m_lastWordSpoken.reset();
    m_spokenOffset = offset;
    m_followingEdits = true;
    m_editsWhileSpeaking.clear();
    m_tooManyEdits = false;
}

std::optional<qsizetype> ReaderTextBox::positionNow(qsizetype spoken) const
{
    if (m_tooManyEdits)
        return std::nullopt;
    qsizetype p = spoken + m_spokenOffset;
    for (const Edit &edit : m_editsWhileSpeaking) {
        if (p < edit.position)
            continue;
        if (p >= edit.position + edit.removed)
            p += edit.added - edit.removed; // after the edit: moved along
        else
            return std::nullopt; // removed or replaced
    }
    return p;
}

// Keys and clicks that move the caret or the selection without changing
// the text place it where the person wants to be read from.
void ReaderTextBox::noteCaretMove(int positionBefore, int anchorBefore, int revisionBefore)
{
    const QTextCursor now = textCursor();
    if (document()->revision() == revisionBefore && (now.position() != positionBefore || now.anchor() != anchorBefore))
        m_caretPlaced = true;
}

void ReaderTextBox::keyPressEvent(QKeyEvent *event)
{
    const QTextCursor before = textCursor();
    const int revision = document()->revision();
    QPlainTextEdit::keyPressEvent(event);
    noteCaretMove(before.position(), before.anchor(), revision);
}

void ReaderTextBox::mouseReleaseEvent(QMouseEvent *event)
{
    QPlainTextEdit::mouseReleaseEvent(event);
    // A click where the caret already was is a placement too.
    if (event->button() == Qt::LeftButton)
        m_caretPlaced = true;
}

QString ReaderTextBox::plainText() const
{
    if (!m_plainText)
        m_plainText = toPlainText();
    return *m_plainText;
}

bool ReaderTextBox::selectRange(qsizetype spokenStart, qsizetype length)
{
    if (spokenStart < 0 || length < 0)
        return false;
    const std::optional<qsizetype> now = positionNow(spokenStart);
    // The word's last character must still be there too: a word cut in two
    // by a deletion is no longer the word being heard.
    const std::optional<qsizetype> last = length > 0 ? positionNow(spokenStart + length - 1) : now;
    if (!now || !last)
        return false;
    const qsizetype start = *now;
    length = *last - *now + (length > 0 ? 1 : 0);
    m_lastWordSpoken = spokenStart;
    const qsizetype end = document()->characterCount() - 1; // the document's own final separator is not text
    if (start > end || length < 0)
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
        m_caretPlaced = false; // the program's selection, not the person's
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
    if (!m_recentDocuments.isEmpty()) {
        QMenu *recent = new QMenu(QStringLiteral("最近的文档"), menu.get());
        recent->setObjectName(QStringLiteral("recentDocuments"));
        for (const QString &path : std::as_const(m_recentDocuments)) {
            // The name first (the menu is narrow), the folder after it.
            const QFileInfo file(path);
            QAction *entry = recent->addAction(
                QStringLiteral("%1  —  %2").arg(file.fileName(), QDir::toNativeSeparators(file.absolutePath())));
            connect(entry, &QAction::triggered, this, [this, path] { emit recentDocumentChosen(path); });
        }
        menu->insertMenu(first, recent);
    }
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
