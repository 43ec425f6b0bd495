// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace Documents {

// What reading a document came to: its text, or why there is none.
struct Outcome
{
    bool ok = false;
    QString text;
    QString title; // as the document names itself (EPUB, DOCX, HTML…); empty when it does not
    QString failure; // the reason, in Chinese
    QStringList notes; // what was left out of a document read all the same
};

// Reads the document on a worker thread and calls done on context's thread;
// done is dropped if context is gone by then, and the read is abandoned at
// its next step: a window closed mid-read leaves no work behind.
void readInBackground(const QString &path, QObject *context, std::function<void(const Outcome &)> done);

} // namespace Documents
