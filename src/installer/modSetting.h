// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "installer/InstallerServices.h"
#include "settings/SettingsStore.h"

// The first-run installation of the Mandarin voice package.
namespace modSetting {

// On the first run (RunTimes absent or 0) shows the progress window,
// installs the package and then records RunTimes = 1; later runs return at
// once. Throws Failure on any error, before anything is recorded, so that
// the next start tries again.
void RunFirstTimeSetup(SettingsStore &settings, const InstallerServices &services);

} // namespace modSetting
