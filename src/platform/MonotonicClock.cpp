// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MonotonicClock.h"

#include <chrono>

namespace {

class SteadyClock final : public MonotonicClock
{
public:
    std::int64_t nowNs() const override
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

} // namespace

const MonotonicClock &MonotonicClock::system()
{
    static const SteadyClock clock;
    return clock;
}
