#include "settings/IniSettingsStore.h"

#include "platform/Failure.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

IniSettingsStore::IniSettingsStore(QString folder) : m_folder(std::move(folder))
{
    if (m_folder.isEmpty())
        m_folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString IniSettingsStore::location(const QString &application) const
{
    return QDir(m_folder).filePath(application + QStringLiteral(".ini"));
}

QString IniSettingsStore::GetSetting(const QString &application, const QString &section, const QString &key,
                                     const QString &defaultValue)
{
    QSettings settings(location(application), QSettings::IniFormat);
    settings.beginGroup(section);
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return defaultValue;
    // A hand-edited value with commas reads back as a list; keep it as the text it was.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

void IniSettingsStore::SaveSetting(const QString &application, const QString &section, const QString &key,
                                   const QString &value)
{
    const QString path = location(application);
    if (!QDir().mkpath(m_folder))
        throw Failure(QStringLiteral("无法创建设置文件夹 %1。").arg(m_folder));
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(section);
    settings.setValue(key, value);
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw Failure(QStringLiteral("无法把 %1 的值“%2”写入设置文件 (%3)。").arg(key, value, path));
}
