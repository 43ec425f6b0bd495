// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Failure.h"
#include "reader/ReaderServices.h"
#include "reader/ReaderTextBox.h"
#include "session/ReaderRemote.h"
#include "session/ReaderRequest.h"
#include "speech/SpVoice.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QWidget>

#include <memory>

namespace Exporter {
class BackgroundExport;
}

class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QTimer;
class ReadingPlaces;

// The reader window: the text, the voice list, the playback buttons and the
// rate and volume sliders. It is also the desktop's player (ReaderRemote):
// the media keys press its buttons.
class frmMain : public QWidget, public ReaderRemote
{
    Q_OBJECT

public:
    explicit frmMain(ReaderServices services, QWidget *parent = nullptr);
    ~frmMain() override;

    // Runs the start-up steps. Returns false after the start-up failure exit
    // (the message was shown and the voice released); the window must then
    // not be shown and the program ends.
    bool Form_Load();

    // State, for tests and for the handlers' own use.
    bool speaking() const { return m_bSpeaking; }
    bool paused() const { return m_bPause; }
    int flags() const { return myVflag; }
    short voiceChoice() const { return VoiceChoice; }
    SpVoice *voice() const { return Voice.get(); }

    // Opens a document: its text, read off the UI thread, replaces the whole
    // text as a drop of text does; speech in progress goes on. A document
    // that cannot be read is reported (file and reason) and changes nothing.
    void OpenDocument(const QString &path);
    bool openingDocument() const { return m_opening; }

    // Saves the whole text as an audio file (and subtitles), with the voice,
    // rate and volume Speak would use now, in a helper of its own: playback
    // goes on undisturbed, and no sound device is needed.
    void SaveAsAudio();
    bool exporting() const;

    // What another start of the program, or the desktop, asks of the
    // window: to come to the front, to open a document, to read the
    // selection or the clipboard.
    void HandleRequest(const ReaderRequest &request);

    // Reads the primary selection (QClipboard::Selection) or the clipboard:
    // its text replaces the text as a drop does (Ctrl+Z brings the old text
    // back) and is read from its start. Nothing to read is said in the
    // window's status note, and nothing is spoken.
    void SpeakFromClipboard(QClipboard::Mode mode);

    // The words of the status note, while it shows; empty when hidden.
    QString statusNote() const;

    // ReaderRemote: the player's commands press the window's buttons.
    void play() override;
    void pause() override;
    void playPause() override;
    void stop() override;
    void nextSentence() override;
    void previousSentence() override;
    void bringToFront() override;
    void quitReader() override;
    void openDocument(const QString &path) override;
    Status status() const override;
    bool canPlay() const override;
    bool canGoNext() const override;
    bool canGoPrevious() const override;
    QString title() const override;
    QString voiceName() const override;
    qint64 positionMicroseconds() const override;
    double volume() const override;
    void setVolume(double volume) override;

signals:
    // Something the player shows may have changed: the state, the text, the
    // voice, the volume, the place being read.
    void playerChanged();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildLayout();
    void addPlaybackKeys();
    void RememberPlace();
    void GoToRememberedPlace();
    void Form_Unload();

    void cmdSpeak_Click();
    void cmdPause_Click();
    void cmdStop_Click();
    void slRate_Scroll();
    void slVolume_Scroll();
    void CBLg_Click();
    void setListIndex(int position);
    void Command1_Click();
    void ChooseDocument();
    void cmdAboutMe_Click();
    void Voice_Word(long streamNumber, const QVariant &streamPosition, long characterPosition, long length);
    void Voice_Failed(const QString &description);
    void HighlightWord(long position, long length);
    static void Press(QPushButton *button);
    // The line break of the window's messages, the one the messages have
    // always used, in every part of the window that shows one.
    static inline const QString CrLf = QStringLiteral("\r\n");
    void SpeakPassage(const ReaderTextBox::Passage &passage);
    void SpeakFailed(const Failure &failure);
    qsizetype placeBeingRead() const;
    void GoToSentence(qsizetype start);
    void ShowStatus(const QString &words);
    void NoteVoiceState(SpVoice::State state);

    void UpdatePlaybackState(bool speaking, bool paused);
    void SetAsideDamagedSettings();
    void LoadVoiceChoice();
    void RunFirstTimeSetup();
    void FillVoiceList();
    void SaveVoiceChoice();

    // Handlers that have no failure handling of their own still must not let
    // a failure escape into the event loop: it is shown, and nothing changes.
    template <typename F> void reportFailures(F &&handler);

    ReaderServices m_services;
    std::unique_ptr<SpVoice> Voice;
    int myVflag = 0;
    bool m_bSpeaking = false;
    bool m_bPause = false;
    short VoiceChoice = 0;
    bool m_loaded = false;
    bool m_opening = false;
    QString m_nextDocument; // asked for by another start while one was being read
    QString m_documentPath; // the document last opened, if any
    QString m_documentTitle; // as it names itself; empty when it does not
    QByteArray m_documentHash; // of its text as it was read
    int m_documentRevision = 0; // of the text area, once it held that text
    std::unique_ptr<ReadingPlaces> m_places;
    bool m_showingVoiceFailure = false;
    std::unique_ptr<Exporter::BackgroundExport> m_export;
    QLabel *m_statusNote = nullptr;
    QTimer *m_statusNoteTimer = nullptr; // hides it
    QElapsedTimer m_heardSince; // valid while speech is heard
    qint64 m_heardBeforeMs = 0; // of the passage, before m_heardSince

    ReaderTextBox *TTS = nullptr;
    QComboBox *CBLg = nullptr;
    QPushButton *cmdSpeak = nullptr;
    QPushButton *cmdStop = nullptr;
    QPushButton *cmdPause = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *cmdAboutMe = nullptr;
    QSlider *slVolume = nullptr;
    QSlider *slRate = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
};

template <typename F> void frmMain::reportFailures(F &&handler)
{
    try {
        handler();
    } catch (const Failure &failure) {
        m_services.messageBox->Show(failure.description());
    }
}
