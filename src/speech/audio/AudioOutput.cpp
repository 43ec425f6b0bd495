// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/audio/AudioOutput.h"

#include "speech/audio/VolumeScale.h"

#include "platform/Failure.h"

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
// The audio thread sleeps until a word is due, and not at all while nothing
// is playing (new samples wake it): each wake-up costs more than the work it
// does. While audio plays and no word comes, it looks this often whether the
// audio still moves.
constexpr int LongestSleepMs = 250;
// Audio at the server that has not started this long after it should have
// is less than the server's start threshold (a text's end, after the
// buffer ran dry): it is started by hand.
constexpr qint64 TriggerAfterNs = 30'000'000;
// Audio at the server that does not advance for this long means the
// server has stopped playing for us.
constexpr qint64 StallNs = 4'000'000'000;

std::int64_t nowNs() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

template <typename F> void runOn(QObject *target, F &&f)
{
    if (QThread::currentThread() == target->thread())
        f();
    else
        QMetaObject::invokeMethod(target, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

} // namespace

AudioOutput::AudioOutput(PcmQueue &queue, int sampleRate) : m_queue(queue), m_sampleRate(sampleRate)
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
                    m_playback.fill();
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
    if (!m_playback.open(m_sampleRate, SinkBufferMs, m_paused, source, lost, error))
        return false;
    m_clockSamples = 0;
    m_clockTakenNs = nowNs();
    m_clockRunning = !m_paused;
    m_running = true;
    m_lastPlayed = -1;
    dispatch();
    return true;
}

void AudioOutput::setPausedHere(bool paused)
{
    m_paused = paused;
    if (!m_playback.isOpen())
        return;
    m_playback.setCorked(paused);
    if (paused) {
        m_timer->stop();
        m_clockSamples = m_playback.playedSamples();
        m_clockTakenNs = nowNs();
        m_clockRunning = false;
    } else {
        m_clockTakenNs = nowNs();
        m_clockRunning = true;
        m_lastPlayed = -1;
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
    m_playback.close();
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
        samples += (nowNs() - m_clockTakenNs.load()) * m_sampleRate / 1000000000;
    return samples;
}

// Raises every word whose sample has been played, then aims the timer at
// the next word's due time, so words land within a millisecond or two of
// their audio instead of on the ticks of a fixed poll.
void AudioOutput::dispatch()
{
    if (!m_playback.isOpen() || m_paused)
        return;
    const qint64 played = m_playback.playedSamples();
    m_clockSamples = played;
    m_clockTakenNs = nowNs();
    const qint64 handedOver = m_queue.handedOver();
    const qint64 unplayed = handedOver - played;
    // The server's clock may stop a hair short of the last sample it was
    // given; that much still to play is as good as played.
    const qint64 shortfall = m_sampleRate / 100;
    // The clock standing counts from the last audio handed over.
    if (played != m_lastPlayed || handedOver != m_lastHandedOver || unplayed <= 0) {
        m_lastPlayed = played;
        m_lastHandedOver = handedOver;
        m_stalledSinceNs = m_clockTakenNs;
        m_triggered = false;
    } else {
        const qint64 standing = m_clockTakenNs - m_stalledSinceNs;
        if (!m_triggered && standing > TriggerAfterNs) {
            m_playback.trigger();
            m_triggered = true;
        }
        // Audio handed over but not played, for seconds: the sound server
        // is gone or stuck. End the session rather than wait forever.
        if (standing > StallNs && unplayed > shortfall) {
            fail(QStringLiteral("声音服务器没有播放送去的声音。"));
            return;
        }
    }
    std::vector<TimedWord> due;
    m_queue.takeDueWords(played, shortfall, due);
    for (const TimedWord &word : due)
        emit wordDue(word);
    // Without a word to wait for, look again while audio is at the server:
    // when it should have been heard if nothing more is coming (to start a
    // last bit that stands), else after a while (to notice a stalled
    // server). Once started by hand, a shortfall is left alone.
    qint64 delayMs = -1;
    if (unplayed > (m_triggered ? shortfall : 0))
        delayMs = m_queue.drained() ? std::clamp<qint64>(unplayed * 1000 / m_sampleRate + 5, 5, LongestSleepMs)
                                    : LongestSleepMs;
    if (const auto next = m_queue.nextWordSample()) {
        const qint64 waitSamples = *next - played + 1;
        const qint64 wordMs =
            std::clamp<qint64>((waitSamples * 1000 + m_sampleRate - 1) / m_sampleRate, 1, LongestSleepMs);
        delayMs = delayMs < 0 ? wordMs : std::min(delayMs, wordMs);
    }
    if (delayMs > 0)
        m_timer->start(int(delayMs));
}
