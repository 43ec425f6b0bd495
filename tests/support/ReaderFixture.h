// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The reader window with a scripted voice, a settings store in memory, a
// recording message box and a stand-in synthesis: what the window's tests
// start from.
#include "platform/Failure.h"
#include "reader/frmMain.h"
#include "support/FakeSynthesis.h"
#include "support/FakeVoice.h"
#include "support/MemorySettingsStore.h"
#include "support/RecordingMessageBox.h"

#include <QComboBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <memory>
#include <optional>

struct ReaderOptions
{
    QList<SpObjectToken> voices;
    QString savedChoice; // null: nothing saved
    std::function<void(FakeVoice &)> script;
    bool failCreation = false;
    QString failure;
    bool damagedSettings = false;
    std::function<QString()> chooseDocument;
    std::function<std::optional<ExportDialog::Choice>()> chooseExport;
    SynthesisFactory synthesis; // empty: a stand-in a millisecond a character
};

struct Reader
{
    RecordingMessageBox messages;
    MemorySettingsStore settings = MemorySettingsStore::afterFirstRun();
    QPointer<FakeVoice> fake;
    std::unique_ptr<frmMain> window;
    bool loaded = false;
    int voicesCreated = 0;

    Reader() : Reader(ReaderOptions{}) { }
    explicit Reader(ReaderOptions options)
    {
        if (!options.savedChoice.isNull())
            settings.setVoiceChoice(options.savedChoice);
        settings.damaged = options.damagedSettings;
        window = std::make_unique<frmMain>(ReaderServices{
            [=, this]() -> std::unique_ptr<SpVoice> {
                ++voicesCreated;
                if (options.failCreation)
                    throw Failure(options.failure);
                auto voice = std::make_unique<FakeVoice>(options.voices);
                fake = voice.get();
                if (options.script)
                    options.script(*voice);
                return voice;
            },
            &messages,
            &settings,
            {},
            {},
            [=](QWidget *) { return options.chooseDocument ? options.chooseDocument() : QString(); },
            [=](QWidget *, const QString &) {
                return options.chooseExport ? options.chooseExport() : std::optional<ExportDialog::Choice>();
            },
            // Saving renders with a stand-in: a millisecond a character, so
            // that a long text is still being saved when a test acts.
            options.synthesis ? options.synthesis
                              : SynthesisFactory([] { return std::make_unique<FakeSynthesis>(std::chrono::milliseconds(1)); })});
        loaded = window->Form_Load();
    }

    template <typename W = QWidget> W *control(const char *name) const
    {
        return window->findChild<W *>(QLatin1String(name));
    }
    void click(const char *name) const { QTest::mouseClick(control<QPushButton>(name), Qt::LeftButton); }
    QString pauseCaption() const { return control<QPushButton>("cmdPause")->text(); }
    QComboBox *list() const { return control<QComboBox>("CBLg"); }
    QStringList entries() const
    {
        QStringList texts;
        for (int i = 0; i < list()->count(); ++i)
            texts << list()->itemText(i);
        return texts;
    }
    // Calls after start-up, as the fake recorded them.
    QStringList calls() const { return fake->calls; }
    void forget() const { fake->calls.clear(); }
};

inline QList<SpObjectToken> voices(const QStringList &descriptions)
{
    QList<SpObjectToken> tokens;
    for (int i = 0; i < descriptions.size(); ++i)
        tokens << SpObjectToken(QStringLiteral("v%1").arg(i), descriptions[i]);
    return tokens;
}

inline const QString Crlf = QStringLiteral("\r\n");

inline QPlainTextEdit *textArea(const Reader &reader) { return reader.control<QPlainTextEdit>("TTS"); }

inline void drop(QWidget *target, QMimeData *data)
{
    const QPoint at(20, 20);
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent dropped(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &dropped);
}
