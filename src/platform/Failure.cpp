// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Failure.h"

#include <utility>

Failure::Failure(QString description, Reason reason)
    : m_description(std::move(description)), m_utf8(m_description.toUtf8()), m_reason(reason)
{ }
