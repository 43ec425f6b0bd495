// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/MprisService.h"

#include "session/MprisAdaptors.h"
#include "session/SessionInstance.h"

#include <QDBusMessage>
#include <QDBusObjectPath>

const QString MprisService::ServiceName = QStringLiteral("org.mpris.MediaPlayer2.sayrella");
const QString MprisService::ObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");

namespace {

const QString PlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

} // namespace

MprisService::MprisService(ReaderRemote &reader, QDBusConnection bus, QObject *parent)
    : QObject(parent), m_reader(reader), m_bus(std::move(bus))
{
}

MprisService::~MprisService()
{
    if (m_registered) {
        m_bus.unregisterService(ServiceName);
        m_bus.unregisterObject(ObjectPath);
    }
}

bool MprisService::start()
{
    if (!m_bus.isConnected())
        return false;
    m_object = new QObject(this);
    new MprisRootAdaptor(m_object, *this);
    new MprisPlayerAdaptor(m_object, *this);
    if (!m_bus.registerObject(ObjectPath, m_object, QDBusConnection::ExportAdaptors))
        return false;
    m_registered = true;
    m_announced = playerProperties();
    return m_bus.registerService(ServiceName);
}

QString MprisService::playbackStatus() const
{
    switch (m_reader.status()) {
    case ReaderRemote::Status::Playing:
        return QStringLiteral("Playing");
    case ReaderRemote::Status::Paused:
        return QStringLiteral("Paused");
    case ReaderRemote::Status::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

// A new text is a new track: clients that cache by track id (GNOME Shell)
// show the new title. The id follows from the title, so nothing need be
// kept to know when it changes. The length of speech is not known before
// it is heard, so mpris:length is left out.
QVariantMap MprisService::metadata() const
{
    const QString title = m_reader.title();
    QVariantMap out;
    out.insert(QStringLiteral("mpris:trackid"),
               QVariant::fromValue(QDBusObjectPath(
                   SessionInstance::ObjectPath + QStringLiteral("/text/%1").arg(qHash(title, 0), 16, 16, QLatin1Char('0')))));
    out.insert(QStringLiteral("xesam:title"), title);
    const QString voice = m_reader.voiceName();
    if (!voice.isEmpty())
        out.insert(QStringLiteral("xesam:artist"), QStringList{voice});
    return out;
}

QVariantMap MprisService::playerProperties() const
{
    return {{QStringLiteral("PlaybackStatus"), playbackStatus()},
            {QStringLiteral("Metadata"), metadata()},
            {QStringLiteral("Volume"), m_reader.volume()},
            {QStringLiteral("CanGoNext"), m_reader.canGoNext()},
            {QStringLiteral("CanGoPrevious"), m_reader.canGoPrevious()},
            {QStringLiteral("CanPlay"), m_reader.canPlay()},
            {QStringLiteral("CanPause"), m_reader.canPlay()}};
}

void MprisService::readerChanged()
{
    if (!m_registered)
        return;
    const QVariantMap now = playerProperties();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (m_announced.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    m_announced = now;
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(ObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << PlayerInterface << changed << QStringList();
    m_bus.send(signal);
}
