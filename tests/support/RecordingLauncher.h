// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Failure.h"
#include "platform/ProcessLauncher.h"

#include <QStringList>

// Records the programs it is asked to start; can be told to fail.
class RecordingLauncher : public ProcessLauncher
{
public:
    void Shell(const QString &programPath, int windowStyle) override
    {
        started << programPath;
        styles << windowStyle;
        if (fail)
            throw Failure(QStringLiteral("cannot start"));
    }
    QStringList started;
    QList<int> styles;
    bool fail = false;
};
