// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// The time that only goes forward, in nanoseconds from an unspecified
// start. The playback and helper watches read it through this, so that
// tests can let seconds pass in an instant.
class MonotonicClock
{
public:
    virtual ~MonotonicClock() = default;
    virtual std::int64_t nowNs() const = 0;

    // The system's steady clock.
    static const MonotonicClock &system();
};
