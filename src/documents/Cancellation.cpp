// SPDX-License-Identifier: GPL-3.0-or-later
#include "documents/Cancellation.h"

#include "platform/Failure.h"

namespace Documents {

namespace {
thread_local const std::atomic<bool> *t_cancelled = nullptr;
} // namespace

CancellationScope::CancellationScope(const std::atomic<bool> *flag) : m_previous(t_cancelled) { t_cancelled = flag; }

CancellationScope::~CancellationScope() { t_cancelled = m_previous; }

void throwIfCancelled()
{
    if (t_cancelled && t_cancelled->load(std::memory_order_relaxed))
        throw Failure(QStringLiteral("已取消。"), Failure::Reason::Cancelled);
}

} // namespace Documents
