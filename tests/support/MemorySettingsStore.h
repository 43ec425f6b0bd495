// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Failure.h"
#include "settings/SettingsStore.h"

#include <QHash>

// An in-memory settings store whose writes can be made to fail.
class MemorySettingsStore : public SettingsStore
{
public:
    QString GetSetting(const QString &application, const QString &section, const QString &key,
                       const QString &defaultValue) override
    {
        return values.value(application + u'/' + section + u'/' + key, defaultValue);
    }
    void SaveSetting(const QString &application, const QString &section, const QString &key,
                     const QString &value) override
    {
        ++writes;
        if (failWrites)
            throw Failure(QStringLiteral("磁盘已满"));
        values.insert(application + u'/' + section + u'/' + key, value);
    }
    QString location(const QString &application) const override { return QStringLiteral("memory:") + application; }
    QString setAsideIfDamaged(const QString &) override
    {
        // The values are taken to be what is left once the damaged ones are set aside.
        if (!damaged)
            return {};
        damaged = false;
        return QStringLiteral("memory:damaged");
    }
    void checkWritable(const QString &application) override
    {
        if (failWrites)
            throw Failure(QStringLiteral("无法在设置文件夹 %1 中保存设置。").arg(location(application)));
    }

    // A store of a user who has already had the first run.
    static MemorySettingsStore afterFirstRun()
    {
        MemorySettingsStore store;
        store.values.insert(QStringLiteral("Quenlor/Sayrella/RunTimes"), QStringLiteral("1"));
        return store;
    }

    QString voiceChoice() const { return values.value(QStringLiteral("Quenlor/Sayrella/DEF_LG")); }
    void setVoiceChoice(const QString &value) { values.insert(QStringLiteral("Quenlor/Sayrella/DEF_LG"), value); }

    QHash<QString, QString> values;
    bool failWrites = false;
    bool damaged = false; // setAsideIfDamaged finds the values unreadable
    int writes = 0;
};
