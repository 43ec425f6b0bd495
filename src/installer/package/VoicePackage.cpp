// SPDX-License-Identifier: GPL-3.0-or-later
#include "installer/package/VoicePackage.h"

#include <algorithm>

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QSet>

namespace VoicePackage {

namespace {

QByteArray sha256(const QByteArray &data) { return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex(); }

constexpr qsizetype MaxHeaderSize = 64 * 1024;

} // namespace

bool isSafeEntryName(const QString &name)
{
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9._-]{0,63}$"));
    return safe.match(name).hasMatch() && name != u"." && !name.contains(QStringLiteral(".."));
}

QByteArray write(const Package &package)
{
    QByteArray header = QByteArray(Marker) + ' ' + QByteArray::number(FormatVersion) + '\n';
    header += "version " + package.version.toUtf8() + '\n';
    QByteArray payload;
    for (const Entry &entry : package.entries) {
        header += "entry " + entry.name.toUtf8() + ' ' + QByteArray::number(entry.data.size()) + ' '
            + sha256(entry.data) + '\n';
        payload += entry.data;
    }
    header += "end\n";
    return header + payload;
}

bool read(const QByteArray &bytes, Package *package, QString *reason)
{
    const auto fail = [reason](const QString &why) {
        *reason = why;
        return false;
    };
    const qsizetype headerEnd = bytes.indexOf("\nend\n");
    if (headerEnd < 0 || headerEnd > MaxHeaderSize)
        return fail(QStringLiteral("no package header (empty, truncated or not a voice package)"));
    const QList<QByteArray> lines = bytes.left(headerEnd).split('\n');
    if (lines.isEmpty() || lines[0] != QByteArray(Marker) + ' ' + QByteArray::number(FormatVersion))
        return fail(QStringLiteral("not a voice package of format %1").arg(FormatVersion));
    if (lines.size() < 2 || !lines[1].startsWith("version ") || lines[1].size() > 40)
        return fail(QStringLiteral("the package has no version"));
    package->version = QString::fromUtf8(lines[1].mid(8));
    package->entries.clear();

    qsizetype offset = headerEnd + 5;
    QSet<QString> names;
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split(' ');
        if (fields.size() != 4 || fields[0] != "entry")
            return fail(QStringLiteral("damaged header line %1").arg(i + 1));
        const QString name = QString::fromUtf8(fields[1]);
        if (!isSafeEntryName(name))
            return fail(QStringLiteral("entry name \"%1\" would leave the voice folder").arg(name));
        if (names.contains(name))
            return fail(QStringLiteral("entry \"%1\" appears twice").arg(name));
        names.insert(name);
        // Sizes are plain decimal digits: no sign, blank, or other base.
        const bool digits = !fields[2].isEmpty() && fields[2].size() <= 18
            && std::all_of(fields[2].begin(), fields[2].end(), [](char c) { return c >= '0' && c <= '9'; });
        bool ok = false;
        const qint64 size = digits ? fields[2].toLongLong(&ok) : -1;
        if (!ok || size < 0 || size > MaxEntrySize)
            return fail(QStringLiteral("entry \"%1\" has an impossible size").arg(name));
        if (package->entries.size() >= MaxEntries)
            return fail(QStringLiteral("too many entries"));
        if (offset + size > bytes.size())
            return fail(QStringLiteral("the package is truncated"));
        Entry entry{name, bytes.mid(offset, size)};
        if (sha256(entry.data) != fields[3])
            return fail(QStringLiteral("entry \"%1\" is corrupted (checksum mismatch)").arg(name));
        offset += size;
        package->entries.append(entry);
    }
    if (offset != bytes.size())
        return fail(QStringLiteral("the package has %1 stray bytes at its end").arg(bytes.size() - offset));
    if (package->entries.isEmpty())
        return fail(QStringLiteral("the package holds no voice"));
    return true;
}

} // namespace VoicePackage
