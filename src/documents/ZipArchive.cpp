// SPDX-License-Identifier: GPL-3.0-or-later
#include "documents/ZipArchive.h"

#include "platform/Failure.h"

#include <QFile>

#include <zip.h>

ZipArchive::ZipArchive(const QString &path, qint64 unpackBudget) : m_budget(unpackBudget), m_limit(unpackBudget)
{
    int error = 0;
    m_zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!m_zip)
        throw Failure(QStringLiteral("压缩结构已损坏，无法打开。"));
}

ZipArchive::~ZipArchive()
{
    if (m_zip)
        zip_discard(m_zip);
}

bool ZipArchive::contains(const QString &name) const
{
    return zip_name_locate(m_zip, name.toUtf8().constData(), 0) >= 0;
}

qint64 ZipArchive::claimedSize(const QString &name) const
{
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat(m_zip, name.toUtf8().constData(), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE))
        return -1;
    return qint64(stat.size);
}

QByteArray ZipArchive::read(const QString &name)
{
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat(m_zip, name.toUtf8().constData(), 0, &stat) != 0)
        throw Failure(QStringLiteral("缺少其中的 %1。").arg(name));
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
        throw Failure(QStringLiteral("文档已加密，无法读取。"));
    zip_file_t *file = zip_fopen_index(m_zip, stat.index, 0);
    if (!file)
        throw Failure(QStringLiteral("其中的 %1 已损坏。").arg(name));
    // The size the archive claims is not trusted: reading stops at the budget.
    QByteArray bytes;
    char buffer[65536];
    zip_int64_t n = 0;
    while ((n = zip_fread(file, buffer, sizeof buffer)) > 0) {
        m_budget -= n;
        if (m_budget < 0) {
            zip_fclose(file);
            throw Failure(
                QStringLiteral("解压后的内容过大（超过 %1 MB），已拒绝。").arg(m_limit >> 20));
        }
        bytes.append(buffer, qsizetype(n));
    }
    const bool damaged = n < 0;
    zip_fclose(file);
    if (damaged)
        throw Failure(QStringLiteral("其中的 %1 已损坏。").arg(name));
    return bytes;
}
