// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/MessageBox.h"
#include "platform/ProcessLauncher.h"
#include "platform/Registry.h"

// What the About dialog needs from outside; injected so tests use fakes.
struct AboutServices
{
    Registry *registry = nullptr;
    ProcessLauncher *launcher = nullptr;
    FileSearch *files = nullptr;
    MessageBox *messageBox = nullptr;
};
