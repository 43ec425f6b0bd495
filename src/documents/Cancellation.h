// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>

// Reading a document can take long (a large book, hostile markup); a reader
// whose window has gone must stop soon. The readers of each format look at
// the flag of the read running on their thread between steps.
namespace Documents {

// Makes flag the current thread's cancellation flag while it lives.
class CancellationScope
{
public:
    explicit CancellationScope(const std::atomic<bool> *flag);
    ~CancellationScope();
    CancellationScope(const CancellationScope &) = delete;
    CancellationScope &operator=(const CancellationScope &) = delete;

private:
    const std::atomic<bool> *m_previous;
};

// Throws Failure when the read on this thread has been cancelled.
void throwIfCancelled();

} // namespace Documents
