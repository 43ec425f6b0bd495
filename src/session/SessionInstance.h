// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "session/ReaderRequest.h"

#include <QDBusConnection>
#include <QObject>

// One reader per desktop session. The first start owns the program's name on
// the session bus and answers org.freedesktop.Application there (Activate,
// Open, ActivateAction), as a launcher would call it; a later start hands its
// request over and ends. Without a session bus each start is a reader of its
// own, as on a console login.
class SessionInstance : public QObject
{
    Q_OBJECT

public:
    static const QString ServiceName; // also the desktop entry's id
    static const QString ObjectPath;

    explicit SessionInstance(QDBusConnection bus = QDBusConnection::sessionBus(), QObject *parent = nullptr);
    ~SessionInstance() override;

    enum class Claim {
        Owned, // this process is the session's reader now
        Taken, // another reader has the name: hand the request to it
        NoBus, // no session bus: go on alone
    };
    // Takes the name (never queued behind its owner) and answers on it.
    Claim claim();

    enum class HandOver { Delivered, NoReader, Failed };
    // Gives request to the reader running on bus. Failed (with why) when
    // one runs but does not answer in time: a reader that hangs keeps its
    // name, and a second window beside it would speak over it.
    static HandOver handOver(const ReaderRequest &request, QString *why = nullptr,
                             QDBusConnection bus = QDBusConnection::sessionBus());

signals:
    // A request from another start, or from the desktop (a launcher's action).
    void requested(const ReaderRequest &request);

private:
    QDBusConnection m_bus;
    bool m_owned = false;
};
