#pragma once

#include "speech/audio/PcmQueue.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QAudioSink;
class QTimer;
class PcmSource;

// Plays the queue through a QAudioSink and raises each word when the sink's
// played-audio clock reaches it. Lives on its own thread (with an event loop)
// so that a busy UI never starves the audio; callers use the thread-safe
// wrappers, which hop onto that thread.
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
    void setVolumePercent(int percent);
    void shutdown();

    // Thread-safe estimate of the samples played by now in this session
    // (for measuring how punctual the words are).
    qint64 playedSamplesEstimate() const;
    bool running() const { return m_running.load(); }
    int sampleRate() const { return m_sampleRate; }

signals:
    void wordDue(const TimedWord &word);

private:
    bool restartHere(QString *error);
    void setPausedHere(bool paused);
    void stopHere();
    void dispatch();
    qint64 playedSamples() const;

    PcmQueue &m_queue;
    const int m_sampleRate;
    PcmSource *m_source; // a child: it moves to the output's thread with it
    QAudioSink *m_sink = nullptr;
    QTimer *m_timer = nullptr;
    bool m_paused = false;
    std::atomic<qint64> m_clockSamples{0};
    std::atomic<std::int64_t> m_clockTakenNs{0};
    std::atomic<bool> m_clockRunning{false};
    std::atomic<bool> m_running{false};
};
