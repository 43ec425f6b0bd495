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
    // Throws Failure when the helper cannot start.
    explicit SpeechRenderer(const HelperOptions &options = {});
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
};
