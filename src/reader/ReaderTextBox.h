// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPlainTextEdit>

#include <optional>

// The reader's text area: plain text; a drop of text replaces the whole
// content (a drop of files or links, or without text, changes nothing), as an
// edit that Ctrl+Z takes back; and the word being read stays visibly marked.
class ReaderTextBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit ReaderTextBox(QWidget *parent = nullptr);

    // Marks length code units from start (a position in the passage being
    // read) as the word being read. Returns false, changing nothing, when
    // the word is no longer in the text or lies outside it; a range running
    // past the end is cut at the end. Costs the same for any text
    // length (no walk over the text).
    //
    // While the person works in the text area (it has the keyboard focus),
    // their cursor and selection are theirs: the word is only painted in the
    // selection colours. Otherwise the word becomes the selection, as screen
    // readers expect, and is scrolled into view.
    bool selectRange(qsizetype start, qsizetype length);

    // The whole text, kept between edits: gathering a long document's text
    // from the editor takes milliseconds that a click on Speak should not wait.
    QString plainText() const;

    // Replaces the whole text as one edit that Ctrl+Z undoes.
    void replaceAll(const QString &text);

    // What Speak reads: where the person has placed the caret themselves
    // (a click, the arrow keys), their selection, or from the start of the
    // caret's sentence to the end; otherwise (the caret where the program
    // left it: at the start, after opening, typing or Clear, on the last word
    // read) the whole text. offset is where it starts in the whole text.
    struct Passage
    {
        QString text;
        qsizetype offset = 0;
    };
    Passage passageToRead() const;

    // Speech of a passage starting at offset was handed over: the positions
    // of its words (selectRange) are positions in it as it is now. Edits
    // made while it is read move them along; a word whose text has been
    // removed or replaced (Clear, a drop, opening a document, their undo)
    // selects nothing.
    void startSpeaking(qsizetype offset);

    // Where the last word selected starts in the text as it is now; none
    // before any word, or once its text is gone.
    std::optional<qsizetype> lastWordHeard() const;

    // Puts the caret at position, scrolled into view, as a place to read
    // from (the person's own placing): Speak goes on from its sentence.
    void placeCaret(qsizetype position);

    // The documents the menu offers to open again, most recent first.
    void setRecentDocuments(const QStringList &paths) { m_recentDocuments = paths; }

signals:
    // "打开文件…" or "保存为音频文件…" was chosen from the text area's menu.
    void openRequested();
    void saveRequested();
    // A document was chosen from "最近的文档".
    void recentDocumentChosen(const QString &path);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // Where a position of the passage being read is in the text now, after
    // the edits made since it was handed over; none once its text is gone.
    std::optional<qsizetype> positionNow(qsizetype spoken) const;
    void noteCaretMove(int positionBefore, int anchorBefore, int revisionBefore);

    struct Edit
    {
        int position, removed, added;
    };
    QList<Edit> m_editsWhileSpeaking;
    bool m_tooManyEdits = false;
    bool m_followingEdits = false; // from the first Speak on
    qsizetype m_spokenOffset = 0;
    bool m_caretPlaced = false; // by the person, not by the program
    std::optional<qsizetype> m_lastWordSpoken; // in the passage's positions
    QStringList m_recentDocuments;
    mutable std::optional<QString> m_plainText;
    void markWord(const QTextCursor &word);
    bool acceptAsCopy(QDropEvent *event);
};
