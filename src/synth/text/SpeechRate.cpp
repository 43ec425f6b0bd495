// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/text/SpeechRate.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int SlowestWordsPerMinute = 80;
constexpr int FastestWordsPerMinute = 450;
} // namespace

namespace {
double speedFactor(long rate) { return std::pow(3.0, std::clamp(rate, -10L, 10L) / 10.0); }
} // namespace

double speedRatio(long from, long to) { return speedFactor(to) / speedFactor(from); }

SpeechSpeed speechSpeedFor(long rate, int normalWordsPerMinute)
{
    const double target = normalWordsPerMinute * speedFactor(rate);
    SpeechSpeed speed;
    speed.wordsPerMinute = std::clamp(int(std::lround(target)), SlowestWordsPerMinute, FastestWordsPerMinute);
    speed.stretch = target / speed.wordsPerMinute;
    if (std::abs(speed.stretch - 1.0) < 0.01)
        speed.stretch = 1.0;
    return speed;
}

int normalWordsPerMinute(const QString &language)
{
    const QString lang = language.toLower();
    if (lang.startsWith(u"cmn") || lang.startsWith(u"yue") || lang.startsWith(u"zh") || lang.startsWith(u"hak"))
        return 280;
    return 175;
}
