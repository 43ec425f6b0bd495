// SPDX-License-Identifier: GPL-3.0-or-later
#include "reader/ExportDialog.h"

#include "export/AudioFormat.h"
#include "export/SafeOutput.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

const QList<QPair<QString, AudioFormat>> Formats = {{QStringLiteral("MP3"), AudioFormat::Mp3},
                                                    {QStringLiteral("WAV"), AudioFormat::Wav},
                                                    {QStringLiteral("FLAC"), AudioFormat::Flac},
                                                    {QStringLiteral("Ogg Vorbis"), AudioFormat::OggVorbis},
                                                    {QStringLiteral("Opus"), AudioFormat::Opus}};

QString withExtension(const QString &path, AudioFormat format)
{
    const QFileInfo info(path);
    const QString base = AudioFormats::fromPath(path) ? info.completeBaseName() : info.fileName();
    return info.dir().filePath(base + u'.' + AudioFormats::extension(format));
}

} // namespace

ExportDialog::ExportDialog(const QString &suggested, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ExportDialog"));
    setWindowTitle(QStringLiteral("保存为音频文件"));
    m_path = new QLineEdit(suggested, this);
    m_path->setObjectName(QStringLiteral("path"));
    m_path->setMinimumWidth(320);
    auto *browse = new QPushButton(QStringLiteral("浏览…"), this);
    auto *pathRow = new QHBoxLayout;
    pathRow->addWidget(m_path, 1);
    pathRow->addWidget(browse);
    m_format = new QComboBox(this);
    m_format->setObjectName(QStringLiteral("format"));
    for (const auto &[name, format] : Formats)
        m_format->addItem(name, int(format));
    m_subtitles = new QCheckBox(QStringLiteral("同时保存字幕（LRC 和 SRT）"), this);
    m_subtitles->setObjectName(QStringLiteral("subtitles"));
    m_byChapters = new QCheckBox(QStringLiteral("每章保存为一个文件（带编号和章节名，另存播放列表）"), this);
    m_byChapters->setObjectName(QStringLiteral("byChapters"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto *form = new QFormLayout(this);
    form->addRow(QStringLiteral("文件："), pathRow);
    form->addRow(QStringLiteral("格式："), m_format);
    form->addRow(QString(), m_subtitles);
    form->addRow(QString(), m_byChapters);
    form->addRow(buttons);

    connect(browse, &QPushButton::clicked, this, &ExportDialog::browse);
    connect(m_format, &QComboBox::activated, this, &ExportDialog::formatPicked);
    connect(m_path, &QLineEdit::textEdited, this, &ExportDialog::pathEdited);
    connect(buttons, &QDialogButtonBox::accepted, this, &ExportDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ExportDialog::reject);
    pathEdited();
}

std::optional<ExportDialog::Choice> ExportDialog::ask(QWidget *parent, const QString &suggested)
{
    ExportDialog dialog(suggested, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.choice();
}

ExportDialog::Choice ExportDialog::choice() const
{
    return {withExtension(m_path->text(), AudioFormat(m_format->currentData().toInt())), m_subtitles->isChecked(),
            m_byChapters->isChecked()};
}

void ExportDialog::browse()
{
    const QString path = QFileDialog::getSaveFileName(this, windowTitle(), m_path->text(),
                                                      QStringLiteral("音频文件 (*.mp3 *.wav *.flac *.ogg *.opus)"));
    if (!path.isEmpty()) {
        m_path->setText(path);
        pathEdited();
    }
}

// The extension typed chooses the format; a format picked changes the extension.
void ExportDialog::pathEdited()
{
    if (const auto format = AudioFormats::fromPath(m_path->text()))
        m_format->setCurrentIndex(m_format->findData(int(*format)));
}

void ExportDialog::formatPicked(int) { m_path->setText(choice().target); }

void ExportDialog::accept()
{
    const QString target = choice().target;
    if (QFileInfo(target).fileName().startsWith(u'.') || m_path->text().trimmed().isEmpty())
        return;
    if (SafeOutput::entryExists(target)
        && QMessageBox::question(this, windowTitle(), QStringLiteral("文件 %1 已经存在。要替换它吗？").arg(target))
            != QMessageBox::Yes)
        return;
    QDialog::accept();
}
