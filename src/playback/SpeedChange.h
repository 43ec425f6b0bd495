// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

// The same speech at another speed and the same pitch (libsonic): factor 2
// says it in half the time, 0.5 in twice the time.
std::vector<int16_t> changeSpeed(const std::vector<int16_t> &samples, double factor, int sampleRate);
