// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/WordLog.h"

#include <algorithm>

#include <QTest>

WordLog::WordLog(SpVoice &voice)
{
    m_clock.start();
    connect(&voice, &SpVoice::Word, this, [this](long stream, const QVariant &, long position, long length) {
        entries.append({stream, position, length, m_clock.elapsed()});
    });
}

QStringList WordLog::words(const QString &text) const
{
    QStringList result;
    for (const Entry &e : entries)
        result << text.mid(e.position, e.length);
    return result;
}

bool WordLog::waitForPosition(long position, int timeoutMs)
{
    return QTest::qWaitFor(
        [&] {
            for (const Entry &e : entries)
                if (e.position <= position && position < e.position + std::max(1L, e.length))
                    return true;
            return false;
        },
        timeoutMs);
}

bool WordLog::waitForCount(int count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return entries.size() >= count; }, timeoutMs);
}
