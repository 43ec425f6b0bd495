// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/MessageBox.h"

#include <QStringList>

#include <functional>

// Stands in for the modal message box: records each message and returns at once.
class RecordingMessageBox : public MessageBox
{
public:
    void Show(const QString &text) override
    {
        messages << text;
        // A real box runs an event loop while it is open: whatever happens
        // meanwhile may show another box inside this one.
        ++depth;
        deepest = std::max(deepest, depth);
        if (whileShown)
            whileShown();
        --depth;
    }
    QStringList messages;
    std::function<void()> whileShown;
    int depth = 0;
    int deepest = 0;
};
