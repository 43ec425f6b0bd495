// SPDX-License-Identifier: GPL-3.0-or-later
#include "reader/ReadingPlaces.h"

#include "settings/SettingsStore.h"

#include <QCryptographicHash>
#include <QUrl>

namespace {

const QString PlacesFile = QStringLiteral("Sayrella-places");
const QString Section = QStringLiteral("Places");
const QString Key = QStringLiteral("Documents");

} // namespace

QByteArray ReadingPlaces::hashOf(const QString &text)
{
    return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
}

// One value: a line per document, "position hash path" with the path
// percent-encoded (a path may hold any character but NUL).
QList<ReadingPlaces::Place> ReadingPlaces::load() const
{
    QList<Place> places;
    const QString stored = m_store.GetSetting(PlacesFile, Section, Key, QString());
    for (const QString &line : stored.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(u' ');
        bool ok = false;
        const qsizetype position = fields.value(0).toLongLong(&ok);
        if (fields.size() != 3 || !ok || position < 0)
            continue; // a line not written by this program
        places.append({QUrl::fromPercentEncoding(fields[2].toLatin1()), fields[1].toLatin1(), position});
        if (places.size() == Kept)
            break;
    }
    return places;
}

std::optional<qsizetype> ReadingPlaces::placeOf(const QString &path, const QByteArray &textHash) const
{
    for (const Place &place : load())
        if (place.path == path)
            return place.hash == textHash ? std::optional(place.position) : std::nullopt;
    return std::nullopt;
}

void ReadingPlaces::remember(const QString &path, const QByteArray &textHash, qsizetype position)
{
    QList<Place> places = load();
    places.removeIf([&](const Place &place) { return place.path == path; });
    places.prepend({path, textHash, std::max<qsizetype>(0, position)});
    if (places.size() > Kept)
        places.resize(Kept);
    QStringList lines;
    for (const Place &place : std::as_const(places))
        lines << QStringLiteral("%1 %2 %3")
                     .arg(place.position)
                     .arg(QString::fromLatin1(place.hash), QString::fromLatin1(QUrl::toPercentEncoding(place.path)));
    m_store.SaveSetting(PlacesFile, Section, Key, lines.join(u'\n'));
}

QStringList ReadingPlaces::recentDocuments() const
{
    QStringList paths;
    for (const Place &place : load()) {
        paths << place.path;
        if (paths.size() == Recent)
            break;
    }
    return paths;
}
