// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "speech/SpVoice.h"

#include <QHash>
#include <QStringList>
#include <QElapsedTimer>
#include <QTimer>

#include <deque>

// A scripted voice for tests. It records every call as a line ("Speak(text,11)",
// "Pause", "Rate(-10)", ...), raises Word when told to, and throws Failure from
// any operation it has been told to fail.
//
// With speaksInTime, it also behaves as a voice does, without any sound: each
// blank-separated word of a text is "heard" for a while that shrinks with the
// rate (Word at its start), then EndStream; Pause holds it, purges drop it.
class FakeVoice : public SpVoice
{
    Q_OBJECT

public:
    explicit FakeVoice(QList<SpObjectToken> voices = {}, QObject *parent = nullptr);

    long Speak(const QString &text, int flags) override;
    void Pause() override;
    void Resume() override;
    void setRate(long rate) override;
    void setVolume(long volume) override;
    SpObjectTokens GetVoices(const QString &required, const QString &optional) override;
    void setVoice(const SpObjectToken &token) override;

    // Operation names as recorded: Speak, Pause, Resume, Rate, Volume, GetVoices, Voice.
    void failOn(const QString &operation, const QString &description);
    void succeedOn(const QString &operation);
    // The next text spoken fails after Speak has returned, as a crashed engine does.
    void failWhileSpeaking(const QString &description) { m_failLater = description; }

    void raiseWord(long characterPosition, long length);

    bool speaksInTime = false;
    QStringList calls;
    QString lastText;
    bool lastTextWasNull = false;
    long rate = 0;
    long volume = 100;
    SpObjectToken voice;
    QList<SpObjectToken> voices;

private:
    struct Utterance
    {
        long stream = 0;
        QString text;
        qsizetype next = 0; // where to look for the next word
    };
    void record(const QString &operation, const QString &call);
    void step();
    void startTimeline();
    void refreshState() { updateState(!m_queue.empty(), m_pauseDepth > 0, m_failed); }

    QHash<QString, QString> m_failures;
    long m_stream = 0;
    std::deque<Utterance> m_queue;
    QTimer m_clock;
    // Words fall due on a timeline, as a real voice's follow its audio:
    // a late step does not push back every step after it.
    QElapsedTimer m_timeline;
    qint64 m_nextDueMs = 0;
    int m_pauseDepth = 0;
    bool m_failed = false;
    QString m_failLater;
};
