// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ProcessLauncher.h"

// The program runs on by itself: it is started detached, and its path is one
// program path, never a command line.
class DetachedProcessLauncher : public ProcessLauncher
{
public:
    void Shell(const QString &programPath, int windowStyle) override;
};

class LocalFileSearch : public FileSearch
{
public:
    QString Dir(const QString &path) override;
};
