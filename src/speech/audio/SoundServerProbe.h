// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Whether a PulseAudio server answers right now (asked through libpulse,
// with the addresses and environment every PulseAudio client uses).
//
// Qt's audio layer connects to the sound server once, the first time a
// device is asked for, and never tries again if none was there. The voice
// asks this first, so that a server started after the reader is still found.
bool soundServerAnswers();
