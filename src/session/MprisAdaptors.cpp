// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/MprisAdaptors.h"

#include "session/MprisService.h"
#include "session/SessionInstance.h"

#include <QUrl>

MprisRootAdaptor::MprisRootAdaptor(QObject *object, MprisService &service)
    : QDBusAbstractAdaptor(object), m_service(service)
{
}

QString MprisRootAdaptor::identity() const { return QStringLiteral("Sayrella"); }

// The desktop entry is named as the program is on the bus.
QString MprisRootAdaptor::desktopEntry() const { return SessionInstance::ServiceName; }

// The types the desktop entry opens (its MimeType line; a test keeps the two alike).
QStringList MprisRootAdaptor::supportedMimeTypes() const
{
    return {QStringLiteral("text/plain"),
            QStringLiteral("text/html"),
            QStringLiteral("text/markdown"),
            QStringLiteral("application/rtf"),
            QStringLiteral("application/pdf"),
            QStringLiteral("application/epub+zip"),
            QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.document"),
            QStringLiteral("application/vnd.oasis.opendocument.text")};
}

void MprisRootAdaptor::Raise() { m_service.reader().bringToFront(); }

void MprisRootAdaptor::Quit() { m_service.reader().quitReader(); }

MprisPlayerAdaptor::MprisPlayerAdaptor(QObject *object, MprisService &service)
    : QDBusAbstractAdaptor(object), m_service(service)
{
}

QString MprisPlayerAdaptor::playbackStatus() const { return m_service.playbackStatus(); }

QVariantMap MprisPlayerAdaptor::metadata() const { return m_service.metadata(); }

double MprisPlayerAdaptor::volume() const { return m_service.reader().volume(); }

void MprisPlayerAdaptor::setVolume(double volume)
{
    m_service.reader().setVolume(volume);
    m_service.readerChanged();
}

qlonglong MprisPlayerAdaptor::position() const { return m_service.reader().positionMicroseconds(); }

bool MprisPlayerAdaptor::canGoNext() const { return m_service.reader().canGoNext(); }

bool MprisPlayerAdaptor::canGoPrevious() const { return m_service.reader().canGoPrevious(); }

bool MprisPlayerAdaptor::canPlay() const { return m_service.reader().canPlay(); }

bool MprisPlayerAdaptor::canPause() const { return m_service.reader().canPlay(); }

// Each command ends with the properties announced, so that a client
// reading them after its call returns sees the outcome.
void MprisPlayerAdaptor::command(void (ReaderRemote::*what)())
{
    (m_service.reader().*what)();
    m_service.readerChanged();
}

void MprisPlayerAdaptor::Next() { command(&ReaderRemote::nextSentence); }

void MprisPlayerAdaptor::Previous() { command(&ReaderRemote::previousSentence); }

void MprisPlayerAdaptor::Pause() { command(&ReaderRemote::pause); }

void MprisPlayerAdaptor::PlayPause() { command(&ReaderRemote::playPause); }

void MprisPlayerAdaptor::Stop() { command(&ReaderRemote::stop); }

void MprisPlayerAdaptor::Play() { command(&ReaderRemote::play); }

// Speech cannot be seeked by time (CanSeek is false): these do nothing, as
// MPRIS asks of a player that cannot seek.
void MprisPlayerAdaptor::Seek(qlonglong) { }

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath &, qlonglong) { }

void MprisPlayerAdaptor::OpenUri(const QString &uri)
{
    const QUrl url(uri);
    if (url.isLocalFile())
        m_service.reader().openDocument(url.toLocalFile());
}
