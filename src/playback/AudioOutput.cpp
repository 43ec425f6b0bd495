// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/AudioOutput.h"

#include "speech/audio/VolumeScale.h"

#include "platform/Failure.h"
#include "platform/MonotonicClock.h"

#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

// What the server holds: short enough that a volume change or a purge is
// heard at once, long enough that a busy machine does not underrun.
constexpr int SinkBufferMs = 100;

template <typename F> void runOn(QObject *target, F &&f)
{
    if (QThread::currentThread() == target->thread())
        f();
    else
        QMetaObject::invokeMethod(target, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

} // namespace

AudioOutput::AudioOutput(PcmQueue &queue, int sampleRate, std::unique_ptr<AudioSink> sink, const MonotonicClock &clock)
    : m_queue(queue), m_sampleRate(sampleRate), m_sink(std::move(sink)), m_clock(clock), m_watch(sampleRate)
{
    qRegisterMetaType<TimedWord>("TimedWord");
    // Samples arriving in an empty queue are handed to the server at once
    // (it may be waiting for them), and the next wake-up is planned for them.
    m_queue.setArrivalCallback([this] {
        if (!m_feedPosted.exchange(true))
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_feedPosted = false;
                    m_sink->fill();
                    dispatch();
                },
                Qt::QueuedConnection);
    });
}

AudioOutput::~AudioOutput() { m_queue.setArrivalCallback({}); }

namespace {

// How long the caller waits for the server's answer to a new session. A
// server answers within milliseconds; one that is stopped or hung must not
// freeze the window: its answer (or the lack of one) is reported later,
// through failed().
constexpr int CallerWaitMs = 250;

// The answer to one restart, shared by the caller and the audio thread,
// whichever is done with it last.
struct RestartAnswer
{
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    bool callerGone = false;
    bool ok = false;
    QString error;
};

} // namespace

void AudioOutput::restart()
{
    if (QThread::currentThread() == thread()) {
        QString error;
        if (!restartHere(&error))
            throw Failure(error);
        return;
    }
    auto answer = std::make_shared<RestartAnswer>();
    QMetaObject::invokeMethod(
        this,
        [this, answer] {
            QString error;
            const bool ok = restartHere(&error);
            std::unique_lock lock(answer->mutex);
            answer->done = true;
            answer->ok = ok;
            answer->error = error;
            answer->answered.notify_all();
            if (answer->callerGone && !ok) {
                lock.unlock();
                emit failed(error);
            }
        },
        Qt::QueuedConnection);
    std::unique_lock lock(answer->mutex);
    if (!answer->answered.wait_for(lock, std::chrono::milliseconds(CallerWaitMs), [&] { return answer->done; })) {
        answer->callerGone = true;
        return; // speech is queued meanwhile and plays once the server answers
    }
    if (!answer->ok)
        throw Failure(answer->error);
}

void AudioOutput::setPaused(bool paused)
{
    runOn(this, [&] { setPausedHere(paused); });
}

void AudioOutput::stop()
{
    runOn(this, [&] { stopHere(); });
}

void AudioOutput::shutdown() { stop(); }

bool AudioOutput::restartHere(QString *error)
{
    if (!m_timer) {
        m_timer = new QTimer(this);
        m_timer->setSingleShot(true);
        m_timer->setTimerType(Qt::PreciseTimer);
        connect(m_timer, &QTimer::timeout, this, &AudioOutput::dispatch);
    }
    stopHere();
    const quint64 session = ++m_session;
    auto source = [this](int16_t *out, std::size_t max) {
        const std::size_t count = m_queue.pop(out, max);
        scaleVolume(out, count, m_volume.load());
        return count;
    };
    auto lost = [this, session](const QString &description) {
        QMetaObject::invokeMethod(
            this,
            [this, session, description] {
                if (session == m_session && m_running)
                    fail(description);
            },
            Qt::QueuedConnection);
    };
    // A session begun while paused opens its stream corked: it fills, and
    // plays from Resume.
    if (!m_sink->open(m_sampleRate, SinkBufferMs, m_paused, source, lost, error))
        return false;
    m_clockSamples = 0;
    m_clockTakenNs = m_clock.nowNs();
    m_clockRunning = !m_paused;
    m_running = true;
    m_watch.restart();
    dispatch();
    return true;
}

void AudioOutput::setPausedHere(bool paused)
{
    m_paused = paused;
    if (!m_sink->isOpen())
        return;
    m_sink->setCorked(paused);
    if (paused) {
        m_timer->stop();
        m_clockSamples = m_sink->playedSamples();
        m_clockTakenNs = m_clock.nowNs();
        m_clockRunning = false;
    } else {
        m_clockTakenNs = m_clock.nowNs();
        m_clockRunning = true;
        m_watch.restart();
        dispatch();
    }
}

void AudioOutput::stopHere()
{
    if (m_timer)
        m_timer->stop();
    m_clockRunning = false;
    m_running = false;
    ++m_session;
    m_sink->close();
}

void AudioOutput::fail(const QString &description)
{
    stopHere();
    emit failed(description);
}

qint64 AudioOutput::playedSamplesEstimate() const
{
    qint64 samples = m_clockSamples.load();
    if (m_clockRunning.load())
        samples += (m_clock.nowNs() - m_clockTakenNs.load()) * m_sampleRate / 1000000000;
    return samples;
}

// Raises every word whose sample has been played, then aims the timer at
// the next word's due time, so words land within a millisecond or two of
// their audio instead of on the ticks of a fixed poll.
void AudioOutput::dispatch()
{
    if (!m_sink->isOpen() || m_paused)
        return;
    const qint64 played = m_sink->playedSamples();
    m_clockSamples = played;
    m_clockTakenNs = m_clock.nowNs();
    const qint64 handedOver = m_queue.handedOver();
    const PlaybackWatch::Verdict verdict = m_watch.look(m_clockTakenNs, played, handedOver);
    if (verdict.trigger)
        m_sink->trigger();
    if (verdict.stalled) {
        fail(QStringLiteral("声音服务器没有播放送去的声音。"));
        return;
    }
    std::vector<TimedWord> due;
    m_queue.takeDueWords(played, m_watch.shortfall(), due);
    for (const TimedWord &word : due)
        emit wordDue(word);
    const int delayMs = m_watch.nextLookMs(played, handedOver, m_queue.drained(), m_queue.nextWordSample());
    if (delayMs > 0)
        m_timer->start(delayMs);
}
