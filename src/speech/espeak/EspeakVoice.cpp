#include "speech/espeak/EspeakVoice.h"

#include "platform/Failure.h"
#include "speech/audio/AudioOutput.h"
#include "speech/espeak/VoiceCatalog.h"

#include <QThread>

#include <algorithm>
#include <atomic>

namespace {

std::atomic<bool> s_instanceAlive{false};

// About a second of audio: enough to ride out scheduling hiccups, small
// enough that a rate change is heard soon and memory stays flat.
constexpr std::size_t QueueSeconds = 1;

} // namespace

EspeakVoice::EspeakVoice(const Options &options)
    : m_options(options), m_queue(22050 * QueueSeconds), m_worker(m_queue)
{
    if (s_instanceAlive.exchange(true))
        throw Failure(QStringLiteral("语音引擎已被另一个语音对象占用。"));
    try {
        m_worker.start(options.dataPath);
    } catch (...) {
        s_instanceAlive = false;
        throw;
    }
    if (m_options.userVoiceFolder.isEmpty())
        m_options.userVoiceFolder = VoiceCatalog::userVoiceFolder();

    m_output = new AudioOutput(m_queue, m_worker.sampleRate());
    m_output->moveToThread(&m_audioThread);
    m_audioThread.setObjectName(QStringLiteral("audio output"));
    m_audioThread.start(QThread::TimeCriticalPriority);
    connect(m_output, &AudioOutput::wordDue, this, [this](const TimedWord &word) {
        // Words of a purged speech may still be in flight to this thread: drop them here.
        if (word.generation == m_generation)
            emit Word(word.stream, QVariant::fromValue<qlonglong>(word.sample * 2), word.position, word.length);
    }, Qt::QueuedConnection);
}

EspeakVoice::~EspeakVoice()
{
    ++m_generation;
    m_queue.close();
    m_worker.stop();
    m_output->shutdown();
    m_audioThread.quit();
    m_audioThread.wait();
    delete m_output;
    s_instanceAlive = false;
}

void EspeakVoice::purge()
{
    m_queue.reset(++m_generation);
    m_output->stop();
}

long EspeakVoice::Speak(const QString &text, int flags)
{
    if (text.isNull()) {
        if (flags & SVSFPurgeBeforeSpeak)
            purge();
        return m_stream;
    }
    // A new output session whenever the previous one is over or is dropped,
    // so the played-audio clock and the word stamps start together at zero.
    const bool sessionOver = m_worker.idle() && m_queue.drained()
        && m_output->playedSamplesEstimate() >= m_queue.written();
    if ((flags & SVSFPurgeBeforeSpeak) || sessionOver || !m_output->running()) {
        m_queue.reset(++m_generation);
        m_output->restart();
    }
    m_worker.speak(m_generation, ++m_stream, text, flags & SVSFIsXML);
    if (!(flags & SVSFlagsAsync))
        waitUntilDone();
    return m_stream;
}

void EspeakVoice::waitUntilDone()
{
    // Synchronous speech: wait until the text has been heard, unless paused
    // (nothing would ever finish) or purged from elsewhere.
    const quint64 generation = m_generation;
    while (m_pauseDepth == 0 && generation == m_generation
           && !(m_worker.idle() && m_queue.drained() && m_output->playedSamplesEstimate() >= m_queue.written()))
        QThread::msleep(10);
}

void EspeakVoice::Pause()
{
    if (++m_pauseDepth == 1)
        m_output->setPaused(true);
}

void EspeakVoice::Resume()
{
    if (m_pauseDepth == 0)
        return;
    if (--m_pauseDepth == 0)
        m_output->setPaused(false);
}

void EspeakVoice::setRate(long rate) { m_worker.setRate(std::clamp(rate, -10L, 10L)); }

void EspeakVoice::setVolume(long volume) { m_output->setVolumePercent(int(std::clamp(volume, 0L, 100L))); }

SpObjectTokens EspeakVoice::GetVoices(const QString &, const QString &)
{
    QList<SpObjectToken> tokens = VoiceCatalog::userVoices(m_options.userVoiceFolder);
    tokens.append(m_worker.builtinVoices());
    return SpObjectTokens(tokens);
}

void EspeakVoice::setVoice(const SpObjectToken &token)
{
    const SpObjectTokens voices = GetVoices({}, {});
    if (std::find(voices.begin(), voices.end(), token) == voices.end())
        throw Failure(QStringLiteral("语音“%1”不存在或已被删除。").arg(token.GetDescription()));
    m_worker.selectVoice(token);
}
