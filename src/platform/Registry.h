// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// A read interface in the shape of the Windows registry: open a key below a
// root, query one value (type and raw bytes), close. Results are the
// registry's own codes, 0 meaning success.
using HKEY = std::uintptr_t;

namespace RegistryCodes {
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;
constexpr long ERROR_SUCCESS = 0;
constexpr long ERROR_FILE_NOT_FOUND = 2;
constexpr long ERROR_ACCESS_DENIED = 5;
constexpr long ERROR_INVALID_HANDLE = 6;
constexpr long ERROR_MORE_DATA = 234;
constexpr quint32 KEY_QUERY_VALUE = 0x0001;
constexpr quint32 KEY_READ = 0x20019;
constexpr quint32 KEY_ALL_ACCESS = 0xF003F;
constexpr quint32 REG_NONE = 0;
constexpr quint32 REG_SZ = 1;
constexpr quint32 REG_EXPAND_SZ = 2;
constexpr quint32 REG_BINARY = 3;
constexpr quint32 REG_DWORD = 4;
} // namespace RegistryCodes

class Registry
{
public:
    virtual ~Registry() = default;

    virtual long RegOpenKeyEx(HKEY root, const QString &subKey, quint32 options, quint32 access, HKEY *result) = 0;
    // *size goes in as the buffer's capacity and comes back as the bytes
    // stored; a value larger than the capacity gives ERROR_MORE_DATA.
    virtual long RegQueryValueEx(HKEY key, const QString &valueName, quint32 *type, QByteArray *data,
                                 quint32 *size) = 0;
    virtual long RegCloseKey(HKEY key) = 0;
};
