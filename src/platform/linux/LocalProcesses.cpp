// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/LocalProcesses.h"

#include "platform/Failure.h"

#include <QFileInfo>
#include <QProcess>

void DetachedProcessLauncher::Shell(const QString &programPath, int)
{
    // Window styles have no meaning for X11 programs; each opens its own window.
    const QFileInfo program(programPath);
    if (programPath.isEmpty() || !program.isFile() || !program.isExecutable())
        throw Failure(QStringLiteral("找不到可以运行的程序“%1”。").arg(programPath));
    if (!QProcess::startDetached(programPath, {}))
        throw Failure(QStringLiteral("无法启动程序“%1”。").arg(programPath));
}

QString LocalFileSearch::Dir(const QString &path)
{
    const QFileInfo file(path);
    if (!file.exists() || !file.isFile() || file.isHidden())
        return {};
    return file.fileName();
}
