// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// A file written beside its target under a temporary name and renamed over
// it only when complete: a cancel, a failure, a full disk or a killed process
// never leave a partial file under the target's name, and an existing file of
// that name stays as it was until the new one is whole.
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

private:
    QString m_target;
    QString m_temporary;
    int m_fd = -1;
    bool m_committed = false;
};
