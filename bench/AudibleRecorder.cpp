// SPDX-License-Identifier: GPL-3.0-or-later
#include "AudibleRecorder.h"

#include <pulse/simple.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace {
// Samples per reading: 2.5 ms, so a reading's own length blurs nothing.
constexpr int BlockSamples = 55;
// Well above the dither of a silent stream, well below any speech.
constexpr int AudibleLevel = 300;
} // namespace

std::int64_t benchNowNs() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

AudibleRecorder::AudibleRecorder(const std::string &monitorSource)
{
    pa_sample_spec spec{PA_SAMPLE_S16LE, Rate, 1};
    pa_buffer_attr attr{};
    attr.maxlength = std::uint32_t(-1);
    attr.fragsize = BlockSamples * 2;
    int error = 0;
    m_stream = pa_simple_new(nullptr, "sayrella-bench", PA_STREAM_RECORD, monitorSource.c_str(), "ear", &spec, nullptr,
                             &attr, &error);
    m_ok = m_stream != nullptr;
    if (m_ok)
        m_thread = std::thread([this] { record(); });
}

AudibleRecorder::~AudibleRecorder()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_stream)
        pa_simple_free(static_cast<pa_simple *>(m_stream));
}

void AudibleRecorder::record()
{
    auto *stream = static_cast<pa_simple *>(m_stream);
    std::int16_t block[BlockSamples];
    while (!m_stop) {
        int error = 0;
        if (pa_simple_read(stream, block, sizeof block, &error) < 0)
            return;
        const std::int64_t arrived = benchNowNs();
        const pa_usec_t held = pa_simple_get_latency(stream, &error);
        for (int i = 0; i < BlockSamples; ++i) {
            if (std::abs(block[i]) < AudibleLevel)
                continue;
            const std::int64_t samplesAfter = BlockSamples - i;
            const std::int64_t at = arrived - std::int64_t(held) * 1000 - samplesAfter * 1'000'000'000 / Rate;
            std::lock_guard lock(m_mutex);
            m_loud.push_back({at});
            break;
        }
    }
}

std::optional<std::int64_t> AudibleRecorder::firstSoundAfter(std::int64_t fromNs) const
{
    std::lock_guard lock(m_mutex);
    const auto it = std::lower_bound(m_loud.begin(), m_loud.end(), fromNs,
                                     [](const Loud &loud, std::int64_t at) { return loud.atNs < at; });
    if (it == m_loud.end())
        return std::nullopt;
    return it->atNs;
}

bool AudibleRecorder::silentSince(std::int64_t fromNs) const { return !firstSoundAfter(fromNs); }

std::optional<std::int64_t> AudibleRecorder::lastSoundBefore(std::int64_t untilNs) const
{
    std::lock_guard lock(m_mutex);
    auto it = std::upper_bound(m_loud.begin(), m_loud.end(), untilNs,
                               [](std::int64_t at, const Loud &loud) { return at < loud.atNs; });
    if (it == m_loud.begin())
        return std::nullopt;
    return std::prev(it)->atNs;
}

std::optional<std::int64_t> AudibleRecorder::onsetNear(std::int64_t atNs, std::int64_t windowNs, std::int64_t gapNs) const
{
    std::lock_guard lock(m_mutex);
    auto it = std::lower_bound(m_loud.begin(), m_loud.end(), atNs - windowNs,
                               [](const Loud &loud, std::int64_t at) { return loud.atNs < at; });
    std::optional<std::int64_t> best;
    for (; it != m_loud.end() && it->atNs <= atNs + windowNs; ++it) {
        const bool afterSilence = it == m_loud.begin() || it->atNs - std::prev(it)->atNs >= gapNs;
        if (afterSilence && (!best || std::abs(it->atNs - atNs) < std::abs(*best - atNs)))
            best = it->atNs;
    }
    return best;
}
