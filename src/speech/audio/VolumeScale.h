// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

// Scales samples to a volume of 0..100 percent, as playback and saving to a
// file both do, so that a saved file sounds as Speak does.
inline void scaleVolume(int16_t *samples, std::size_t count, int percent)
{
    if (percent >= 100)
        return;
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = int16_t(int(samples[i]) * percent / 100);
}
