// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/IniSettingsStore.h"

#include "platform/Failure.h"
#include "settings/IniFileCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
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

namespace {

Failure damagedFile(const QString &path, const QString &why)
{
    return Failure(QStringLiteral("设置文件 %1 已损坏（%2）。").arg(path, why));
}

} // namespace

QString IniSettingsStore::setAsideIfDamaged(const QString &application)
{
    const QString path = location(application);
    if (IniFileCheck::damage(path).isEmpty())
        return {};
    // Kept, not deleted: the person may want what was in it.
    QString kept = path + QStringLiteral(".damaged");
    for (int n = 1; QFileInfo::exists(kept) || QFileInfo(kept).isSymLink(); ++n)
        kept = path + QStringLiteral(".damaged.%1").arg(n);
    if (!QFile::rename(path, kept))
        throw Failure(QStringLiteral("设置文件 %1 已损坏，且无法把它改名保存。").arg(path));
    return kept;
}

void IniSettingsStore::checkWritable(const QString &)
{
    QTemporaryFile probe(QDir(m_folder).filePath(QStringLiteral(".write-check-XXXXXX")));
    if (!QDir().mkpath(m_folder) || !probe.open())
        throw Failure(QStringLiteral("无法在设置文件夹 %1 中保存设置。").arg(m_folder));
}

QString IniSettingsStore::GetSetting(const QString &application, const QString &section, const QString &key,
                                     const QString &defaultValue)
{
    // Checked on every read, so a file damaged while the program runs is
    // never handed to QSettings (which takes minutes over a huge value).
    const QString path = location(application);
    if (const QString why = IniFileCheck::damage(path); !why.isEmpty())
        throw damagedFile(path, why);
    QSettings settings(path, QSettings::IniFormat);
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
    // Writing would keep only what QSettings made of a damaged file.
    if (const QString why = IniFileCheck::damage(path); !why.isEmpty())
        throw damagedFile(path, why);
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(section);
    settings.setValue(key, value);
    settings.endGroup();
    settings.sync();
    // QSettings also reports a byte-order mark at the start of the old file
    // as a format error, after writing fine: what counts is that the file now
    // holds the value.
    const bool written = settings.status() == QSettings::NoError
        || (settings.status() == QSettings::FormatError
            && QSettings(path, QSettings::IniFormat).value(section + u'/' + key).toString() == value);
    if (!written)
        throw Failure(QStringLiteral("无法把 %1 的值“%2”写入设置文件 (%3)。").arg(key, value, path));
}
