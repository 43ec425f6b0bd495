// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/SettingsStore.h"

// The store on Linux: one INI file per application in the user's XDG config
// folder (<folder>/<application>.ini), one group per section. Each read opens
// the file afresh, so what another process wrote is seen; each write is saved
// atomically (written aside, then renamed over the old file) and checked.
// A file that is not readable as settings is never read past its bounds
// nor written over (IniFileCheck).
class IniSettingsStore : public SettingsStore
{
public:
    // folder empty: the user's configuration folder.
    explicit IniSettingsStore(QString folder = {});

    QString GetSetting(const QString &application, const QString &section, const QString &key,
                       const QString &defaultValue) override;
    void SaveSetting(const QString &application, const QString &section, const QString &key,
                     const QString &value) override;
    QString location(const QString &application) const override;
    QString setAsideIfDamaged(const QString &application) override;
    void checkWritable(const QString &application) override;

private:
    QString m_folder;
};
