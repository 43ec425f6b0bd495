// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "speech/SpVoice.h"

#include <QElapsedTimer>
#include <QList>
#include <QStringList>

// Collects a voice's Word events, with the time each arrived.
class WordLog : public QObject
{
    Q_OBJECT

public:
    struct Entry
    {
        long stream;
        long position;
        long length;
        qint64 atMs;
    };

    explicit WordLog(SpVoice &voice);

    QList<Entry> entries;

    // The text each event selects in text.
    QStringList words(const QString &text) const;
    // Waits until an event selects a range holding position (or times out):
    // a Hanzi is found inside the word it belongs to.
    bool waitForPosition(long position, int timeoutMs);
    bool waitForCount(int count, int timeoutMs);
    void clear() { entries.clear(); }

private:
    QElapsedTimer m_clock;
};
