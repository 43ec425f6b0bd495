// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/SafeOutput.h"

#include "platform/Failure.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

} // namespace

SafeOutput::SafeOutput(const QString &target) : m_target(target)
{
    const QFileInfo info(target);
    QByteArray pattern = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()) + ".XXXXXX";
    m_fd = mkstemp(pattern.data());
    if (m_fd < 0)
        throw Failure(QStringLiteral("无法在文件夹 %1 中写入：%2。").arg(info.absolutePath(), systemError()));
    fchmod(m_fd, 0644);
    m_temporary = QFile::decodeName(pattern);
}

SafeOutput::~SafeOutput()
{
    if (m_fd >= 0)
        close(m_fd);
    if (!m_committed)
        QFile::remove(m_temporary);
}

void SafeOutput::commit()
{
    // Nothing is renamed over the target before it is really on the disk.
    if (fsync(m_fd) != 0 || close(m_fd) != 0) {
        m_fd = -1;
        throw Failure(QStringLiteral("写入 %1 时出错：%2。").arg(m_target, systemError()));
    }
    m_fd = -1;
    if (std::rename(QFile::encodeName(m_temporary).constData(), QFile::encodeName(m_target).constData()) != 0)
        throw Failure(QStringLiteral("无法保存为 %1：%2。").arg(m_target, systemError()));
    m_committed = true;
}
