// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "session/ReaderRemote.h"

#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>

// The reader as an MPRIS 2 player (org.mpris.MediaPlayer2.sayrella): the
// keyboard's media keys, GNOME Shell's and Plasma's player controls and
// playerctl drive it, and see its state, title and voice.
class MprisService : public QObject
{
    Q_OBJECT

public:
    static const QString ServiceName;
    static const QString ObjectPath;

    explicit MprisService(ReaderRemote &reader, QDBusConnection bus = QDBusConnection::sessionBus(),
                          QObject *parent = nullptr);
    ~MprisService() override;

    // Puts the player on the bus; false without one (the reader goes on
    // without player controls).
    bool start();

    // The player's properties as the reader has them now (for the adaptors).
    QString playbackStatus() const;
    QVariantMap metadata() const;
    ReaderRemote &reader() const { return m_reader; }

public slots:
    // The reader changed (state, text, voice, volume, place): announce the
    // properties that differ from the last announced, as PropertiesChanged.
    void readerChanged();

private:
    QVariantMap playerProperties() const;

    ReaderRemote &m_reader;
    QDBusConnection m_bus;
    QObject *m_object = nullptr;
    bool m_registered = false;
    QVariantMap m_announced;
};
