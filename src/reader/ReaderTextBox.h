#pragma once

#include <QPlainTextEdit>

// The reader's text area: plain text; a drop of text replaces the whole
// content (a drop without text changes nothing); and a selection set by the
// program stays visibly marked while another control has the focus.
class ReaderTextBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit ReaderTextBox(QWidget *parent = nullptr);

    // Selects length code units from start and scrolls them into view.
    // Returns false, changing nothing, when start lies outside the text; a
    // range running past the end is cut at the end. Costs the same for any
    // text length (no walk over the text).
    bool selectRange(qsizetype start, qsizetype length);

protected:
    void dropEvent(QDropEvent *event) override;
};
