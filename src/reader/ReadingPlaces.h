// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

class SettingsStore;

// Where the person last was in each document they opened: for the last 50
// documents, by path and a hash of their text (a document changed since
// gives no place), the position of the last word heard, most recent first.
// Kept in a settings file of its own beside the reader's settings, so that
// the reader's own file holds what it always held. The first ten are the
// recent documents of the text area's menu.
class ReadingPlaces
{
public:
    static constexpr qsizetype Kept = 50;
    static constexpr qsizetype Recent = 10;

    explicit ReadingPlaces(SettingsStore &store) : m_store(store) { }

    static QByteArray hashOf(const QString &text);

    // The place last heard in this document with this text, if any.
    std::optional<qsizetype> placeOf(const QString &path, const QByteArray &textHash) const;
    // Keeps the place and puts the document first. Throws Failure when the
    // settings cannot be written.
    void remember(const QString &path, const QByteArray &textHash, qsizetype position);
    // The documents last opened, most recent first.
    QStringList recentDocuments() const;

private:
    struct Place
    {
        QString path;
        QByteArray hash;
        qsizetype position = 0;
    };
    QList<Place> load() const;

    SettingsStore &m_store;
};
