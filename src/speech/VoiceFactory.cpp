// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/VoiceFactory.h"

#include "speech/espeak/EspeakVoice.h"

std::unique_ptr<SpVoice> CreatePlatformVoice() { return std::make_unique<EspeakVoice>(); }
