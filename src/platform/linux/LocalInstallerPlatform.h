// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/InstallerPlatform.h"

// The system folder on Linux is where this program's installer stand-in
// (msiexec) lives, the program folder where its voice package is (see
// ProgramFiles).
class LocalFileSystem : public FileSystem
{
public:
    QString GetSpecialFolder(int folder) override;
    QString ProgramFolder() override;
    void CopyFile(const QString &source, const QString &destination, bool overwrite) override;
    void DeleteFile(const QString &path, bool force) override;
};

class LocalProcessRunner : public ProcessRunner
{
public:
    std::unique_ptr<RunningProcess> Start(const QString &program, const QStringList &arguments,
                                          int windowStyle) override;
};
