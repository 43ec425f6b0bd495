// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/VoiceToken.h"

#include "platform/Failure.h"

const SpObjectToken &SpObjectTokens::Item(long index) const
{
    if (index < 0 || index >= m_tokens.size())
        throw Failure(QStringLiteral("语音编号 %1 超出范围（共有 %2 个语音）。").arg(index).arg(m_tokens.size()));
    return m_tokens.at(index);
}
