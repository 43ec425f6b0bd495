// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/RemainingTime.h"

#include <algorithm>
#include <cmath>

double RemainingTime::update(double elapsedSeconds, double share)
{
    if (share >= 1.0)
        return 0;
    if (elapsedSeconds < SettleSeconds || share < SettleShare)
        return -1;
    // The whole work's length at the average pace so far; smoothing that
    // (rather than the time left) keeps the countdown running down at the
    // clock's own speed while the pace holds.
    const double whole = elapsedSeconds / share;
    if (m_estimate < 0) {
        m_estimate = whole;
    } else {
        const double step = std::max(0.0, elapsedSeconds - m_lastElapsed);
        const double weight = 1.0 - std::exp(-step / FollowSeconds);
        m_estimate += (whole - m_estimate) * weight;
    }
    m_lastElapsed = elapsedSeconds;
    return std::max(0.0, m_estimate - elapsedSeconds);
}
