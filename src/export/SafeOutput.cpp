// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/SafeOutput.h"

#include "platform/Failure.h"

#include <QFile>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace {

QString systemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

} // namespace

namespace {

// Only files of our own naming are ever removed: ".NAME.EXT.XXXXXX", where
// EXT is one the program writes and XXXXXX is mkstemp's.
bool isOurTemporary(const QString &name)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\..+\\.(wav|flac|ogg|opus|mp3|lrc|srt)\\.[A-Za-z0-9]{6}$"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern.match(name).hasMatch();
}

// A temporary this young may belong to a writer between creating it and
// locking it.
constexpr int StaleAfterSeconds = 60;

} // namespace

bool SafeOutput::entryExists(const QString &path)
{
    struct stat status;
    return lstat(QFile::encodeName(path).constData(), &status) == 0;
}

int SafeOutput::removeStaleTemporaries(const QString &folder)
{
    int removed = 0;
    const QDir dir(folder);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QFileInfo &entry : dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
        if (!isOurTemporary(entry.fileName()) || entry.lastModified().secsTo(now) < StaleAfterSeconds)
            continue;
        const QByteArray path = QFile::encodeName(entry.filePath());
        const int fd = open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        // Locked: a save is writing it right now.
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && unlink(path.constData()) == 0)
            ++removed;
        close(fd);
    }
    return removed;
}

SafeOutput::SafeOutput(const QString &target) : m_target(target)
{
    const QFileInfo info(target);
    removeStaleTemporaries(info.absolutePath());
    QByteArray pattern = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()) + ".XXXXXX";
    m_fd = mkstemp(pattern.data());
    if (m_fd < 0)
        throw Failure(QStringLiteral("无法在文件夹 %1 中写入：%2。").arg(info.absolutePath(), systemError()),
                      Failure::Reason::FileUnwritable);
    flock(m_fd, LOCK_EX); // ours while this process lives: see removeStaleTemporaries()
    // A file that replaces another keeps its permissions (a private file
    // stays private); a new one is readable by all, as saved files are.
    struct stat existing;
    const bool replaces = stat(QFile::encodeName(target).constData(), &existing) == 0 && S_ISREG(existing.st_mode);
    fchmod(m_fd, replaces ? (existing.st_mode & 07777) : 0644);
    m_temporary = QFile::decodeName(pattern);
}

SafeOutput::~SafeOutput()
{
    awaitEarlyFlush(); // it flushes m_fd
    if (m_fd >= 0)
        close(m_fd);
    if (!m_committed)
        QFile::remove(m_temporary);
}

Failure SafeOutput::writeFailure(const QString &target, int error)
{
    const QString why = error == ENOSPC ? QStringLiteral("磁盘已满") : QString::fromLocal8Bit(std::strerror(error));
    return Failure(QStringLiteral("写入 %1 时出错：%2。").arg(target, why), Failure::Reason::FileUnwritable);
}

void SafeOutput::startWriteback()
{
    // One at a time: a flush still running has more to confirm when it ends.
    if (m_earlyFlush.valid() && m_earlyFlush.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    awaitEarlyFlush();
    m_earlyFlush = std::async(std::launch::async, [fd = m_fd] { return fdatasync(fd) == 0 ? 0 : errno; });
}

void SafeOutput::awaitEarlyFlush()
{
    // Linux reports a failed write-back to one flush of a file description
    // only: an error an early flush saw is the save's, even if commit()'s
    // own flush then says nothing.
    if (m_earlyFlush.valid())
        if (const int error = m_earlyFlush.get(); error != 0 && m_earlyFlushError == 0)
            m_earlyFlushError = error;
}

void SafeOutput::commit()
{
    // Nothing is renamed over the target before it is really on the disk.
    awaitEarlyFlush();
    int error = m_earlyFlushError;
    if (error == 0 && fsync(m_fd) != 0)
        error = errno;
    // Closed whatever happened: a failed save keeps no descriptor open.
    if (close(std::exchange(m_fd, -1)) != 0 && error == 0)
        error = errno;
    if (error != 0)
        throw writeFailure(m_target, error);
    if (std::rename(QFile::encodeName(m_temporary).constData(), QFile::encodeName(m_target).constData()) != 0)
        throw Failure(QStringLiteral("无法保存为 %1：%2。").arg(m_target, systemError()),
                      Failure::Reason::FileUnwritable);
    m_committed = true;
    // The rename itself is on the disk only once the folder is.
    const int folder =
        open(QFile::encodeName(QFileInfo(m_target).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
}
