// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

struct zip;

// A zip container (EPUB, DOCX and ODT are ones), read through libzip.
// Every failure throws Failure with a reason for the user. What is unpacked
// counts against one budget for the whole document, so an archive that
// unpacks to gigabytes is refused part-way rather than filling memory.
class ZipArchive
{
public:
    // Throws Failure when the file is no readable zip archive.
    explicit ZipArchive(const QString &path, qint64 unpackBudget);
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    bool contains(const QString &name) const;
    // The size the archive claims for the entry (-1 when missing): a hint,
    // not trusted by read().
    qint64 claimedSize(const QString &name) const;
    // The entry's bytes. Throws Failure when it is missing, encrypted,
    // damaged, or would exceed the budget.
    QByteArray read(const QString &name);

private:
    zip *m_zip = nullptr;
    qint64 m_budget; // what may still be unpacked
    const qint64 m_limit; // what could be, in all
};
