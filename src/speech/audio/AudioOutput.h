// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "speech/audio/PcmQueue.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <vector>

class QAudioSink;
class QIODevice;
class QTimer;

// Plays the queue through a QAudioSink and raises each word when the sink's
// played-audio clock reaches it. Lives on its own thread (with an event loop)
// so that a busy UI never starves the audio; callers use the thread-safe
// wrappers, which hop onto that thread.
//
// The sink is fed by us (push mode): samples are written the moment they
// arrive and whenever the sink has room, so a session plays whenever its
// first samples come, however late. (A pulled sink whose source has nothing
// at its first read goes idle and never reads again.)
class AudioOutput : public QObject
{
    Q_OBJECT

public:
    AudioOutput(PcmQueue &queue, int sampleRate);
    ~AudioOutput() override;

    // Thread-safe: run on the output's thread and wait for the result.
    // restart() begins a new session (called right after the queue was reset);
    // it throws Failure when no audio output can be opened.
    void restart();
    void stop(); // silence now; the next restart() begins a new session
    void setPaused(bool paused);
    void setVolumePercent(int percent) { m_volume.store(percent); } // applied as samples are handed over
    void shutdown();

    // Thread-safe estimate of the samples played by now in this session
    // (for measuring how punctual the words are).
    qint64 playedSamplesEstimate() const;
    bool running() const { return m_running.load(); }
    int sampleRate() const { return m_sampleRate; }

signals:
    void wordDue(const TimedWord &word);
    // The sound server went away or stopped playing; the session is over.
    void failed(const QString &description);

private:
    bool restartHere(QString *error);
    void setPausedHere(bool paused);
    void stopHere();
    void feed();
    void dispatch();
    void fail(const QString &description);
    qint64 playedSamples() const;

    PcmQueue &m_queue;
    const int m_sampleRate;
    QAudioSink *m_sink = nullptr;
    QIODevice *m_device = nullptr; // the sink's input, valid while m_sink runs
    QTimer *m_timer = nullptr;
    bool m_paused = false;
    bool m_startOnResume = false;
    std::vector<int16_t> m_buffer;
    qint64 m_stalledSinceNs = 0;
    qint64 m_lastPlayed = -1;
    std::atomic<int> m_volume{100};
    std::atomic<bool> m_feedPosted{false};
    std::atomic<qint64> m_clockSamples{0};
    std::atomic<std::int64_t> m_clockTakenNs{0};
    std::atomic<bool> m_clockRunning{false};
    std::atomic<bool> m_running{false};
};
