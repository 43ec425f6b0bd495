// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/MessageBox.h"

#include <QStringList>

// Stands in for the modal message box: records each message and returns at once.
class RecordingMessageBox : public MessageBox
{
public:
    void Show(const QString &text) override { messages << text; }
    QStringList messages;
};
