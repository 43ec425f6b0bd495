// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class CommandLine;

#include "platform/Failure.h"

// sayrella --export and --list-voices: speech saved to files, without a
// window, a display or a sound server. Returns the exit status: 0 done,
// else that of the first failure (each one line naming the file and the
// reason): see exitStatusFor.
int runWithoutWindow(const CommandLine &commandLine);

// The exit status for a class of failure: 66 a missing input, 65 an input
// that cannot be read or a format not written, 73 an output that cannot be
// written or exists, 69 a voice not installed, 70 the speech engine failed,
// 130 cancelled, 1 anything else. Usage errors end earlier with 2.
int exitStatusFor(Failure::Reason reason);
