// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/SessionInstance.h"

#include "session/ApplicationAdaptor.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QUrl>

const QString SessionInstance::ServiceName = QStringLiteral("io.github.sayrella.Sayrella");
const QString SessionInstance::ObjectPath = QStringLiteral("/io/github/sayrella/Sayrella");

namespace {

const QString ApplicationInterface = QStringLiteral("org.freedesktop.Application");
// Long enough for a reader busy with a huge page, short enough that a hung
// one is reported before the person gives up on the key they pressed.
constexpr int HandOverTimeoutMs = 5000;

} // namespace

SessionInstance::SessionInstance(QDBusConnection bus, QObject *parent) : QObject(parent), m_bus(std::move(bus)) { }

SessionInstance::~SessionInstance()
{
    if (m_owned) {
        m_bus.unregisterObject(ObjectPath);
        m_bus.unregisterService(ServiceName);
    }
}

SessionInstance::Claim SessionInstance::claim()
{
    if (!m_bus.isConnected())
        return Claim::NoBus;
    // The object first: a caller that sees the name must find it answering.
    auto *application = new ApplicationAdaptor(this, [this](const ReaderRequest &request) { emit requested(request); });
    if (!m_bus.registerObject(ObjectPath, application, QDBusConnection::ExportAllSlots)) {
        delete application;
        return Claim::NoBus;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = m_bus.interface()->registerService(
        ServiceName, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_owned = true;
        return Claim::Owned;
    }
    m_bus.unregisterObject(ObjectPath);
    delete application;
    return reply.isValid() ? Claim::Taken : Claim::NoBus;
}

SessionInstance::HandOver SessionInstance::handOver(const ReaderRequest &request, QString *why, QDBusConnection bus)
{
    if (!bus.isConnected())
        return HandOver::NoReader;
    const QDBusReply<bool> running = bus.interface()->isServiceRegistered(ServiceName);
    if (!running.isValid() || !running.value())
        return HandOver::NoReader;
    const auto callOf = [](const QString &method) {
        return QDBusMessage::createMethodCall(ServiceName, ObjectPath, ApplicationInterface, method);
    };
    QDBusMessage call;
    const QVariantMap platformData;
    switch (request.kind) {
    case ReaderRequest::Kind::Show:
        call = callOf(QStringLiteral("Activate"));
        break;
    case ReaderRequest::Kind::Open:
        call = callOf(QStringLiteral("Open"));
        call << QStringList{QUrl::fromLocalFile(request.document).toString(QUrl::FullyEncoded)};
        break;
    case ReaderRequest::Kind::SpeakSelection:
    case ReaderRequest::Kind::SpeakClipboard:
        call = callOf(QStringLiteral("ActivateAction"));
        call << ApplicationAdaptor::actionName(request.kind) << QVariantList();
        break;
    }
    call << platformData; // every method's last argument
    const QDBusMessage reply = bus.call(call, QDBus::Block, HandOverTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return HandOver::Delivered;
    // The reader ended between the look and the call: this start is the reader now.
    if (reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"))
        return HandOver::NoReader;
    if (why)
        *why = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
    return HandOver::Failed;
}
