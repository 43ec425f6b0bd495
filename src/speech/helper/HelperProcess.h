// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

// One running synthesis helper: the process and our end of its socket pair.
// Started without a shell; the helper sees its end as descriptor 3 and
// nothing else of ours.
class HelperProcess
{
public:
    HelperProcess() = default;
    HelperProcess(const HelperProcess &) = delete;
    HelperProcess &operator=(const HelperProcess &) = delete;
    ~HelperProcess() { end(0); }

    // Throws Failure when the program cannot be started.
    void start(const QString &program, const QStringList &arguments, int sendBufferBytes);
    // Kills it if it is still running after graceMs, reaps it, and says how it ended.
    QString end(int graceMs);

    bool running() const { return m_pid > 0; }
    int fd() const { return m_fd; }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_fd = -1;
};
