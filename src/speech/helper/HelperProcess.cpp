// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/helper/HelperProcess.h"

#include "platform/Failure.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

constexpr int ChildChannelFd = 3;

} // namespace

void HelperProcess::start(const QString &program, const QStringList &arguments, int sendBufferBytes)
{
    end(0);
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        throw Failure(QStringLiteral("无法为语音合成程序建立通道：%1。").arg(QString::fromLocal8Bit(strerror(errno))));
    // The send buffer on the helper's end sets how far it may run ahead of
    // what the reader has taken (the system may cap it).
    setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &sendBufferBytes, sizeof sendBufferBytes);
    // Keep the child's end off descriptor 3 here, so that the dup2 below
    // always makes a fresh, inheritable descriptor 3.
    int child = fds[1];
    if (child <= ChildChannelFd) {
        child = fcntl(fds[1], F_DUPFD_CLOEXEC, 10);
        close(fds[1]);
    }

    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> storage{path};
    for (const QString &argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, child, ChildChannelFd);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    // Nothing of the reader's but the channel: not its terminal (whose input
    // a helper could type into), nor a log file, where the helper's file-size
    // cap of 0 would kill it at the engine's first warning.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A session of its own: no controlling terminal, out of the reader's
    // process group (a Ctrl+C in the terminal is the reader's to handle).
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, path.constData(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(child);
    if (error != 0) {
        close(fds[0]);
        throw Failure(
            QStringLiteral("无法启动语音合成程序“%1”：%2。").arg(program, QString::fromLocal8Bit(strerror(error))),
            Failure::Reason::EngineFailed);
    }
    m_pid = pid;
    m_fd = fds[0];
}

QString HelperProcess::end(int graceMs)
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (m_pid <= 0)
        return {};
    int status = 0;
    // A helper whose channel closed is usually a moment from being reaped;
    // give it that moment, so that the signal that ended it is the one reported.
    pid_t reaped = 0;
    for (int waited = 0; (reaped = waitpid(m_pid, &status, WNOHANG)) == 0 && waited < graceMs; waited += 5)
        usleep(5000);
    // One that has not ended by itself by now is not wanted any more.
    if (reaped == 0) {
        kill(m_pid, SIGKILL);
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) { }
    }
    m_pid = -1;
    if (WIFSIGNALED(status))
        return QStringLiteral("语音合成进程因信号 %1（%2）而终止。")
            .arg(WTERMSIG(status))
            .arg(QString::fromLocal8Bit(strsignal(WTERMSIG(status))));
    return QStringLiteral("语音合成进程已退出（状态 %1）。").arg(WEXITSTATUS(status));
}
