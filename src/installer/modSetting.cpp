// SPDX-License-Identifier: GPL-3.0-or-later
#include "installer/modSetting.h"

#include "installer/SetupObj.h"
#include "settings/StoredSettings.h"

namespace modSetting {

void RunFirstTimeSetup(SettingsStore &settings, const InstallerServices &services)
{
    if (StoredSettings::readRunTimes(settings) != 0)
        return;
    // Where the first run cannot be recorded, it would install again at
    // every start and fail there: say so before installing anything.
    settings.checkWritable(StoredSettings::Application);
    SetupObj progress(services);
    progress.show();
    progress.SetupMSI(QStringLiteral("msc"), QStringLiteral("普通话语音"));
    StoredSettings::writeRunTimesDone(settings);
    progress.hide();
}

} // namespace modSetting
