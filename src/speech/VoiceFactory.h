// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "speech/SpVoice.h"

#include <functional>
#include <memory>

// Creates the voice the program speaks with. Injected into the reader so that
// tests can hand it a fake; the program passes the platform's voice.
using VoiceFactory = std::function<std::unique_ptr<SpVoice>()>;
