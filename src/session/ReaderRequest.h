// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>
#include <QString>

// What a start of the program asks of the reader: to come to the front, to
// open a document, or to read the primary selection or the clipboard. A
// second start hands it to the reader already running in the session.
struct ReaderRequest
{
    enum class Kind { Show, Open, SpeakSelection, SpeakClipboard };
    Kind kind = Kind::Show;
    QString document; // Open: an absolute path (the caller's folder is not the reader's)

    friend bool operator==(const ReaderRequest &, const ReaderRequest &) = default;
};
Q_DECLARE_METATYPE(ReaderRequest)
