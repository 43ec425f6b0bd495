// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/LocalInstallerPlatform.h"

#include "platform/Failure.h"
#include "platform/paths/ProgramFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

QString LocalFileSystem::GetSpecialFolder(int folder)
{
    switch (folder) {
    case TemporaryFolder:
        return QDir::tempPath();
    case SystemFolder:
        return ProgramFiles::helperFolder();
    default:
        throw Failure(QStringLiteral("未知的特殊文件夹 %1。").arg(folder));
    }
}

// The folder the program's own files were installed to: on Linux its data
// folder, where the voice package is.
QString LocalFileSystem::ProgramFolder() { return ProgramFiles::dataFolder(); }

void LocalFileSystem::CopyFile(const QString &source, const QString &destination, bool overwrite)
{
    QFile from(source);
    if (!from.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("找不到或无法读取文件“%1”。").arg(source));
    const QFileInfo target(destination);
    if (target.exists()) {
        if (!overwrite)
            throw Failure(QStringLiteral("文件“%1”已经存在。").arg(destination));
        if (!target.isFile() || !(target.permissions() & QFile::WriteOwner))
            throw Failure(QStringLiteral("无法替换文件“%1”（只读或不是文件）。").arg(destination));
    }
    // Written beside the destination, then renamed over it: never half a copy.
    const QString partial = destination + QStringLiteral(".part");
    QFile::remove(partial);
    if (!from.copy(partial)) {
        QFile::remove(partial);
        throw Failure(QStringLiteral("无法把“%1”复制到“%2”：%3").arg(source, destination, from.errorString()));
    }
    QFile::remove(destination);
    if (!QFile::rename(partial, destination)) {
        QFile::remove(partial);
        throw Failure(QStringLiteral("无法写入文件“%1”。").arg(destination));
    }
}

void LocalFileSystem::DeleteFile(const QString &path, bool force)
{
    const QFileInfo file(path);
    if (!file.exists() && !file.isSymLink())
        throw Failure(QStringLiteral("找不到要删除的文件“%1”。").arg(path));
    if (!force && !(file.permissions() & QFile::WriteOwner))
        throw Failure(QStringLiteral("文件“%1”是只读的，没有删除。").arg(path));
    if (!QFile::remove(path))
        throw Failure(QStringLiteral("无法删除文件“%1”。").arg(path));
}

namespace {

class LocalRunningProcess : public RunningProcess
{
public:
    explicit LocalRunningProcess(std::unique_ptr<QProcess> process) : m_process(std::move(process)) { }

    int Wait() override
    {
        if (!m_process->waitForFinished(-1) && m_process->state() != QProcess::NotRunning)
            throw Failure(QStringLiteral("无法等待程序“%1”结束。").arg(m_process->program()));
        if (m_process->exitStatus() != QProcess::NormalExit)
            throw Failure(QStringLiteral("程序“%1”异常终止。").arg(m_process->program()));
        return m_process->exitCode();
    }

private:
    std::unique_ptr<QProcess> m_process;
};

} // namespace

std::unique_ptr<RunningProcess> LocalProcessRunner::Start(const QString &program, const QStringList &arguments, int)
{
    auto process = std::make_unique<QProcess>();
    // The installer's own messages go where ours go; nothing is read back.
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setInputChannelMode(QProcess::ForwardedInputChannel);
    process->start(program, arguments);
    if (!process->waitForStarted(-1))
        throw Failure(QStringLiteral("无法启动程序“%1”：%2").arg(program, process->errorString()));
    return std::make_unique<LocalRunningProcess>(std::move(process));
}
