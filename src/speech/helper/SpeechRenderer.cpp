// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/helper/SpeechRenderer.h"

#include "platform/Failure.h"
#include "speech/audio/VolumeScale.h"
#include "speech/helper/SynthClient.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// Big blocks: nobody listens while a file is written, so only throughput counts.
constexpr std::size_t QueueSamples = 22050 * 16;
constexpr std::size_t SavingBlock = 131072;
// 20 ms at the engine's rate: what a listener's sound server takes at a time.
constexpr std::size_t ListeningBlock = 441;

} // namespace

SpeechRenderer::SpeechRenderer(const HelperOptions &options, Pace pace)
    : m_queue(QueueSamples), m_block(pace == Pace::Saving ? SavingBlock : ListeningBlock),
      m_waitMs(pace == Pace::Saving ? 50 : 5)
{
    SynthClient::Listener listener;
    listener.synthesised = [this](quint64 generation, long stream) { m_queue.pushEndOfStream(generation, stream); };
    listener.failed = [this](quint64 generation, Failure::Reason reason, const QString &description) {
        if (generation != 0 && generation != m_queue.generation())
            return;
        std::lock_guard lock(m_failureMutex);
        m_failure = Failure(description, reason); // the renderer looks at least every 50 ms
    };
    // Nobody waits to hear a saved text: frames of at least two seconds of
    // audio (the engine's own calls end at every clause) pass it over in few
    // writes and wake-ups.
    const QStringList saving{QStringLiteral("--buffer-ms"), QStringLiteral("1000"), QStringLiteral("--frame-ms"),
                             QStringLiteral("2000")};
    SynthClient::Launch launch =
        SynthClient::Launch::of(HelperConfig::resolve(options), pace == Pace::Saving ? saving : QStringList());
    // And room for a second of it on the way: the reader then wakes for
    // large reads, not for every few kilobytes. A listener keeps the
    // playing voice's small buffer, so that a stop drops little.
    if (pace == Pace::Saving)
        launch.sendBufferBytes = 1 << 20;
    m_client = std::make_unique<SynthClient>(m_queue, launch, listener);
    m_client->start();
}

SpeechRenderer::~SpeechRenderer()
{
    m_queue.close();
    m_client.reset();
}

std::optional<Failure> SpeechRenderer::takeFailure()
{
    std::lock_guard lock(m_failureMutex);
    return std::exchange(m_failure, std::nullopt);
}

int SpeechRenderer::sampleRate() const { return m_client->sampleRate(); }

SpObjectTokens SpeechRenderer::GetVoices() const { return SpObjectTokens(m_client->voices()); }

bool SpeechRenderer::render(const QString &text, const Settings &settings, Sink &sink, const std::atomic<bool> &cancel)
{
    if (!settings.voiceId.isEmpty()) {
        const SpObjectTokens voices = GetVoices();
        if (std::none_of(voices.begin(), voices.end(),
                         [&](const SpObjectToken &t) { return t.id() == settings.voiceId; }))
            throw Failure(QStringLiteral("语音“%1”不存在。").arg(settings.voiceId), Failure::Reason::VoiceMissing);
        m_client->selectVoice(settings.voiceId);
    }
    m_client->setRate(std::clamp(settings.rate, -10L, 10L));
    m_client->setPitch(settings.pitch, settings.pitchRange);
    // A failure of an earlier text is no failure of this one.
    takeFailure();
    m_queue.reset(++m_generation);
    m_client->cancel(m_generation);
    m_client->speak(m_generation, 1, text, settings.markup);

    std::vector<int16_t> buffer; // only for a sink without room
    std::vector<TimedWord> words;
    qint64 taken = 0;
    const int volume = std::clamp(settings.volume, 0, 100);
    for (;;) {
        if (cancel.load()) {
            m_queue.reset(++m_generation);
            m_client->cancel(m_generation);
            return false;
        }
        if (const std::optional<Failure> failure = takeFailure())
            throw *failure;
        // Whole blocks, not whatever trickled in: fewer turns of this loop and
        // of the file writer behind it.
        m_queue.waitForSamples(m_block, m_waitMs);
        // Straight into the sink's memory where it has room: a part held for
        // its turn in the file is then written once, not copied from here.
        int16_t *const room = sink.room(m_block);
        if (!room)
            buffer.resize(m_block);
        int16_t *const into = room ? room : buffer.data();
        const std::size_t count = m_queue.pop(into, m_block);
        // Words are due once their first sample has been taken; the end once the last has.
        words.clear();
        m_queue.takeDueWords(taken + qint64(count), 0, words);
        for (const TimedWord &w : words) {
            if (w.endOfStream) {
                scaleVolume(into, count, volume);
                return (count == 0 && !room) || sink.samples(into, count);
            }
            if (w.mark.isEmpty())
                sink.word(w.sample, w.position, w.length);
            else
                sink.mark(w.sample, w.mark);
        }
        if (count > 0 || room) {
            scaleVolume(into, count, volume);
            if (!sink.samples(into, count)) {
                m_queue.reset(++m_generation);
                m_client->cancel(m_generation);
                return false;
            }
            taken += qint64(count);
        }
    }
}
