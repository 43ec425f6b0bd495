// SPDX-License-Identifier: GPL-3.0-or-later
// A book saved a file per chapter or per so many minutes, with a stand-in
// synthesis whose speech is exactly 0.1 s per character: the files, their
// lengths, subtitles and playlist, the tags each format keeps, and names
// that any file system takes.
#include "export/Exporter.h"
#include "export/FileNames.h"
#include "platform/Failure.h"
#include "support/FakeSynthesis.h"

#include <QtTest>

#include <sndfile.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tag.h>
#include <taglib/xiphcomment.h>

namespace {

const QByteArray Cover("\x89PNG\r\n\x1a\nnot-a-real-picture", 26);

qint64 framesOf(const QString &path)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return -1;
    sf_close(file);
    return info.frames;
}

QString contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

Exporter::Job book(const QString &text, const QString &target)
{
    Exporter::Job job;
    job.text = text;
    job.target = target;
    job.title = QStringLiteral("四季");
    job.author = QStringLiteral("张三");
    return job;
}

} // namespace

class TestAudiobook : public QObject
{
    Q_OBJECT

private slots:
    void fileNamesAreSafeAnywhere_data();
    void fileNamesAreSafeAnywhere();
    void aFilePerChapter();
    void aFileEverySoManyMinutes();
    void tagsAndCoverReadBack_data();
    void tagsAndCoverReadBack();
    void cancelKeepsOnlyWholeFiles();
    void subtitlesKeepTimeInEveryFormat_data();
    void subtitlesKeepTimeInEveryFormat();
    void extensionsChooseTheFormatWhateverTheirCase_data();
    void extensionsChooseTheFormatWhateverTheirCase();
};

void TestAudiobook::fileNamesAreSafeAnywhere_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("name");
    // clang-format off
    QTest::newRow("plain") << "第一章 风起" << "书 03 第一章 风起.mp3";
    QTest::newRow("slash and colon") << "上/下: 终" << "书 03 上／下： 终.mp3";
    QTest::newRow("every character Windows refuses") << "a\\b*c?d\"e<f>g|h" << "书 03 a＼b＊c？d＂e＜f＞g｜h.mp3";
    QTest::newRow("control characters and runs of spaces") << "雨\t\n  来了\x01" << "书 03 雨 来了.mp3";
    QTest::newRow("dots at the end") << "未完..." << "书 03 未完.mp3";
    QTest::newRow("no title") << "" << "书 03.mp3";
    // clang-format on
}

void TestAudiobook::fileNamesAreSafeAnywhere()
{
    QFETCH(QString, title);
    QFETCH(QString, name);
    QCOMPARE(FileNames::numbered(QStringLiteral("书"), 3, 12, title, QStringLiteral("mp3")), name);
    // 255 bytes at most, cut between characters (three bytes each here, four for 𠀀).
    for (const QString &longTitle : {QString(200, u'长'), QStringLiteral("𠀀").repeated(100)}) {
        const QString safe = FileNames::numbered(QStringLiteral("书"), 3, 12, longTitle, QStringLiteral("mp3"));
        QVERIFY(safe.toUtf8().size() <= 255);
        QVERIFY(safe.toUtf8().size() > 245);
        QVERIFY(safe.endsWith(QStringLiteral(".mp3")));
        QVERIFY(!safe.at(safe.size() - 5).isHighSurrogate());
    }
    // As many digits as the count needs, two at least.
    QCOMPARE(FileNames::numbered(QStringLiteral("书"), 7, 120, {}, QStringLiteral("ogg")),
             QStringLiteral("书 007.ogg"));
}

void TestAudiobook::aFilePerChapter()
{
    QTemporaryDir dir;
    // Short text before the first chapter is read with it; then two chapters.
    const QString text = QStringLiteral("四季\n第一章 春\n柳树发芽。\n第二章 夏\n雨。");
    Exporter::Job job = book(text, dir.filePath(QStringLiteral("四季.wav")));
    job.subtitles = true;
    job.split.by = Exporter::Split::By::Chapters;
    job.split.chapters = {{3, QStringLiteral("第一章 春")}, {15, QStringLiteral("第二章 夏")}};
    QCOMPARE(text.mid(15, 5), QStringLiteral("第二章 夏"));
    const QStringList names = Exporter::splitFileNames(job);
    QCOMPARE(names, (QStringList{dir.filePath("四季 01 第一章 春.wav"), dir.filePath("四季 02 第二章 夏.wav")}));
    FakeSynthesis synthesis;
    const std::atomic<bool> never{false};
    QVERIFY(Exporter::run(synthesis, job, {}, never));
    // Each file holds its chapter's characters, to the sample.
    QCOMPARE(framesOf(names[0]), 15 * qint64(FakeSynthesis::SamplesPerCharacter));
    QCOMPARE(framesOf(names[1]), qint64(text.size() - 15) * FakeSynthesis::SamplesPerCharacter);
    // Each file's subtitles start at its own beginning, with its own text.
    QVERIFY(contentsOf(Exporter::subtitlePath(names[1], "lrc")).startsWith(QStringLiteral("[00:00.00]第二章 夏")));
    QVERIFY(contentsOf(Exporter::subtitlePath(names[0], "srt")).contains(QStringLiteral("四季")));
    QVERIFY(!contentsOf(Exporter::subtitlePath(names[0], "srt")).contains(QStringLiteral("雨")));
    QCOMPARE(contentsOf(dir.filePath(QStringLiteral("四季.m3u8"))),
             QStringLiteral(
                 "#EXTM3U\n#EXTINF:2,第一章 春\n四季 01 第一章 春.wav\n#EXTINF:1,第二章 夏\n四季 02 第二章 夏.wav\n"));
    // A second save into the same names is refused unless told to replace them.
    QVERIFY_THROWS_EXCEPTION(Failure, Exporter::run(synthesis, job, {}, never));
    job.overwrite = true;
    QVERIFY(Exporter::run(synthesis, job, {}, never));
}

// One minute is 600 characters of the stand-in's speech: sentences of 100
// characters, so a file is cut at the first sentence past 600.
void TestAudiobook::aFileEverySoManyMinutes()
{
    QTemporaryDir dir;
    QString text;
    for (int i = 0; i < 15; ++i)
        text += QString(99, QChar(u'一' + i)) + u'。';
    Exporter::Job job = book(text, dir.filePath(QStringLiteral("book.flac")));
    job.split.by = Exporter::Split::By::Minutes;
    job.split.minutes = 1;
    FakeSynthesis synthesis;
    const std::atomic<bool> never{false};
    QVERIFY(Exporter::run(synthesis, job, {}, never));
    const qint64 sentence = 100 * qint64(FakeSynthesis::SamplesPerCharacter);
    QCOMPARE(framesOf(dir.filePath(QStringLiteral("book 01.flac"))), 6 * sentence);
    QCOMPARE(framesOf(dir.filePath(QStringLiteral("book 02.flac"))), 6 * sentence);
    QCOMPARE(framesOf(dir.filePath(QStringLiteral("book 03.flac"))), 3 * sentence);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("book 04.flac"))));
    QVERIFY(contentsOf(dir.filePath(QStringLiteral("book.m3u8"))).contains(QStringLiteral("#EXTINF:60,")));
}

void TestAudiobook::tagsAndCoverReadBack_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<bool>("keepsCover");
    QTest::newRow("MP3 (ID3v2)") << "mp3" << true;
    QTest::newRow("Opus") << "opus" << true;
    QTest::newRow("Ogg Vorbis") << "ogg" << true;
    QTest::newRow("FLAC") << "flac" << true;
    QTest::newRow("WAV (LIST INFO)") << "wav" << false;
}

void TestAudiobook::tagsAndCoverReadBack()
{
    QFETCH(QString, extension);
    QFETCH(bool, keepsCover);
    QTemporaryDir dir;
    Exporter::Job job = book(QStringLiteral("第一章 春\n柳树。\n第二章 夏\n雨。"), dir.filePath("四季." + extension));
    job.cover = Cover;
    job.coverType = QStringLiteral("image/png");
    job.split.by = Exporter::Split::By::Chapters;
    job.split.chapters = {{0, QStringLiteral("第一章 春")}, {10, QStringLiteral("第二章 夏")}};
    FakeSynthesis synthesis;
    const std::atomic<bool> never{false};
    QVERIFY(Exporter::run(synthesis, job, {}, never));
    const QString second = Exporter::splitFileNames(job).value(1);
    const QByteArray name = QFile::encodeName(second);
    if (extension == u"wav") {
        SF_INFO info{};
        SNDFILE *file = sf_open(name.constData(), SFM_READ, &info);
        QVERIFY(file);
        const QString title = QString::fromUtf8(sf_get_string(file, SF_STR_TITLE));
        const QString artist = QString::fromUtf8(sf_get_string(file, SF_STR_ARTIST));
        sf_close(file);
        QCOMPARE(title, QStringLiteral("第二章 夏"));
        QCOMPARE(artist, QStringLiteral("张三"));
        return;
    }
    const TagLib::FileRef file(name.constData());
    QVERIFY(!file.isNull() && file.tag());
    QCOMPARE(QString::fromStdWString(file.tag()->title().toWString()), QStringLiteral("第二章 夏"));
    QCOMPARE(QString::fromStdWString(file.tag()->artist().toWString()), QStringLiteral("张三"));
    QCOMPARE(QString::fromStdWString(file.tag()->album().toWString()), QStringLiteral("四季"));
    QCOMPARE(file.tag()->track(), 2u);
    QByteArray picture;
    if (auto *mp3 = dynamic_cast<TagLib::MPEG::File *>(file.file())) {
        const auto frames = mp3->ID3v2Tag()->frameListMap()["APIC"];
        if (!frames.isEmpty()) {
            const TagLib::ByteVector data = frames.front()->render();
            picture = QByteArray(data.data(), int(data.size()));
        }
        QVERIFY(!mp3->hasID3v1Tag());
    } else if (auto *flac = dynamic_cast<TagLib::FLAC::File *>(file.file())) {
        if (!flac->pictureList().isEmpty())
            picture =
                QByteArray(flac->pictureList().front()->data().data(), int(flac->pictureList().front()->data().size()));
    } else if (auto *xiph = dynamic_cast<TagLib::Ogg::XiphComment *>(file.tag())) {
        if (!xiph->pictureList().isEmpty())
            picture =
                QByteArray(xiph->pictureList().front()->data().data(), int(xiph->pictureList().front()->data().size()));
    }
    QCOMPARE(picture.contains(Cover), keepsCover);
}

// Cancelled in the second chapter: the first stays whole, nothing of the
// second is left, and no playlist names a file that is not there.
void TestAudiobook::cancelKeepsOnlyWholeFiles()
{
    QTemporaryDir dir;
    const QString text = QStringLiteral("第一章 春\n柳树。\n第二章 夏\n") + QString(500, u'雨');
    Exporter::Job job = book(text, dir.filePath(QStringLiteral("书.wav")));
    job.split.by = Exporter::Split::By::Chapters;
    job.split.chapters = {{0, QStringLiteral("第一章 春")}, {10, QStringLiteral("第二章 夏")}};
    FakeSynthesis slow(std::chrono::milliseconds(2));
    std::atomic<bool> cancel{false};
    const bool finished = Exporter::run(
        slow, job, [&](const Exporter::Progress &p) { cancel = p.share > 0.5; }, cancel);
    QVERIFY(!finished);
    const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(left, QStringList{"书 01 第一章 春.wav"});
}

// Opus files are written at 24 kHz, the speech is made at 22,050 Hz: the
// subtitles count seconds of speech, whatever the file's own rate.
void TestAudiobook::subtitlesKeepTimeInEveryFormat_data()
{
    QTest::addColumn<QString>("extension");
    for (const char *extension : {"wav", "flac", "ogg", "opus", "mp3"})
        QTest::newRow(extension) << QString::fromLatin1(extension);
}

void TestAudiobook::subtitlesKeepTimeInEveryFormat()
{
    QFETCH(QString, extension);
    QTemporaryDir dir;
    // The second sentence starts at the 40th character, 4.0 s in, and ends the speech at 6.1 s.
    Exporter::Job job = book(QString(39, u'一') + u'。' + QString(20, u'二') + u'。', dir.filePath("t." + extension));
    job.subtitles = true;
    FakeSynthesis synthesis;
    const std::atomic<bool> never{false};
    QVERIFY(Exporter::run(synthesis, job, {}, never));
    QVERIFY(contentsOf(Exporter::subtitlePath(job.target, "lrc")).contains(QStringLiteral("\n[00:04.00]二")));
    const QString srt = contentsOf(Exporter::subtitlePath(job.target, "srt"));
    QVERIFY2(srt.contains(QStringLiteral("00:00:04,000 --> 00:00:06,100")), qPrintable(srt));
}

void TestAudiobook::extensionsChooseTheFormatWhateverTheirCase_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("format"); // -1: none
    QTest::newRow("mp3") << "a.mp3" << int(AudioFormat::Mp3);
    QTest::newRow("MP3") << "A.MP3" << int(AudioFormat::Mp3);
    QTest::newRow("Flac") << "书.Flac" << int(AudioFormat::Flac);
    QTest::newRow("OGG in a folder with dots") << "/x.y/b.OGG" << int(AudioFormat::OggVorbis);
    QTest::newRow("Opus") << "c.OpUs" << int(AudioFormat::Opus);
    QTest::newRow("WAV") << "d.WAV" << int(AudioFormat::Wav);
    QTest::newRow("text") << "e.txt" << -1;
    QTest::newRow("no extension") << "mp3" << -1;
    QTest::newRow("extension of the folder only") << "/music.mp3/f" << -1;
}

void TestAudiobook::extensionsChooseTheFormatWhateverTheirCase()
{
    QFETCH(QString, path);
    QFETCH(int, format);
    const std::optional<AudioFormat> found = AudioFormats::fromPath(path);
    QCOMPARE(found ? int(*found) : -1, format);
}

QTEST_GUILESS_MAIN(TestAudiobook)
#include "tst_audiobook.moc"
