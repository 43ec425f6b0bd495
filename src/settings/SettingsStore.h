#pragma once

#include <QString>

// The per-user settings store: text values addressed by application,
// section and key. Reading an absent value gives the default; a failed
// write throws Failure.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;

    virtual QString GetSetting(const QString &application, const QString &section, const QString &key,
                               const QString &defaultValue) = 0;
    virtual void SaveSetting(const QString &application, const QString &section, const QString &key,
                             const QString &value) = 0;

    // Where an application's values live, for messages that help the user
    // repair them by hand (a file path, a registry key...).
    virtual QString location(const QString &application) const = 0;
};
