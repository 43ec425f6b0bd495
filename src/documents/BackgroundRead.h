// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace Documents {

// What reading a document came to: its text, or why there is none.
struct Outcome
{
    bool ok = false;
    QString text;
    QString failure; // the reason, in Chinese
};

// Reads the document on a worker thread and calls done on context's thread;
// done is dropped if context is gone by then.
void readInBackground(const QString &path, QObject *context, std::function<void(const Outcome &)> done);

} // namespace Documents
