// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <optional>

class QCheckBox;
class QComboBox;
class QLineEdit;

// Where and how to save the speech: a file, its format (also chosen by the
// file's extension) and whether subtitles go beside it. Asks before an
// existing file would be replaced.
class ExportDialog : public QDialog
{
    Q_OBJECT

public:
    struct Choice
    {
        QString target;
        bool subtitles = false;
        bool byChapters = false; // a file per chapter, where the text has chapters
    };

    explicit ExportDialog(const QString &suggested, QWidget *parent = nullptr);

    // Shows the dialog; nothing when the person cancels.
    static std::optional<Choice> ask(QWidget *parent, const QString &suggested);

    Choice choice() const;

protected:
    void accept() override;

private:
    void browse();
    void formatPicked(int index);
    void pathEdited();

    QLineEdit *m_path;
    QComboBox *m_format;
    QCheckBox *m_subtitles;
    QCheckBox *m_byChapters;
};
