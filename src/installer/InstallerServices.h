// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/InstallerPlatform.h"

// What the first-run installation needs from outside; injected so that
// tests use fakes.
struct InstallerServices
{
    FileSystem *files = nullptr;
    ProcessRunner *processes = nullptr;
};
