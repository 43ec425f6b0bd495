// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/AudioSink.h"
#include "speech/audio/PcmQueue.h"
#include "playback/PlaybackWatch.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

class MonotonicClock;

class QTimer;

// Plays the queue on the sound server and raises each word when the
// server's played-audio clock reaches it. Lives on its own thread (with an
// event loop) so that a busy UI never delays a word; callers use the
// thread-safe wrappers, which hop onto that thread.
//
// Samples go to the server when it asks for them (on libpulse's thread) and
// the moment they arrive in an empty queue, so a session plays whenever its
// first samples come, however late. This thread wakes only for words, and
// to watch audio that should be playing.
class AudioOutput : public QObject
{
    Q_OBJECT

public:
    // Plays on sink (the sound server, or a stand-in), timed by clock.
    AudioOutput(PcmQueue &queue, int sampleRate, std::unique_ptr<AudioSink> sink, const MonotonicClock &clock);
    ~AudioOutput() override;

    // Thread-safe: run on the output's thread and wait for the result.
    // restart() begins a new session (called right after the queue was reset);
    // it throws Failure when no audio output can be opened. A server that
    // does not answer within a fraction of a second is not waited for: the
    // session opens when it answers, or failed() says why it could not.
    void restart();
    void stop(); // silence now; the next restart() begins a new session
    void setPaused(bool paused);
    void setVolumePercent(int percent) { m_volume.store(percent); } // applied as samples are handed over
    void shutdown();

    // Thread-safe estimate of the samples played by now in this session
    // (for measuring how punctual the words are).
    qint64 playedSamplesEstimate() const;
    bool running() const { return m_running.load(); }
    int underruns() const { return m_sink->underruns(); }
    int sampleRate() const { return m_sampleRate; }

signals:
    void wordDue(const TimedWord &word);
    // The sound server went away or stopped playing; the session is over.
    void failed(const QString &description);

private:
    bool restartHere(QString *error);
    void setPausedHere(bool paused);
    void stopHere();
    void dispatch();
    void fail(const QString &description);

    PcmQueue &m_queue;
    const int m_sampleRate;
    const std::unique_ptr<AudioSink> m_sink;
    const MonotonicClock &m_clock;
    PlaybackWatch m_watch;
    QTimer *m_timer = nullptr;
    bool m_paused = false;
    quint64 m_session = 0; // a loss reported for an older session is old news
    std::atomic<int> m_volume{100};
    std::atomic<bool> m_feedPosted{false};
    std::atomic<qint64> m_clockSamples{0};
    std::atomic<std::int64_t> m_clockTakenNs{0};
    std::atomic<bool> m_clockRunning{false};
    std::atomic<bool> m_running{false};
};
