// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <cstdint>
#include <optional>

// Watches a playing stream through its played-samples clock. Audio that
// stands at the server below its start threshold (a text's end after the
// buffer ran dry) is to be started by hand; audio that stands for seconds
// means the server stopped playing for us; and between words the output
// must still look now and then. Only arithmetic: the output asks, and does
// what it is told.
class PlaybackWatch
{
public:
    // Audio standing this long is started by hand.
    static constexpr std::int64_t TriggerAfterNs = 30'000'000;
    // Audio standing this long means the server stopped playing.
    static constexpr std::int64_t StallNs = 4'000'000'000;
    // The longest the output sleeps while audio is at the server.
    static constexpr int LongestSleepMs = 250;

    explicit PlaybackWatch(int sampleRate) : m_sampleRate(sampleRate) { }

    // A new session, or playing again after a pause: standing counts anew.
    void restart() { m_lastPlayed = -1; }

    struct Verdict
    {
        bool trigger = false; // start what the server holds
        bool stalled = false; // the server stopped playing: end the session
    };
    // What the clock shows at nowNs, with handedOver samples given to the server.
    Verdict look(std::int64_t nowNs, qint64 played, qint64 handedOver);

    // The server's clock may stop a hair short of the last sample it was
    // given; that much still to play is as good as played.
    qint64 shortfall() const { return m_sampleRate / 100; }

    // When to look again, in milliseconds; -1 when nothing needs watching
    // (new samples and Resume wake the output themselves). drained: no
    // more samples are coming for now; nextWord: the sample of the next
    // word due.
    int nextLookMs(qint64 played, qint64 handedOver, bool drained, std::optional<qint64> nextWord) const;

private:
    const int m_sampleRate;
    qint64 m_lastPlayed = -1;
    qint64 m_lastHandedOver = -1;
    std::int64_t m_standingSinceNs = 0;
    bool m_triggered = false;
};
