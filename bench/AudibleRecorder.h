// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Records the test sink's monitor and tells when sound was first heard after
// a given moment: the ear of the "click to audible" benchmark. Every reading
// is stamped with the steady clock when it arrives, less what the recording
// stream still held, so the sound's own moment is known within a few
// milliseconds whoever made it.
class AudibleRecorder
{
public:
    explicit AudibleRecorder(const std::string &monitorSource);
    ~AudibleRecorder();

    bool ok() const { return m_ok; }
    // Steady-clock nanoseconds of the first audible sample at or after fromNs.
    std::optional<std::int64_t> firstSoundAfter(std::int64_t fromNs) const;
    // Nothing audible between fromNs and now.
    bool silentSince(std::int64_t fromNs) const;
    // Steady-clock nanoseconds of the last audible block at or before untilNs.
    std::optional<std::int64_t> lastSoundBefore(std::int64_t untilNs) const;
    // The start of sound after at least gapNs of silence nearest to atNs,
    // within windowNs either side: where a sentence is first heard.
    std::optional<std::int64_t> onsetNear(std::int64_t atNs, std::int64_t windowNs, std::int64_t gapNs) const;

private:
    struct Loud
    {
        std::int64_t atNs;
    };
    void record();

    static constexpr int Rate = 22050;
    void *m_stream = nullptr;
    bool m_ok = false;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<Loud> m_loud; // one entry per audible block, in time order
    std::thread m_thread;
};

std::int64_t benchNowNs();
