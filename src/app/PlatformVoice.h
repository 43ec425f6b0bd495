// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "speech/SpVoice.h"
#include "speech/SpeechSynthesis.h"

#include <memory>

// The platform's own voice (espeak-ng through the synthesis helper on
// Linux): what the program hands the reader as its VoiceFactory. Throws
// Failure with a description when the engine cannot start.
std::unique_ptr<SpVoice> CreatePlatformVoice();
// The platform's synthesis for saving speech: a helper per core, of its own.
std::unique_ptr<SpeechSynthesis> CreatePlatformSynthesis();
