// SPDX-License-Identifier: GPL-3.0-or-later
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

    // Called before anything is read at start-up. Stored values that cannot
    // be read as settings at all are moved aside (never rewritten, never
    // taken for "nothing stored"), and the program starts as if nothing was
    // stored. Returns where they were kept; empty when nothing was wrong.
    virtual QString setAsideIfDamaged(const QString &application) = 0;

    // Throws Failure, naming the place, when values cannot be saved there.
    virtual void checkWritable(const QString &application) = 0;
};
