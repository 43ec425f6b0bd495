// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Registry.h"

#include <QHash>
#include <QMap>

// The registry on Linux: a read-only, machine-wide hive file installed with
// the program, in the text form of a registry export:
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSINFO]
//   "PATH"="/usr/bin/hardinfo"          a string, stored with its terminating zero
//   "Count"=dword:0000000a              a 32-bit number, stored little-endian
//   "Raw"=hex(2):41,00                  any type, the bytes as stored
//
// Key and value names compare without regard to case, as in the registry.
// It answers only what the file holds; opening a key for more than reading
// is refused, as for a user who may not change machine settings. The file is
// read when a key is first opened; one larger than MaxHiveBytes reads as empty.
class HiveRegistry : public Registry
{
public:
    explicit HiveRegistry(const QString &hiveFile);

    static constexpr qint64 MaxHiveBytes = 1 << 20;

    long RegOpenKeyEx(HKEY root, const QString &subKey, quint32 options, quint32 access, HKEY *result) override;
    long RegQueryValueEx(HKEY key, const QString &valueName, quint32 *type, QByteArray *data, quint32 *size) override;
    long RegCloseKey(HKEY key) override;

    // Where the program's hive is: beside the program in a build tree,
    // <prefix>/share/sayrella/ when installed.
    static QString installedHive();

private:
    void load();

    struct Value
    {
        quint32 type = 0;
        QByteArray bytes;
    };
    using Key = QHash<QString, Value>; // by lower-case value name

    QString m_hiveFile;
    bool m_loaded = false;
    QHash<QString, Key> m_keys; // by lower-case full path
    QMap<HKEY, QString> m_open;
    HKEY m_nextHandle = 0x100;
};
