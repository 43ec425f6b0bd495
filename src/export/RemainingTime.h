// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The time a save still needs, as a person can trust it: nothing is said
// until the pace is known (a few seconds and a percent in), and then the
// estimate follows the average pace smoothly instead of every hiccup of
// it (a part handed over, a helper started).
class RemainingTime
{
public:
    // Seconds of work before an estimate, and the share done before one.
    static constexpr double SettleSeconds = 2.0;
    static constexpr double SettleShare = 0.01;
    // How quickly the estimate follows the pace: its time constant, in seconds.
    static constexpr double FollowSeconds = 3.0;

    // share of the work done (0..1) after elapsed seconds of it. Returns the
    // seconds still needed, or a negative number while it is not known.
    double update(double elapsedSeconds, double share);

private:
    double m_estimate = -1; // of the whole work's length, in seconds
    double m_lastElapsed = 0;
};
