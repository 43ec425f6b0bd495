// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Failure.h"
#include "speech/SpeechSynthesis.h"
#include "speech/VoiceToken.h"
#include "speech/audio/PcmQueue.h"
#include "speech/helper/HelperConfig.h"

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
class SpeechRenderer : public SpeechSynthesis
{
public:
    // Saving wants throughput: big frames, few wake-ups. Listening (speech
    // another program plays as it comes) wants the first samples at once
    // and a stop that takes effect within a few milliseconds.
    enum class Pace { Saving, Listening };
    // Throws Failure when the helper cannot start.
    explicit SpeechRenderer(const HelperOptions &options = {}, Pace pace = Pace::Saving);
    ~SpeechRenderer() override;

    int sampleRate() const override;
    SpObjectTokens GetVoices() const override;
    bool render(const QString &text, const Settings &settings, Sink &sink, const std::atomic<bool> &cancel) override;

private:
    std::optional<Failure> takeFailure();

    PcmQueue m_queue;
    std::unique_ptr<SynthClient> m_client;
    // What failed during the current render, set on the client's thread.
    std::mutex m_failureMutex;
    std::optional<Failure> m_failure;
    quint64 m_generation = 0;
    std::size_t m_block; // samples handed to the sink at most at a time
    int m_waitMs; // the longest wait for a block, and so for a cancel to be seen
};
