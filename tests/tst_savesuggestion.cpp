// SPDX-License-Identifier: GPL-3.0-or-later
#include "reader/SaveSuggestion.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestSaveSuggestion : public QObject
{
    Q_OBJECT

private slots:
    void proposesAFolderThatCanBeWritten_data();
    void proposesAFolderThatCanBeWritten();
};

void TestSaveSuggestion::proposesAFolderThatCanBeWritten_data()
{
    QTest::addColumn<QString>("document"); // relative to a scratch folder; empty: none opened
    QTest::addColumn<QString>("music");
    QTest::addColumn<QString>("expected");
    QTest::newRow("beside the document, under its name") << "books/小说.epub" << "Music" << "books/小说.mp3";
    QTest::newRow("a name with dots keeps them") << "books/v1.2.notes.txt" << "Music" << "books/v1.2.notes.mp3";
    QTest::newRow("no document: the music folder") << "" << "Music" << "Music/朗读.mp3";
    QTest::newRow("a missing music folder is made") << "" << "new/Music" << "new/Music/朗读.mp3";
    QTest::newRow("a document whose folder went") << "gone/小说.epub" << "Music" << "Music/朗读.mp3";
    QTest::newRow("a music folder that cannot be made") << "" << "books/file/Music" << "home/朗读.mp3";
}

void TestSaveSuggestion::proposesAFolderThatCanBeWritten()
{
    QFETCH(QString, document);
    QFETCH(QString, music);
    QFETCH(QString, expected);
    QTemporaryDir scratch;
    QDir root(scratch.path());
    QVERIFY(root.mkpath(QStringLiteral("books")) && root.mkpath(QStringLiteral("home")));
    QFile file(root.filePath(QStringLiteral("books/file")));
    QVERIFY(file.open(QIODevice::WriteOnly)); // a file where a folder would have to be
    const QString suggested = suggestedAudioPath(document.isEmpty() ? QString() : root.filePath(document),
                                                 root.filePath(music), root.filePath(QStringLiteral("home")));
    QCOMPARE(suggested, root.filePath(expected));
    QVERIFY(QFileInfo(QFileInfo(suggested).absolutePath()).isDir());
}

QTEST_GUILESS_MAIN(TestSaveSuggestion)
#include "tst_savesuggestion.moc"
