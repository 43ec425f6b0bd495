// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <memory>

// File operations in the shape the installer steps use them. Every failure
// throws Failure with a description.
class FileSystem
{
public:
    virtual ~FileSystem() = default;

    enum SpecialFolder { SystemFolder = 1, TemporaryFolder = 2 };
    // The folder's full path, as the platform gives it.
    virtual QString GetSpecialFolder(int folder) = 0;
    // The folder of the running program.
    virtual QString ProgramFolder() = 0;
    virtual void CopyFile(const QString &source, const QString &destination, bool overwrite) = 0;
    // Without force, a read-only file is not deleted: that is a failure.
    virtual void DeleteFile(const QString &path, bool force) = 0;
};

// A started program that can be waited for.
class RunningProcess
{
public:
    virtual ~RunningProcess() = default;
    // Blocks, with no time-out, until the program has ended; returns its exit
    // status. Throws Failure when the program cannot be waited for or did
    // not end normally.
    virtual int Wait() = 0;
};

class ProcessRunner
{
public:
    virtual ~ProcessRunner() = default;
    // Starts program with arguments, each handed over as one argument (no
    // shell, no command line to split). Throws Failure when it cannot start.
    virtual std::unique_ptr<RunningProcess> Start(const QString &program, const QStringList &arguments,
                                                  int windowStyle) = 0;
};
