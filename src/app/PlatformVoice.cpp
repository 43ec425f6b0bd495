// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlatformVoice.h"

#include "export/ParallelSynthesis.h"
#include "playback/EspeakVoice.h"
#include "speech/helper/SpeechRenderer.h"

std::unique_ptr<SpVoice> CreatePlatformVoice() { return std::make_unique<EspeakVoice>(); }

std::unique_ptr<SpeechSynthesis> CreatePlatformSynthesis()
{
    return std::make_unique<ParallelSynthesis>([] { return std::make_unique<SpeechRenderer>(); },
                                               ParallelSynthesis::defaultJobs());
}
