// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/EspeakVoice.h"

#include "platform/MonotonicClock.h"

#include "platform/Failure.h"
#include "playback/AudioOutput.h"
#include "playback/PulsePlayback.h"
#include "speech/helper/SynthClient.h"
#include "playback/SpeedChange.h"
#include "synth/text/MarkupCheck.h"
#include "synth/text/SpeechRate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <algorithm>

namespace {

// About a second of audio: enough to ride out scheduling hiccups, small
// enough that a rate change is heard soon and memory stays flat.
constexpr std::size_t QueueSamples = 22050;

} // namespace

EspeakVoice::EspeakVoice() : EspeakVoice(Options()) { }

EspeakVoice::EspeakVoice(const Options &options) : m_queue(QueueSamples)
{
    const SynthClient::Launch launch = SynthClient::Launch::of(HelperConfig::resolve(options));

    SynthClient::Listener listener;
    // A text synthesised to its end: its end is heard after its last sample.
    listener.synthesised = [this](quint64 generation, long stream) { m_queue.pushEndOfStream(generation, stream); };
    listener.failed = [this](quint64 generation, Failure::Reason reason, const QString &description) {
        ++m_failures;
        QMetaObject::invokeMethod(
            this, [this, generation, reason, description] { report(generation, reason, description); },
            Qt::QueuedConnection);
    };
    m_client = std::make_unique<SynthClient>(m_queue, launch, listener);
    m_client->start();

    m_output = new AudioOutput(m_queue, m_client->sampleRate(), std::make_unique<PulsePlayback>(), MonotonicClock::system());
    m_output->moveToThread(&m_audioThread);
    m_audioThread.setObjectName(QStringLiteral("audio output"));
    m_audioThread.start(QThread::TimeCriticalPriority);
    connect(
        m_output, &AudioOutput::wordDue, this,
        [this](const TimedWord &word) {
            if (word.endOfStream)
                m_heardStream = std::max(m_heardStream.load(), word.stream);
        },
        Qt::DirectConnection);
    connect(m_output, &AudioOutput::wordDue, this, &EspeakVoice::heard, Qt::QueuedConnection);
    connect(
        m_output, &AudioOutput::failed, this, [this] { ++m_failures; }, Qt::DirectConnection);
    connect(
        m_output, &AudioOutput::failed, this,
        [this](const QString &description) { report(m_generation, Failure::Reason::SoundServerLost, description); },
        Qt::QueuedConnection);
}

EspeakVoice::~EspeakVoice()
{
    ++m_generation;
    m_queue.close();
    m_client.reset();
    m_output->shutdown();
    m_audioThread.quit();
    m_audioThread.wait();
    delete m_output;
}

pid_t EspeakVoice::helperPid() const { return m_client->helperPid(); }

// Words of a purged speech may still be in flight to this thread: they are dropped here.
void EspeakVoice::heard(const TimedWord &word)
{
    // Words raised just before a rate change took the speech on from the next
    // word still belong to it.
    if (word.generation != m_generation && word.generation != m_continuedGeneration)
        return;
    const QVariant position = QVariant::fromValue<qlonglong>(word.sample * 2);
    if (!word.mark.isEmpty())
        return; // the window shows words; a mark is for callers that asked for them
    if (!word.endOfStream) {
        emit Word(word.stream, position, word.position, word.length);
        return;
    }
    m_pending.remove(word.stream);
    while (!m_spoken.empty() && m_spoken.front().stream <= word.stream)
        m_spoken.pop_front();
    emit EndStream(word.stream, position);
    refreshState();
}

// A failure of the speech now playing (or of no speech in particular) is
// told once; one of a speech already purged is not news to anyone.
void EspeakVoice::report(quint64 generation, Failure::Reason reason, const QString &description)
{
    if (generation != 0 && generation != m_generation)
        return;
    m_pending.clear();
    m_failed = true;
    emit failed(reason, description);
    refreshState();
}

void EspeakVoice::startSession()
{
    m_queue.reset(++m_generation);
    m_client->cancel(m_generation);
    m_pending.clear();
    m_spoken.clear();
    m_continuedGeneration = 0;
}

void EspeakVoice::purge()
{
    startSession();
    m_output->stop();
    refreshState();
}

long EspeakVoice::Speak(const QString &text, int flags)
{
    if (text.isNull()) {
        if (flags & SVSFPurgeBeforeSpeak)
            purge();
        return m_stream;
    }
    // A new output session whenever the previous one is over (everything
    // spoken has been heard to its end) or is dropped, so the played-audio
    // clock and the word stamps start together at zero, on a fresh stream:
    // one that ran dry may wait for more than we hand it before it plays.
    const bool sessionOver = m_client->idle() && m_queue.drained() && m_heardStream.load() >= m_stream;
    if ((flags & SVSFPurgeBeforeSpeak) || sessionOver || !m_output->running()) {
        startSession();
        try {
            m_output->restart();
        } catch (const Failure &) {
            refreshState();
            throw;
        }
    }
    m_failed = false;
    m_client->speak(m_generation, ++m_stream, text, flags & SVSFIsXML);
    m_pending.insert(m_stream);
    m_spoken.push_back({m_stream, text, bool(flags & SVSFIsXML)});
    refreshState();
    if (!(flags & SVSFlagsAsync))
        waitUntilHeard(m_stream);
    return m_stream;
}

// Synchronous speech: wait until the text has been heard, unless it is paused
// (nothing would ever finish), purged from elsewhere, or fails (the helper or
// the sound server lost); each of these ends the wait.
void EspeakVoice::waitUntilHeard(long stream)
{
    const quint64 generation = m_generation;
    const int failures = m_failures.load();
    while (m_heardStream.load() < stream && m_pauseDepth == 0 && generation == m_generation
           && failures == m_failures.load() && m_output->running())
        QThread::msleep(5);
}

void EspeakVoice::Pause()
{
    if (++m_pauseDepth == 1)
        m_output->setPaused(true);
    refreshState();
}

void EspeakVoice::Resume()
{
    if (m_pauseDepth == 0)
        return;
    if (--m_pauseDepth == 0)
        m_output->setPaused(false);
    refreshState();
}

void EspeakVoice::setRate(long rate)
{
    rate = std::clamp(rate, -10L, 10L);
    if (rate == m_rate)
        return;
    const long before = m_rate;
    m_rate = rate;
    m_client->setRate(rate);
    continueAtNewRate(before);
}

// The engine applies a rate from its next sentence, which at a slow rate can
// be many seconds away. So what is queued after the next word not yet handed
// to the sound server is dropped, and the text goes on from that word at the
// new rate; the rest of the word being said, still in the queue, is sped up
// or slowed down to the new rate. Nothing is said twice or left out, and the
// new rate is heard once the server has played what it already holds (a
// tenth of a second). Markup cannot be taken up in the middle: there the new
// rate waits for the next sentence.
void EspeakVoice::continueAtNewRate(long previousRate)
{
    if (m_spoken.empty() || m_failed)
        return;
    // Where to go on from: the next word still in the queue; or, when the
    // engine has not got that far (a slow rate fills the queue with less
    // than a word), the word after the last one it reached, keeping all that
    // is queued.
    qint64 cut = m_queue.written();
    long stream = 0, position = 0;
    if (const auto next = m_queue.firstWordFrom(m_queue.handedOver())) {
        cut = next->sample;
        stream = next->stream;
        position = next->position;
    } else if (const auto last = m_queue.lastWord()) {
        stream = last->stream;
        position = last->position + last->length;
    } else {
        return;
    }
    const auto from =
        std::find_if(m_spoken.begin(), m_spoken.end(), [&](const Spoken &s) { return s.stream == stream; });
    if (from == m_spoken.end()
        || std::any_of(from, m_spoken.end(), [](const Spoken &s) { return s.markup && readAsMarkup(s.text); }))
        return;
    m_continuedGeneration = m_generation;
    m_queue.truncate(cut, ++m_generation);
    const double factor = speedRatio(previousRate, m_rate);
    const int sampleRate = m_output->sampleRate();
    m_queue.retimeQueued([&](const std::vector<int16_t> &samples) { return changeSpeed(samples, factor, sampleRate); });
    m_client->cancel(m_generation);
    for (auto it = from; it != m_spoken.end(); ++it)
        m_client->speak(m_generation, it->stream, it->text, false, it == from ? position : 0);
}

void EspeakVoice::setVolume(long volume) { m_output->setVolumePercent(int(std::clamp(volume, 0L, 100L))); }

SpObjectTokens EspeakVoice::GetVoices(const QString &, const QString &) { return SpObjectTokens(m_client->voices()); }

void EspeakVoice::setVoice(const SpObjectToken &token)
{
    const SpObjectTokens voices = GetVoices({}, {});
    if (std::find(voices.begin(), voices.end(), token) == voices.end())
        throw Failure(QStringLiteral("语音“%1”不存在或已被删除。").arg(token.GetDescription()),
                      Failure::Reason::VoiceMissing);
    m_client->selectVoice(token.id());
}
