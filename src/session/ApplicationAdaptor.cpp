// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/ApplicationAdaptor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QUrl>

ApplicationAdaptor::ApplicationAdaptor(QObject *parent, std::function<void(const ReaderRequest &)> deliver)
    : QObject(parent), m_deliver(std::move(deliver))
{
}

QString ApplicationAdaptor::actionName(ReaderRequest::Kind kind)
{
    switch (kind) {
    case ReaderRequest::Kind::SpeakSelection:
        return QStringLiteral("speak-selection");
    case ReaderRequest::Kind::SpeakClipboard:
        return QStringLiteral("speak-clipboard");
    case ReaderRequest::Kind::Show:
    case ReaderRequest::Kind::Open:
        break;
    }
    return {};
}

std::optional<ReaderRequest::Kind> ApplicationAdaptor::actionKind(const QString &name)
{
    for (const ReaderRequest::Kind kind : {ReaderRequest::Kind::SpeakSelection, ReaderRequest::Kind::SpeakClipboard})
        if (name == actionName(kind))
            return kind;
    return std::nullopt;
}

void ApplicationAdaptor::Activate(const QVariantMap &) { m_deliver({}); }

// Only local files can be read; the first of several is opened (the reader
// holds one text). A URI that names no local file is refused to the caller,
// who can then say so.
void ApplicationAdaptor::Open(const QStringList &uris, const QVariantMap &)
{
    for (const QString &uri : uris) {
        const QUrl url(uri);
        if (url.isLocalFile()) {
            m_deliver({ReaderRequest::Kind::Open, url.toLocalFile()});
            return;
        }
    }
    if (calledFromDBus())
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("朗读器只能打开本机上的文件。"));
}

void ApplicationAdaptor::ActivateAction(const QString &action, const QVariantList &, const QVariantMap &)
{
    if (const std::optional<ReaderRequest::Kind> kind = actionKind(action)) {
        m_deliver({*kind, {}});
        return;
    }
    if (calledFromDBus())
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("朗读器没有名为“%1”的操作。").arg(action));
}
