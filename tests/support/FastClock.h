// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/MonotonicClock.h"

// The steady clock run faster: seconds of watching pass in milliseconds,
// while everything else (the sound server, the event loop) keeps real time.
class FastClock final : public MonotonicClock
{
public:
    explicit FastClock(int factor) : m_factor(factor), m_startNs(MonotonicClock::system().nowNs()) { }
    std::int64_t nowNs() const override
    {
        return m_startNs + (MonotonicClock::system().nowNs() - m_startNs) * m_factor;
    }

private:
    const int m_factor;
    const std::int64_t m_startNs;
};
