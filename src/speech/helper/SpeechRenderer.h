// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "speech/VoiceToken.h"
#include "speech/helper/EspeakVoice.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

class SynthClient;

// Speech rendered as fast as it can be made, for saving it rather than
// hearing it: the same helper, channel, queue and volume scaling as
// EspeakVoice's playback, without any sound device. It has its own helper,
// so it runs beside a voice that is speaking.
class SpeechRenderer
{
public:
    struct Settings
    {
        QString voiceId; // empty: the engine's starting voice (Mandarin)
        long rate = 0; // -10..10, as Speak
        int volume = 100;
    };
    // Where the rendered speech goes; called on the rendering thread.
    class Sink
    {
    public:
        virtual ~Sink() = default;
        // False stops the rendering (the sink could not take them).
        virtual bool samples(const int16_t *data, std::size_t count) = 0;
        // A word whose audio starts at this sample of the output.
        virtual void word(qint64 sample, long position, long length) = 0;
    };

    // Throws Failure when the helper cannot start.
    explicit SpeechRenderer(EspeakVoice::Options options = {});
    ~SpeechRenderer();

    int sampleRate() const;
    SpObjectTokens GetVoices() const;

    // Renders text into sink and returns when all of it is rendered (true),
    // or cancel was set or the sink refused (false). Throws Failure when the
    // synthesis fails (a helper lost, a voice that does not load).
    bool render(const QString &text, const Settings &settings, Sink &sink, const std::atomic<bool> &cancel);

private:
    std::optional<QString> takeFailure();

    EspeakVoice::Options m_options;
    PcmQueue m_queue;
    std::unique_ptr<SynthClient> m_client;
    // What failed during the current render, set on the client's thread.
    std::mutex m_failureMutex;
    std::optional<QString> m_failure;
    quint64 m_generation = 0;
};
