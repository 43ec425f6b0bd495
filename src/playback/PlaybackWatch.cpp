// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/PlaybackWatch.h"

#include <algorithm>

PlaybackWatch::Verdict PlaybackWatch::look(std::int64_t nowNs, qint64 played, qint64 handedOver)
{
    // The clock standing counts from the last audio handed over: a queue
    // that waits for the synthesis is no server that stopped.
    if (played != m_lastPlayed || handedOver != m_lastHandedOver || handedOver - played <= 0) {
        m_lastPlayed = played;
        m_lastHandedOver = handedOver;
        m_standingSinceNs = nowNs;
        m_triggered = false;
        return {};
    }
    Verdict verdict;
    const std::int64_t standing = nowNs - m_standingSinceNs;
    if (!m_triggered && standing > TriggerAfterNs)
        verdict.trigger = m_triggered = true;
    verdict.stalled = standing > StallNs && handedOver - played > shortfall();
    return verdict;
}

int PlaybackWatch::nextLookMs(qint64 played, qint64 handedOver, bool drained, std::optional<qint64> nextWord) const
{
    // While audio is at the server: when it should have been heard if
    // nothing more is coming (to start a last bit that stands), else after
    // a while (to notice a stalled server). Once started by hand, a
    // shortfall is left alone.
    const qint64 unplayed = handedOver - played;
    qint64 delayMs = -1;
    if (unplayed > (m_triggered ? shortfall() : 0))
        delayMs = drained ? std::clamp<qint64>(unplayed * 1000 / m_sampleRate + 5, 5, LongestSleepMs) : LongestSleepMs;
    // A word is raised within a millisecond of its sample being played.
    if (nextWord) {
        const qint64 waitSamples = *nextWord - played + 1;
        const qint64 wordMs =
            std::clamp<qint64>((waitSamples * 1000 + m_sampleRate - 1) / m_sampleRate, 1, LongestSleepMs);
        delayMs = delayMs < 0 ? wordMs : std::min(delayMs, wordMs);
    }
    return int(delayMs);
}
