// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/audio/AudioOutput.h"

#include "speech/audio/VolumeScale.h"

#include "platform/Failure.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace {

// Short enough that a volume change or a purge is heard at once, long enough
// that a scheduling hiccup of the audio thread does not underrun.
constexpr int SinkBufferMs = 100;
// The audio thread sleeps until a word is due or the sink is about to run
// low, whichever comes first, and not at all while nothing is playing (new
// samples wake it): each wake-up costs more than the work it does.
constexpr int RefillMarginMs = 40; // wake while this much is still to be played
constexpr int LongestSleepMs = 100;
// Audio handed to the sound server that does not advance for this long
// means the server has stopped playing for us.
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
    // Samples arriving in an empty queue are handed to the sink at once, on
    // its thread, and the next wake-up is planned for them.
    m_queue.setArrivalCallback([this] {
        if (!m_feedPosted.exchange(true))
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_feedPosted = false;
                    dispatch();
                },
                Qt::QueuedConnection);
    });
}

AudioOutput::~AudioOutput() { m_queue.setArrivalCallback({}); }

void AudioOutput::restart()
{
    QString error;
    bool ok = false;
    runOn(this, [&] { ok = restartHere(&error); });
    if (!ok)
        throw Failure(error);
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

    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        *error = QStringLiteral("找不到可用的音频输出设备（没有运行中的声音服务器或声卡）。");
        return false;
    }
    // A session begun while paused opens its stream on Resume: a stream
    // suspended the moment it was started may never play.
    m_startOnResume = m_paused;
    if (m_paused) {
        m_running = true;
        m_clockSamples = 0;
        m_clockRunning = false;
        return true;
    }
    QAudioFormat format;
    format.setSampleRate(m_sampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    m_sink = new QAudioSink(device, format, this);
    m_sink->setBufferSize(m_sampleRate * 2 * SinkBufferMs / 1000);
    m_device = m_sink->start();
    if (!m_device || m_sink->error() != QAudio::NoError) {
        *error =
            QStringLiteral("无法打开音频输出设备“%1”（错误 %2）。").arg(device.description()).arg(int(m_sink->error()));
        delete m_sink;
        m_sink = nullptr;
        m_device = nullptr;
        return false;
    }
    connect(m_sink, &QAudioSink::stateChanged, this, [this](QAudio::State state) {
        if (state == QAudio::StoppedState && m_sink && m_sink->error() != QAudio::NoError)
            fail(QStringLiteral("声音服务器停止了播放（错误 %1）。").arg(int(m_sink->error())));
    });
    m_clockSamples = 0;
    m_clockTakenNs = nowNs();
    m_clockRunning = true;
    m_running = true;
    m_lastPlayed = -1;
    feed();
    dispatch();
    return true;
}

void AudioOutput::setPausedHere(bool paused)
{
    m_paused = paused;
    if (!paused && m_startOnResume) {
        QString error;
        if (!restartHere(&error))
            emit failed(error);
        return;
    }
    if (!m_sink)
        return;
    if (paused) {
        m_sink->suspend();
        m_timer->stop();
        m_clockSamples = playedSamples();
        m_clockTakenNs = nowNs();
        m_clockRunning = false;
    } else {
        m_sink->resume();
        m_clockTakenNs = nowNs();
        m_clockRunning = true;
        m_lastPlayed = -1;
        feed();
        dispatch();
    }
}

void AudioOutput::stopHere()
{
    m_startOnResume = false;
    if (m_timer)
        m_timer->stop();
    m_clockRunning = false;
    m_running = false;
    m_device = nullptr;
    if (m_sink) {
        m_sink->disconnect(this);
        m_sink->stop();
        // Later, not now: this may run inside one of the sink's own signals.
        m_sink->deleteLater();
        m_sink = nullptr;
    }
}

void AudioOutput::fail(const QString &description)
{
    stopHere();
    emit failed(description);
}

qint64 AudioOutput::playedSamples() const { return m_sink ? m_sink->processedUSecs() * m_sampleRate / 1000000 : 0; }

qint64 AudioOutput::playedSamplesEstimate() const
{
    qint64 samples = m_clockSamples.load();
    if (m_clockRunning.load())
        samples += (nowNs() - m_clockTakenNs.load()) * m_sampleRate / 1000000000;
    return samples;
}

// Hands the sink what it has room for (its buffer is SinkBufferMs), and
// never more than twice that beyond what has been heard: what the sound
// server holds can no longer change volume or be taken back. The bound must
// stay above the server's own start threshold (a full buffer): a stream that
// ran dry waits for that much before it plays again, while its clock stands.
void AudioOutput::feed()
{
    m_feedPosted = false;
    if (!m_device || m_paused)
        return;
    const qint64 ahead = qint64(m_sampleRate) * 2 * SinkBufferMs / 1000;
    const qint64 room = std::min<qint64>(m_sink->bytesFree() / 2, playedSamples() + ahead - m_queue.handedOver());
    if (room <= 0)
        return;
    m_buffer.resize(std::size_t(room));
    const std::size_t count = m_queue.pop(m_buffer.data(), m_buffer.size());
    if (count == 0)
        return;
    scaleVolume(m_buffer.data(), count, m_volume.load());
    m_device->write(reinterpret_cast<const char *>(m_buffer.data()), qint64(count * 2));
}

// Feeds the sink, raises every word whose sample has been played, then aims
// the timer at the next word's due time, so words land within a millisecond
// or two of their audio instead of on the ticks of a fixed poll.
void AudioOutput::dispatch()
{
    if (!m_sink || m_paused)
        return;
    feed();
    const qint64 played = playedSamples();
    m_clockSamples = played;
    m_clockTakenNs = nowNs();
    // Audio that was handed over but is not being played, for seconds: the
    // sound server is gone or stuck. End the session rather than wait forever.
    if (played != m_lastPlayed || m_queue.handedOver() <= played) {
        m_lastPlayed = played;
        m_stalledSinceNs = m_clockTakenNs;
    } else if (m_clockTakenNs - m_stalledSinceNs > StallNs) {
        fail(QStringLiteral("声音服务器没有播放送去的声音。"));
        return;
    }
    std::vector<TimedWord> due;
    m_queue.takeDueWords(played, m_sampleRate / 100, due);
    for (const TimedWord &word : due)
        emit wordDue(word);
    // Wake before the sink runs low while there is something to hand over,
    // and while much is still to be played (to notice a stalled server); the
    // last few milliseconds of a session play out without us.
    qint64 delayMs = -1;
    const qint64 toPlayMs = (m_queue.handedOver() - played) * 1000 / m_sampleRate;
    if (!m_queue.drained() || toPlayMs > RefillMarginMs)
        delayMs = std::clamp<qint64>(toPlayMs - RefillMarginMs, 1, LongestSleepMs);
    if (const auto next = m_queue.nextWordSample()) {
        const qint64 waitSamples = *next - played + 1;
        const qint64 wordMs =
            std::clamp<qint64>((waitSamples * 1000 + m_sampleRate - 1) / m_sampleRate, 1, LongestSleepMs);
        delayMs = delayMs < 0 ? wordMs : std::min(delayMs, wordMs);
    }
    if (delayMs > 0)
        m_timer->start(int(delayMs));
}
