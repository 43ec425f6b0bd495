// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/MonotonicClock.h"
#include "playback/AudioSink.h"

#include <atomic>
#include <mutex>

// A sound server that plays in the time of a clock: it takes all the
// samples there are whenever asked to fill, and its clock counts them as
// heard at the sample rate while it is uncorked. stop() makes it
// stop playing as a hung server does; it then keeps what it holds.
class FakeAudioSink final : public AudioSink
{
public:
    explicit FakeAudioSink(const MonotonicClock &clock) : m_clock(clock) { }

    bool open(int sampleRate, int bufferMs, bool corked, Source source, Lost lost, QString *error) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    void setCorked(bool corked) override;
    void fill() override;
    void trigger() override { ++m_triggers; }
    std::int64_t playedSamples() const override;
    int underruns() const override { return 0; }

    void stop();
    int triggers() const { return m_triggers.load(); }

private:
    std::int64_t playedLocked() const;

    const MonotonicClock &m_clock;
    mutable std::mutex m_mutex;
    Source m_source;
    int m_sampleRate = 0;
    bool m_open = false;
    bool m_corked = false;
    bool m_stopped = false;
    std::int64_t m_playedBefore = 0; // samples played before the clock last started
    std::int64_t m_startedNs = 0;
    std::int64_t m_taken = 0; // samples the stream has taken
    std::atomic<int> m_triggers{0};
};
