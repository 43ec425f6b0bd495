// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/HiveRegistry.h"

#include "platform/paths/ProgramFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

using namespace RegistryCodes;

namespace {

QString rootName(HKEY root)
{
    switch (root) {
    case HKEY_LOCAL_MACHINE:
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    default:
        return {};
    }
}

// "text" with \\ and \" escapes; returns false when the quotes do not close.
bool unquote(QStringView in, QString *out, qsizetype *consumed)
{
    if (!in.startsWith(u'"'))
        return false;
    out->clear();
    for (qsizetype i = 1; i < in.size(); ++i) {
        if (in[i] == u'\\' && i + 1 < in.size()) {
            out->append(in[++i]);
        } else if (in[i] == u'"') {
            *consumed = i + 1;
            return true;
        } else {
            out->append(in[i]);
        }
    }
    return false;
}

} // namespace

HiveRegistry::HiveRegistry(const QString &hiveFile) : m_hiveFile(hiveFile) { }

// Read when a key is first asked for (the About box's launcher), not at
// start-up, and only when of a sensible size: a huge hive costs seconds and
// gigabytes, and holds nothing the program needs. Too large reads as absent.
void HiveRegistry::load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    QFile file(m_hiveFile);
    if (file.size() > MaxHiveBytes || !file.open(QIODevice::ReadOnly))
        return; // no hive: every key is missing
    QString current;
    for (const QString &raw : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            current = line.mid(1, line.size() - 2).toLower();
            m_keys[current];
            continue;
        }
        QString name;
        qsizetype used = 0;
        if (current.isEmpty() || !unquote(line, &name, &used) || line.mid(used, 1) != u"=")
            continue;
        const QString data = line.mid(used + 1);
        Value value;
        QString text;
        qsizetype textUsed = 0;
        bool ok = true;
        if (unquote(data, &text, &textUsed)) {
            value.type = REG_SZ;
            value.bytes = text.toUtf8() + QByteArray(1, '\0');
        } else if (data.startsWith(u"dword:")) {
            const quint32 number = data.mid(6).toUInt(&ok, 16);
            value.type = REG_DWORD;
            for (int i = 0; i < 4; ++i)
                value.bytes.append(char((number >> (8 * i)) & 0xff));
        } else if (data.startsWith(u"hex")) {
            const qsizetype colon = data.indexOf(u':');
            const QString kind = data.left(colon);
            value.type = kind == u"hex" ? REG_BINARY : kind.mid(4, kind.size() - 5).toUInt(&ok, 16);
            for (const QString &byte : data.mid(colon + 1).split(u',', Qt::SkipEmptyParts)) {
                bool byteOk = false;
                value.bytes.append(char(byte.trimmed().toUInt(&byteOk, 16)));
                ok = ok && byteOk;
            }
        } else {
            ok = false;
        }
        if (ok)
            m_keys[current].insert(name.toLower(), value);
    }
}

QString HiveRegistry::installedHive() { return ProgramFiles::data(QStringLiteral("machine.reg")); }

long HiveRegistry::RegOpenKeyEx(HKEY root, const QString &subKey, quint32, quint32 access, HKEY *result)
{
    *result = 0;
    load();
    const QString rootPath = rootName(root);
    if (rootPath.isEmpty())
        return ERROR_INVALID_HANDLE;
    const QString path = (rootPath + u'\\' + subKey).toLower();
    if (!m_keys.contains(path))
        return ERROR_FILE_NOT_FOUND;
    if (access & ~KEY_READ)
        return ERROR_ACCESS_DENIED; // the machine hive is read-only
    *result = m_nextHandle++;
    m_open.insert(*result, path);
    return ERROR_SUCCESS;
}

long HiveRegistry::RegQueryValueEx(HKEY key, const QString &valueName, quint32 *type, QByteArray *data, quint32 *size)
{
    const auto open = m_open.constFind(key);
    if (open == m_open.cend())
        return ERROR_INVALID_HANDLE;
    const Key &values = m_keys[*open];
    const auto found = values.constFind(valueName.toLower());
    if (found == values.cend())
        return ERROR_FILE_NOT_FOUND;
    const quint32 capacity = *size;
    *size = quint32(found->bytes.size());
    *type = found->type;
    if (found->bytes.size() > qsizetype(capacity))
        return ERROR_MORE_DATA;
    *data = found->bytes;
    return ERROR_SUCCESS;
}

long HiveRegistry::RegCloseKey(HKEY key) { return m_open.remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE; }
