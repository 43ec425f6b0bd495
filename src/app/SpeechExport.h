// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class CommandLine;

// sayrella --export and --list-voices: speech saved to files, without a
// window, a display or a sound server. Returns the exit status: 0 done,
// 1 a failure (one line naming the file and the reason).
int runWithoutWindow(const CommandLine &commandLine);
