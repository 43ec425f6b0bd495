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
    int writes = 0;
};
