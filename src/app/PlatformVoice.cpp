// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlatformVoice.h"

#include "speech/helper/EspeakVoice.h"

std::unique_ptr<SpVoice> CreatePlatformVoice() { return std::make_unique<EspeakVoice>(); }
