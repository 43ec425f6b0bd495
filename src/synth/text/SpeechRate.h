// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// How fast to synthesise for a rate of -10..10. Each step multiplies the
// speed by the tenth root of 3, so -10 is a third and +10 three times the
// voice's normal speed. The synthesiser only speaks between 80 and 450 words
// per minute; what lies beyond is reached by time-stretching its output.
struct SpeechSpeed
{
    int wordsPerMinute = 175;
    double stretch = 1.0; // > 1 shortens, < 1 lengthens the synthesised audio
};

SpeechSpeed speechSpeedFor(long rate, int normalWordsPerMinute);

// How much faster speech at rate to is than at rate from (2: twice as fast).
double speedRatio(long from, long to);

// The synthesiser's default of 175 words per minute is a natural pace for
// alphabetic languages, but makes Chinese crawl at under three syllables a
// second; Chinese voices get a normal speed of about four and a half.
int normalWordsPerMinute(const QString &language);
