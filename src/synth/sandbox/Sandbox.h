// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayList>

// Confines the calling process for good: no sockets, no files opened for
// writing or created, no programs started, no processes forked; its memory,
// CPU time and file size are capped; and where the kernel has Landlock, it
// may read files only below readableFolders. Called by the synthesis helper
// once libespeak-ng has loaded, so that text which drives the engine into
// its bugs can at worst end the helper.
namespace Sandbox {

struct Report
{
    bool seccomp = false;
    int landlockAbi = 0; // 0: the kernel offers no Landlock; the other rules still hold
};

// Throws nothing; a rule the kernel refuses leaves report fields false/0.
Report confine(const QByteArrayList &readableFolders);

} // namespace Sandbox
