// SPDX-License-Identifier: GPL-3.0-or-later
#include "reader/ReadingPlaces.h"
#include "support/MemorySettingsStore.h"

#include <QTest>

class TestReadingPlaces : public QObject
{
    Q_OBJECT

private slots:
    void placesAreKeptByPathAndText();
    void theListIsBoundedAndMostRecentFirst();
    void linesNotWrittenHereAreSkipped();
};

void TestReadingPlaces::placesAreKeptByPathAndText()
{
    MemorySettingsStore store;
    const QByteArray hash = ReadingPlaces::hashOf(QStringLiteral("文字"));
    // A path with the characters the stored line uses to part its fields.
    const QString odd = QStringLiteral("/书/a b\nc%20.txt");
    ReadingPlaces(store).remember(odd, hash, 42);
    ReadingPlaces later(store); // another start of the program
    QCOMPARE(later.placeOf(odd, hash), std::optional<qsizetype>(42));
    QCOMPARE(later.placeOf(odd, ReadingPlaces::hashOf(QStringLiteral("改过的文字"))), std::nullopt);
    QCOMPARE(later.placeOf(QStringLiteral("/书/别的.txt"), hash), std::nullopt);
    later.remember(odd, hash, 7);
    QCOMPARE(later.placeOf(odd, hash), std::optional<qsizetype>(7));
    QCOMPARE(later.recentDocuments(), QStringList{odd});
    QVERIFY(store.values.keys().join(u' ').contains(QStringLiteral("Sayrella-places")));
}

void TestReadingPlaces::theListIsBoundedAndMostRecentFirst()
{
    MemorySettingsStore store;
    ReadingPlaces places(store);
    for (int i = 0; i < ReadingPlaces::Kept + 5; ++i)
        places.remember(QStringLiteral("/d/%1.txt").arg(i), "h", i);
    QCOMPARE(places.placeOf(QStringLiteral("/d/4.txt"), "h"), std::nullopt); // the oldest went
    QCOMPARE(places.placeOf(QStringLiteral("/d/5.txt"), "h"), std::optional<qsizetype>(5));
    const QStringList recent = places.recentDocuments();
    QCOMPARE(recent.size(), ReadingPlaces::Recent);
    QCOMPARE(recent.front(), QStringLiteral("/d/54.txt"));
    places.remember(QStringLiteral("/d/20.txt"), "h", 1); // opened again: first, once
    QCOMPARE(places.recentDocuments().front(), QStringLiteral("/d/20.txt"));
    QCOMPARE(places.recentDocuments().count(QStringLiteral("/d/20.txt")), 1);
}

void TestReadingPlaces::linesNotWrittenHereAreSkipped()
{
    MemorySettingsStore store;
    store.values.insert(QStringLiteral("Sayrella-places/Places/Documents"),
                        QStringLiteral("garbage\n-3 h /x.txt\n12 h %2Fy.txt\n"));
    ReadingPlaces places(store);
    QCOMPARE(places.recentDocuments(), QStringList{"/y.txt"});
    QCOMPARE(places.placeOf(QStringLiteral("/y.txt"), "h"), std::optional<qsizetype>(12));
}

QTEST_GUILESS_MAIN(TestReadingPlaces)
#include "tst_readingplaces.moc"
