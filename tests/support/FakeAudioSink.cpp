// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FakeAudioSink.h"

#include <algorithm>

bool FakeAudioSink::open(int sampleRate, int, bool corked, Source source, Lost, QString *)
{
    std::lock_guard lock(m_mutex);
    m_source = std::move(source);
    m_sampleRate = sampleRate;
    m_open = true;
    m_corked = corked;
    m_stopped = false;
    m_playedBefore = 0;
    m_startedNs = m_clock.nowNs();
    m_taken = 0;
    return true;
}

void FakeAudioSink::close()
{
    std::lock_guard lock(m_mutex);
    m_open = false;
    m_source = {};
}

void FakeAudioSink::setCorked(bool corked)
{
    std::lock_guard lock(m_mutex);
    if (corked == m_corked)
        return;
    m_playedBefore = playedLocked();
    m_startedNs = m_clock.nowNs();
    m_corked = corked;
}

void FakeAudioSink::stop()
{
    std::lock_guard lock(m_mutex);
    m_playedBefore = playedLocked();
    m_stopped = true;
}

std::int64_t FakeAudioSink::playedLocked() const
{
    if (m_corked || m_stopped)
        return m_playedBefore;
    const std::int64_t running = (m_clock.nowNs() - m_startedNs) * m_sampleRate / 1'000'000'000;
    return std::min<std::int64_t>(m_playedBefore + running, m_taken);
}

void FakeAudioSink::fill()
{
    std::lock_guard lock(m_mutex);
    if (!m_open || !m_source)
        return;
    // A stream that ran dry starts again from what it gets now.
    const std::int64_t played = playedLocked();
    if (!m_corked && !m_stopped && played == m_taken) {
        m_playedBefore = played;
        m_startedNs = m_clock.nowNs();
    }
    // Room for everything: the queue behind it is left empty, so the next
    // samples to arrive call for a fill again.
    int16_t block[4096];
    for (std::size_t n; (n = m_source(block, std::size(block))) > 0;)
        m_taken += std::int64_t(n);
}

std::int64_t FakeAudioSink::playedSamples() const
{
    std::lock_guard lock(m_mutex);
    return playedLocked();
}
