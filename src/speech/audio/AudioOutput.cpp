#include "speech/audio/AudioOutput.h"

#include "platform/Failure.h"
#include "speech/audio/PcmSource.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

// Short enough that a volume change or a purge is heard at once, long enough
// that a scheduling hiccup of the audio thread does not underrun.
constexpr int SinkBufferMs = 100;
// When no word is pending, look again this often for newly queued ones.
constexpr int IdlePollMs = 20;

std::int64_t nowNs() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

template <typename F>
void runOn(QObject *target, F &&f)
{
    if (QThread::currentThread() == target->thread())
        f();
    else
        QMetaObject::invokeMethod(target, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

} // namespace

AudioOutput::AudioOutput(PcmQueue &queue, int sampleRate)
    : m_queue(queue), m_sampleRate(sampleRate), m_source(new PcmSource(queue, this))
{
    qRegisterMetaType<TimedWord>("TimedWord");
    // Played-position reads happen on the output's thread, where the source is read.
    m_source->setAheadLimit([this] { return playedSamples(); }, qint64(m_sampleRate) * SinkBufferMs / 1000);
}

AudioOutput::~AudioOutput() = default;

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

void AudioOutput::setVolumePercent(int percent)
{
    // The source scales samples as it hands them over; its volume is atomic, safe from any thread.
    m_source->setVolumePercent(percent);
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
    m_source->close();

    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        *error = QStringLiteral("找不到可用的音频输出设备（没有运行中的声音服务器或声卡）。");
        return false;
    }
    QAudioFormat format;
    format.setSampleRate(m_sampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    m_sink = new QAudioSink(device, format, this);
    m_sink->setBufferSize(m_sampleRate * 2 * SinkBufferMs / 1000);
    m_source->open(QIODevice::ReadOnly);
    m_sink->start(m_source);
    if (m_sink->error() != QAudio::NoError) {
        *error = QStringLiteral("无法打开音频输出设备“%1”（错误 %2）。")
                     .arg(device.description())
                     .arg(int(m_sink->error()));
        delete m_sink;
        m_sink = nullptr;
        return false;
    }
    if (m_paused)
        m_sink->suspend();
    m_clockSamples = 0;
    m_clockTakenNs = nowNs();
    m_clockRunning = !m_paused;
    m_running = true;
    dispatch();
    return true;
}

void AudioOutput::setPausedHere(bool paused)
{
    m_paused = paused;
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
        dispatch();
    }
}

void AudioOutput::stopHere()
{
    if (m_timer)
        m_timer->stop();
    m_clockRunning = false;
    m_running = false;
    if (m_sink) {
        m_sink->stop();
        delete m_sink;
        m_sink = nullptr;
    }
}

qint64 AudioOutput::playedSamples() const
{
    return m_sink ? m_sink->processedUSecs() * m_sampleRate / 1000000 : 0;
}

qint64 AudioOutput::playedSamplesEstimate() const
{
    qint64 samples = m_clockSamples.load();
    if (m_clockRunning.load())
        samples += (nowNs() - m_clockTakenNs.load()) * m_sampleRate / 1000000000;
    return samples;
}

// Raises every word whose sample has been played, then aims the timer at the
// next word's due time, so words land within a millisecond or two of their
// audio instead of on the ticks of a fixed poll.
void AudioOutput::dispatch()
{
    if (!m_sink || m_paused)
        return;
    const qint64 played = playedSamples();
    m_clockSamples = played;
    m_clockTakenNs = nowNs();
    std::vector<TimedWord> due;
    m_queue.takeDueWords(played, due);
    for (const TimedWord &word : due)
        emit wordDue(word);
    int delayMs = IdlePollMs;
    if (const auto next = m_queue.nextWordSample()) {
        const qint64 waitSamples = *next - played;
        delayMs = int(std::clamp<qint64>((waitSamples * 1000 + m_sampleRate - 1) / m_sampleRate, 1, IdlePollMs));
    }
    m_timer->start(delayMs);
}
