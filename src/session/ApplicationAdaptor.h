// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "session/ReaderRequest.h"

#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <optional>

// org.freedesktop.Application on the reader's object: what launchers call
// on a program already running (and what a second start of ours calls).
// Registered as an object of its own, with its slots exported, so that it
// can answer a caller with an error (QDBusContext).
class ApplicationAdaptor : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    ApplicationAdaptor(QObject *parent, std::function<void(const ReaderRequest &)> deliver);

    // The desktop entry's actions, by their names there.
    static QString actionName(ReaderRequest::Kind kind);
    static std::optional<ReaderRequest::Kind> actionKind(const QString &name);

public slots:
    void Activate(const QVariantMap &platformData);
    void Open(const QStringList &uris, const QVariantMap &platformData);
    void ActivateAction(const QString &action, const QVariantList &parameter, const QVariantMap &platformData);

private:
    std::function<void(const ReaderRequest &)> m_deliver;
};
