// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Failure.h"

#include "speech/VoiceToken.h"
#include "speech/helper/HelperAllowance.h"
#include "speech/helper/HelperConfig.h"
#include "speech/audio/PcmQueue.h"
#include "speech/helper/HelperProcess.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace SynthProtocol {
struct Frame;
class FrameReader;
} // namespace SynthProtocol

// The reader's side of the synthesis helper. Commands are queued from any
// thread and never block; one thread of ours does all the talking to the
// helper, moving its samples and words into the PcmQueue (whose back-pressure
// holds the helper back too). A helper that crashes, sends what the protocol
// does not allow, or stays silent while it owes us speech is ended: the
// texts it had are dropped, the failure is reported once, and a fresh helper
// takes the next command.
class SynthClient
{
public:
    struct Launch
    {
        // A synthesis helper as the configuration has it, with more arguments of the caller's.
        static Launch of(const HelperConfig &config, const QStringList &more = {});

        QString program;
        QStringList arguments;
        // The voice files this helper was pointed at: offered before its built-in voices.
        QString voiceFolder;
        int startTimeoutMs = 10000;
        int silenceTimeoutMs = 5000; // with speech owed, no word from the helper this long means it hangs
        int frameTimeoutMs = 2000; // a frame begun must be complete within this much waiting
        // The helper's send buffer. Small for playback: the helper stays only
        // a moment ahead of what is heard, so a rate change soon reaches it.
        int sendBufferBytes = 8192;
    };
    // Called on the client's own thread.
    struct Listener
    {
        std::function<void(quint64 generation, long stream)> synthesised;
        // generation 0: not tied to one text (a helper lost, a voice that did not load)
        std::function<void(quint64 generation, Failure::Reason reason, const QString &description)> failed;
    };

    SynthClient(PcmQueue &queue, Launch launch, Listener listener);
    ~SynthClient();

    // Starts the helper and waits until its engine is ready. Throws Failure.
    void start();
    int sampleRate() const { return m_sampleRate.load(); }
    // Every voice this client can speak with: the voice folder's files, then
    // the helper's built-in voices from its greeting. A copy, taken under the
    // lock: a helper replaced on the client's thread greets again meanwhile.
    QList<SpObjectToken> voices() const;

    // from: where in text to begin (positions still count from its start).
    void speak(quint64 generation, long stream, const QString &text, bool markupAllowed, qsizetype from = 0);
    void cancel(quint64 generation);
    void selectVoice(const QString &id);
    void setRate(long rate);
    // 0..100 each; 50 is the voice's own pitch and range.
    void setPitch(int pitch, int range);
    // Every text handed over has come back synthesised or was dropped.
    bool idle() const;
    pid_t helperPid() const;

private:
    void run();
    void connectHelper();
    bool exchange();
    bool readFrames();
    bool handle(const SynthProtocol::Frame &frame);
    bool allowed(const QString &verdict);
    template <typename F> QString lockedAllowance(F &&check);
    void replaceHelper(Failure::Reason reason, const QString &why);
    void post(const QByteArray &frame);
    void wakeThread();
    void takeNextPart();

    PcmQueue &m_queue;
    const Launch m_launch;
    const Listener m_listener;
    std::atomic<int> m_sampleRate{0}; // set again by each helper's greeting
    QList<SpObjectToken> m_builtinVoices; // guarded by m_mutex

    // Owned by the client thread once start() has returned.
    HelperProcess m_helper;
    // The wire format stays inside this library: users of the client see
    // texts, words and samples, never frames.
    std::unique_ptr<SynthProtocol::FrameReader> m_reader;
    qint64 m_lastProgressNs = 0; // when the last complete frame arrived
    qint64 m_partialWaitNs = 0; // time spent waiting for the rest of a frame
    QString m_violation; // why the helper is being ended, when it broke the rules
    bool m_owedBefore = false;
    bool m_helperFinishedAText = false;

    // A text to speak, handed to the helper in parts as the channel takes
    // them: the helper starts on the first part at once, however long the
    // text, and a purge drops the parts not yet sent.
    struct Text
    {
        quint64 generation = 0;
        long stream = 0;
        bool markup = false;
        QString text;
        qsizetype sent = 0; // UTF-16 units handed over so far
    };

    std::thread m_thread;
    int m_wake = -1;
    mutable std::mutex m_mutex;
    QByteArray m_outbox;
    qsizetype m_outboxSent = 0;
    std::deque<Text> m_texts;
    int m_owed = 0; // texts handed over and not yet synthesised
    bool m_quit = false;
    QString m_voiceId;
    long m_rate = 0;
    int m_pitch = 50;
    int m_pitchRange = 50;
    pid_t m_pid = -1;
    HelperAllowance m_allowance; // of the helper now running
};
