// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Failure.h"

#include <QString>

#include <future>

// A file written beside its target under a temporary name and renamed over
// it only when complete: a cancel, a failure, a full disk or a killed process
// never leave a partial file under the target's name, and an existing file of
// that name stays as it was until the new one is whole. A writer holds a
// lock on its temporary, so that one left behind by a killed process can be
// told from one still being written, and is cleared by the next save there.
class SafeOutput
{
public:
    // Throws Failure when the target's folder cannot take a file.
    explicit SafeOutput(const QString &target);
    ~SafeOutput(); // removes the temporary file unless committed
    SafeOutput(const SafeOutput &) = delete;
    SafeOutput &operator=(const SafeOutput &) = delete;

    int fd() const { return m_fd; }
    const QString &target() const { return m_target; }
    // Flushes to disk and renames into place. Throws Failure.
    void commit();
    // Starts putting what has been written so far on the disk, on a thread
    // of its own while the writer goes on: the flush in commit() then waits
    // for the last few megabytes of a book, not for all of it at once.
    void startWriteback();

    // The failure of a write to target that the system refused with error
    // (errno): a full disk said as such, anything else in the system's words.
    static Failure writeFailure(const QString &target, int error);

    // Whether anything stands at path: a file, a folder, or a link, even one
    // that leads nowhere (the rename would replace it all the same).
    static bool entryExists(const QString &path);
    // Removes what saves into folder left behind when they were killed:
    // temporaries of this class's naming no live writer holds. Returns how
    // many went.
    static int removeStaleTemporaries(const QString &folder);

private:
    QString m_target;
    QString m_temporary;
    int m_fd = -1;
    bool m_committed = false;
    std::future<int> m_earlyFlush; // 0, or the error of the flush started last
    int m_earlyFlushError = 0;
    void awaitEarlyFlush();
};
