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

    // Marks length code units from start as the word being read. Returns
    // false, changing nothing, when start lies outside the text; a range
    // running past the end is cut at the end. Costs the same for any text
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

signals:
    // "打开文件…" or "保存为音频文件…" was chosen from the text area's menu.
    void openRequested();
    void saveRequested();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    mutable std::optional<QString> m_plainText;
    void markWord(const QTextCursor &word);
    bool acceptAsCopy(QDropEvent *event);
};
