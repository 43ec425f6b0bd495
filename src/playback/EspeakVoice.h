// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "speech/SpVoice.h"
#include "speech/audio/PcmQueue.h"
#include "speech/helper/HelperConfig.h"
#include "speech/helper/SynthClient.h"

#include <QSet>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <deque>
#include <memory>

class AudioOutput;

// The Linux voice: libespeak-ng synthesising in a confined helper process of
// ours (sayrella-synth) into an audio output we control, so that Pause halts
// what is heard, a purge silences at once, each Word is raised when its audio
// is actually played, and nothing the engine does to a text can take the
// reader down. Each voice owns its own helper.
class EspeakVoice : public SpVoice
{
    Q_OBJECT

public:
    using Options = HelperOptions;

    // Throws Failure when the helper or its engine cannot start.
    EspeakVoice();
    explicit EspeakVoice(const Options &options);
    ~EspeakVoice() override;

    long Speak(const QString &text, int flags) override;
    void Pause() override;
    void Resume() override;
    void setRate(long rate) override;
    void setVolume(long volume) override;
    SpObjectTokens GetVoices(const QString &required, const QString &optional) override;
    void setVoice(const SpObjectToken &token) override;

    // For measurements and tests.
    const PcmQueue &queue() const { return m_queue; }
    const AudioOutput &output() const { return *m_output; }
    pid_t helperPid() const;

private:
    void startSession();
    void purge();
    void waitUntilHeard(long stream);
    void heard(const TimedWord &word);
    void report(quint64 generation, Failure::Reason reason, const QString &description);
    void refreshState() { updateState(!m_pending.isEmpty(), m_pauseDepth > 0, m_failed); }
    void continueAtNewRate(long previousRate);

    PcmQueue m_queue;
    std::unique_ptr<SynthClient> m_client;
    QThread m_audioThread;
    AudioOutput *m_output = nullptr;
    quint64 m_generation = 0;
    long m_stream = 0;
    int m_pauseDepth = 0;
    QSet<long> m_pending; // spoken and not yet heard to the end
    // The texts of this session not yet heard to the end, to go on from a
    // word when the rate changes.
    struct Spoken
    {
        long stream;
        QString text;
        bool markup;
    };
    std::deque<Spoken> m_spoken;
    long m_rate = 0;
    quint64 m_continuedGeneration = 0; // the generation a rate change went on from
    bool m_failed = false;
    // For synchronous Speak, which blocks the UI thread: set where they happen.
    std::atomic<long> m_heardStream{0};
    std::atomic<int> m_failures{0};
};
