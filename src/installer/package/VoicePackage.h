// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The voice package file ("msc"): a short text header naming each entry with
// its size and SHA-256, then the entries' bytes one after another. The format
// is described in docs/voice-package-format.md.
namespace VoicePackage {

constexpr const char *Marker = "SAYRELLA-VOICE-PACKAGE";
constexpr int FormatVersion = 1;
// Far above any voice definition; a package claiming more is not ours.
constexpr qint64 MaxEntrySize = 1 << 20;
constexpr int MaxEntries = 64;

struct Entry
{
    QString name; // a plain file name: letters, digits, '.', '_', '-'; no folders
    QByteArray data;
};

struct Package
{
    QString version; // the package's own version, e.g. "1.0.0"
    QList<Entry> entries;
};

QByteArray write(const Package &package);

// Parses and checks a whole package. Returns false with a reason when the
// bytes are not a complete, intact package of this format.
bool read(const QByteArray &bytes, Package *package, QString *reason);

// A name that stays inside the folder it is installed into.
bool isSafeEntryName(const QString &name);

} // namespace VoicePackage
