// SPDX-License-Identifier: GPL-3.0-or-later
// The reader window's documents: opening one (where it was last heard),
// keeping the place heard, and saving the text as speech.
#include "reader/frmMain.h"

#include "documents/BackgroundRead.h"
#include "documents/Chapters.h"
#include "documents/Documents.h"
#include "export/BackgroundExport.h"
#include "platform/Failure.h"
#include "reader/ExportDialog.h"
#include "reader/ReaderTextBox.h"
#include "reader/ReadingPlaces.h"
#include "reader/SaveSuggestion.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QProgressDialog>
#include <QSlider>
#include <QStandardPaths>

#include <utility>

// The last word heard in the open document is kept as its place, when the
// text is still the document's. A text not edited since it was opened (its
// revision unchanged) is, without going over it: Stop need not hash a whole
// book; an edited one (perhaps edited back) is compared by its hash. A place
// that cannot be kept is not worth a message: the document still opens, at
// its start.
void frmMain::RememberPlace()
{
    const std::optional<qsizetype> heard = TTS->lastWordHeard();
    if (!m_places || m_documentPath.isEmpty() || !heard)
        return;
    if (TTS->document()->revision() != m_documentRevision
        && ReadingPlaces::hashOf(TTS->plainText()) != m_documentHash)
        return;
    try {
        m_places->remember(m_documentPath, m_documentHash, *heard);
    } catch (const Failure &) { }
}

// A document opened again opens where it was left, when its text is the
// same; it becomes the first of the recent documents.
void frmMain::GoToRememberedPlace()
{
    if (!m_places)
        return;
    try {
        const std::optional<qsizetype> place = m_places->placeOf(m_documentPath, m_documentHash);
        if (place)
            TTS->placeCaret(*place);
        m_places->remember(m_documentPath, m_documentHash, place.value_or(0));
        TTS->setRecentDocuments(m_places->recentDocuments());
    } catch (const Failure &) { }
}

void frmMain::ChooseDocument()
{
    const QString path = m_services.chooseDocument
        ? m_services.chooseDocument(this)
        : QFileDialog::getOpenFileName(this, QStringLiteral("打开文件"), QString(), Documents::fileDialogFilter());
    if (!path.isEmpty())
        OpenDocument(path);
}

void frmMain::OpenDocument(const QString &path)
{
    if (m_opening)
        return; // one document at a time
    m_opening = true;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    Documents::readInBackground(path, this, [this, path](const Documents::Outcome &outcome) {
        QApplication::restoreOverrideCursor();
        m_opening = false;
        if (outcome.ok) {
            RememberPlace(); // of the document being left
            m_documentPath = path;
            m_documentTitle = outcome.title;
            m_documentHash = ReadingPlaces::hashOf(outcome.text);
            TTS->replaceAll(outcome.text);
            m_documentRevision = TTS->document()->revision();
            GoToRememberedPlace();
            if (!outcome.notes.isEmpty())
                m_services.messageBox->Show(
                    QStringLiteral("文件“%1”已打开，但有部分内容无法读取：").arg(QDir::toNativeSeparators(path)) + CrLf
                    + outcome.notes.join(CrLf));
        } else
            m_services.messageBox->Show(QStringLiteral("无法打开文件“%1”：").arg(QDir::toNativeSeparators(path)) + CrLf
                                        + outcome.failure);
        if (!m_nextDocument.isEmpty())
            OpenDocument(std::exchange(m_nextDocument, QString()));
    });
}

void frmMain::SaveAsAudio()
{
    if (m_export->running() || TTS->toPlainText().isEmpty())
        return;
    const QString suggested = suggestedAudioPath(
        m_documentPath, QStandardPaths::writableLocation(QStandardPaths::MusicLocation), QDir::homePath());
    const auto choice =
        m_services.chooseExport ? m_services.chooseExport(this, suggested) : ExportDialog::ask(this, suggested);
    if (!choice)
        return;
    Exporter::Job job;
    job.text = TTS->toPlainText();
    job.target = choice->target;
    job.subtitles = choice->subtitles;
    if (!m_documentPath.isEmpty())
        job.title = QFileInfo(m_documentPath).completeBaseName();
    // The chapters of the text as it stands in the text area (it may have
    // been edited since it was opened): lines such as 第一章 that stand alone.
    if (choice->byChapters) {
        for (const Documents::Heading &chapter : Documents::chapters({job.text, {}, {}}))
            job.split.chapters.append({chapter.offset, chapter.title});
        if (!job.split.chapters.isEmpty())
            job.split.by = Exporter::Split::By::Chapters;
    }
    job.speech.rate = slRate->value();
    job.speech.volume = slVolume->value();
    if (CBLg->currentIndex() >= 0)
        reportFailures([&] { job.speech.voiceId = Voice->GetVoices().Item(CBLg->currentIndex()).id(); });

    auto *progress = new QProgressDialog(QStringLiteral("正在保存 %1…").arg(QFileInfo(job.target).fileName()),
                                         QStringLiteral("取消"), 0, 1000, this);
    progress->setObjectName(QStringLiteral("exportProgress"));
    progress->setWindowTitle(QStringLiteral("保存为音频文件"));
    progress->setMinimumDuration(0);
    progress->setAttribute(Qt::WA_DeleteOnClose);
    connect(progress, &QProgressDialog::canceled, this, [this] { m_export->cancel(); });
    progress->show();
    QPointer<QProgressDialog> shown(progress);
    m_export->start(
        job, this,
        [shown](const Exporter::Progress &p) {
            if (!shown)
                return;
            shown->setValue(int(p.share * 1000));
            shown->setLabelText(Exporter::describe(p));
        },
        [this, shown, target = job.target](const QString &failure) {
            if (shown)
                shown->close();
            if (!failure.isEmpty())
                m_services.messageBox->Show(QStringLiteral("无法保存音频文件“%1”：").arg(target) + CrLf + failure);
        });
}
