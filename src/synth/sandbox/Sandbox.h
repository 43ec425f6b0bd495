// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayList>

// Confines the calling process for good: no sockets, no files opened for
// writing or created, no programs started, no processes forked, no signals
// or terminal input for anyone else, no memory made executable; its memory,
// CPU time and file size are capped; and where the kernel has Landlock, it
// may read files only below readableFolders.
//
// Landlock and no-new-privileges bind the calling thread and the threads it
// starts afterwards, not threads that already run; so the helper confines
// itself while it still has one thread, before libespeak-ng starts its own.
// The seccomp filter is synchronised onto every thread regardless.
namespace Sandbox {

struct Report
{
    bool seccomp = false;
    int landlockAbi = 0; // 0: the kernel offers no Landlock; the other rules still hold
    bool signalsScoped = false; // Landlock keeps signals within the helper (ABI 6)
    int threadsBefore = 0; // threads of the process when it was confined; 0 if unknown

    // Every thread of the process is under every rule the kernel offers.
    bool complete() const { return seccomp && threadsBefore == 1; }
};

// How many threads this process has now (from /proc); 0 when unknown.
int threadCount();

// Throws nothing; a rule the kernel refuses leaves report fields false/0.
Report confine(const QByteArrayList &readableFolders);

// The system-call filter of confine() on its own (with no-new-privileges,
// which it needs): every thread, for good. False when the kernel refused it.
bool filterSystemCalls();

} // namespace Sandbox
