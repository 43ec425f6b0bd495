// SPDX-License-Identifier: GPL-3.0-or-later
// The reader window as the desktop reaches it: requests of other starts of
// the program, the selection and the clipboard, and the player's commands
// (media keys, the panel's controls), which press the window's own buttons.
#include "reader/frmMain.h"

#include "reader/ReaderTextBox.h"
#include "reader/SentenceSteps.h"

#include <QAccessible>
#include <QComboBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

namespace {

// A title of the text's first words is kept short, as a panel shows it.
constexpr qsizetype TitleLength = 24;
constexpr int StatusNoteMs = 5000;

} // namespace

void frmMain::HandleRequest(const ReaderRequest &request)
{
    switch (request.kind) {
    case ReaderRequest::Kind::Show:
        bringToFront();
        break;
    case ReaderRequest::Kind::Open:
        openDocument(request.document);
        break;
    case ReaderRequest::Kind::SpeakSelection:
        SpeakFromClipboard(QClipboard::Selection);
        break;
    case ReaderRequest::Kind::SpeakClipboard:
        SpeakFromClipboard(QClipboard::Clipboard);
        break;
    }
}

void frmMain::SpeakFromClipboard(QClipboard::Mode mode)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    const bool selection = mode == QClipboard::Selection;
    if (selection && !clipboard->supportsSelection()) {
        ShowStatus(QStringLiteral("这个桌面不提供选中的文字，请复制后用“朗读剪贴板”。"));
        return;
    }
    const QMimeData *data = clipboard->mimeData(mode);
    const QString text = data && data->hasText() ? data->text() : QString();
    if (text.trimmed().isEmpty()) {
        ShowStatus(selection ? QStringLiteral("没有选中的文字，没有朗读。") : QStringLiteral("剪贴板里没有文字，没有朗读。"));
        return;
    }
    TTS->replaceAll(text);
    // Read from its start, whatever was paused: a paused Speak would only
    // resume what the old text was saying.
    if (m_bPause)
        Press(cmdStop);
    Press(cmdSpeak);
}

// A note over the foot of the text area for a few seconds, never a box that
// takes the keyboard: the person was working in another program. Screen
// readers are told it as an alert.
void frmMain::ShowStatus(const QString &words)
{
    if (!m_statusNote) {
        m_statusNote = new QLabel(this);
        m_statusNote->setObjectName(QStringLiteral("statusNote"));
        m_statusNote->setForegroundRole(QPalette::ToolTipText);
        m_statusNote->setBackgroundRole(QPalette::ToolTipBase);
        m_statusNote->setAutoFillBackground(true);
        m_statusNote->setFrameShape(QFrame::Box);
        m_statusNote->setMargin(4);
        m_statusNote->setWordWrap(true);
        m_statusNoteTimer = new QTimer(m_statusNote);
        m_statusNoteTimer->setSingleShot(true);
        connect(m_statusNoteTimer, &QTimer::timeout, m_statusNote, &QWidget::hide);
    }
    m_statusNote->setText(words);
    m_statusNote->setAccessibleName(words);
    const QRect area = TTS->geometry();
    m_statusNote->setFixedWidth(area.width());
    m_statusNote->adjustSize();
    m_statusNote->move(area.left(), area.bottom() - m_statusNote->height());
    m_statusNote->show();
    m_statusNote->raise();
    m_statusNoteTimer->start(StatusNoteMs);
    QAccessibleEvent alert(m_statusNote, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

QString frmMain::statusNote() const { return m_statusNote && m_statusNote->isVisible() ? m_statusNote->text() : QString(); }

// Play after a Pause resumes where it was (the Pause button's Resume): Speak
// would start the text again. Otherwise it is Speak, unless speech is heard.
// (m_bPause is true exactly while the Pause button reads "Resume".)
void frmMain::play()
{
    if (m_bPause)
        Press(cmdPause);
    else if (status() != Status::Playing)
        Press(cmdSpeak);
}

void frmMain::pause()
{
    if (status() == Status::Playing && !m_bPause)
        Press(cmdPause);
}

void frmMain::playPause()
{
    if (status() == Status::Playing)
        pause();
    else
        play();
}

void frmMain::stop() { Press(cmdStop); }

// Where Next and Previous step from: the word being read, while there is
// speech; otherwise the caret.
qsizetype frmMain::placeBeingRead() const
{
    if (status() != Status::Stopped)
        if (const std::optional<qsizetype> heard = TTS->lastWordHeard())
            return *heard;
    return TTS->textCursor().position();
}

void frmMain::nextSentence()
{
    if (const std::optional<qsizetype> next = SentenceSteps::nextStart(TTS->plainText(), placeBeingRead()))
        GoToSentence(*next);
}

void frmMain::previousSentence() { GoToSentence(SentenceSteps::previousStart(TTS->plainText(), placeBeingRead())); }

// The caret goes to the sentence, as if the person had put it there. Speech
// under way (heard or paused) goes on from it and stays as it was, heard or
// paused; without speech the next Speak starts there. The buttons' state is
// not touched: only they change it.
void frmMain::GoToSentence(qsizetype start)
{
    TTS->placeCaret(start);
    if (status() == Status::Stopped)
        return;
    try {
        const ReaderTextBox::Passage passage = TTS->passageToRead();
        if (!passage.text.isEmpty())
            SpeakPassage(passage);
    } catch (const Failure &failure) {
        SpeakFailed(failure);
    }
    emit playerChanged();
}

void frmMain::bringToFront()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void frmMain::quitReader() { close(); }

// A document another start asks for while one is being read is opened
// next, not dropped as a second Ctrl+O is: the person is not here to try
// again. Of several asked for meanwhile, the last is opened.
void frmMain::openDocument(const QString &path)
{
    bringToFront();
    if (m_opening)
        m_nextDocument = path;
    else
        OpenDocument(path);
}

ReaderRemote::Status frmMain::status() const
{
    if (!Voice)
        return Status::Stopped;
    switch (Voice->state()) {
    case SpVoice::State::Speaking:
        return Status::Playing;
    case SpVoice::State::Paused:
        return Status::Paused;
    case SpVoice::State::Ready:
    case SpVoice::State::Error:
        break;
    }
    return Status::Stopped;
}

// The player asks these at every word and every keystroke: they read the
// document near the place, never the whole text (which a book's edit would
// make the text area gather again, megabytes each time).
bool frmMain::canPlay() const { return !TTS->document()->isEmpty(); }

bool frmMain::canGoNext() const
{
    constexpr int Look = 4096;
    QTextCursor ahead(TTS->document());
    const int end = TTS->document()->characterCount() - 1;
    ahead.setPosition(int(std::min<qsizetype>(placeBeingRead(), end)));
    ahead.setPosition(std::min(ahead.position() + Look, end), QTextCursor::KeepAnchor);
    // Paragraphs come as U+2029 here, which ends a sentence as a line break does.
    if (SentenceSteps::nextStart(ahead.selectedText(), 0))
        return true;
    // A sentence longer than the look with more text after it: Next finds
    // where it ends.
    return ahead.position() < end;
}

bool frmMain::canGoPrevious() const { return canPlay(); }

// The document's own title (or its file's name) while the text is the
// document's as opened; else the text's first words, on one line.
QString frmMain::title() const
{
    if (!m_documentPath.isEmpty() && TTS->document()->revision() == m_documentRevision)
        return m_documentTitle.isEmpty() ? QFileInfo(m_documentPath).completeBaseName() : m_documentTitle;
    QString opening;
    for (QTextBlock block = TTS->document()->firstBlock(); block.isValid() && opening.size() < TitleLength * 4;
         block = block.next())
        opening += block.text() + QLatin1Char('\n');
    QString words = opening.left(TitleLength * 4).simplified();
    if (words.size() > TitleLength)
        words = words.left(TitleLength) + QChar(0x2026);
    return words;
}

QString frmMain::voiceName() const { return CBLg->currentIndex() >= 0 ? CBLg->currentText() : QString(); }

qint64 frmMain::positionMicroseconds() const
{
    return (m_heardBeforeMs + (m_heardSince.isValid() ? m_heardSince.elapsed() : 0)) * 1000;
}

double frmMain::volume() const { return slVolume->value() / 100.0; }

// As if the person moved the slider there: the voice hears it at once.
void frmMain::setVolume(double volume)
{
    slVolume->setValue(int(std::lround(std::clamp(volume, 0.0, 1.0) * 100)));
    slVolume_Scroll();
}

// The time heard runs only while speech is heard.
void frmMain::NoteVoiceState(SpVoice::State state)
{
    const bool heard = state == SpVoice::State::Speaking;
    if (heard && !m_heardSince.isValid())
        m_heardSince.start();
    else if (!heard && m_heardSince.isValid()) {
        m_heardBeforeMs += m_heardSince.elapsed();
        m_heardSince.invalidate();
    }
    emit playerChanged();
}
