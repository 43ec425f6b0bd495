// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Starts a program by its path, without a shell and without waiting for it.
// Throws Failure when it cannot be started.
class ProcessLauncher
{
public:
    virtual ~ProcessLauncher() = default;
    virtual void Shell(const QString &programPath, int windowStyle) = 0;
};

// Looks for one ordinary file (not hidden, not a folder); returns its name,
// or the empty text when there is none.
class FileSearch
{
public:
    virtual ~FileSearch() = default;
    virtual QString Dir(const QString &path) = 0;
};
