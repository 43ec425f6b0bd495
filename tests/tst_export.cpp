// SPDX-License-Identifier: GPL-3.0-or-later
// Speech out: real audio files in every format, read back with libsndfile;
// subtitles parsed back; nothing partial ever under a target's name; and the
// command line, run without a display or a sound server.
#include "export/AudioFileWriter.h"
#include "export/Exporter.h"
#include "export/ParallelSynthesis.h"
#include "export/Subtitles.h"
#include "export/WavFile.h"
#include "export/SafeOutput.h"
#include "platform/Failure.h"
#include "speech/helper/SpeechRenderer.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStorageInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <csignal>
#include <memory>
#include <thread>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/mount.h>

namespace {

const QString Story = QStringLiteral("今天天气很好。我们去公园散步吧！河边的柳树发芽了，风很轻。"
                                     "老人坐在长椅上看报纸。孩子们在草地上追着一只小狗跑来跑去。");

struct Audio
{
    int rate = 0, channels = 0;
    std::vector<short> samples;
    double seconds() const { return rate ? double(samples.size()) / rate : 0; }
    double rms() const
    {
        double sum = 0;
        for (short s : samples)
            sum += double(s) * s;
        return samples.empty() ? 0 : std::sqrt(sum / samples.size());
    }
};

// The plainest WAV, as a simple reader insists on it: RIFF…WAVE, a 16-byte
// "fmt " of format 1 at byte 12, "data" at byte 36 and the samples at 44,
// then only whole chunks, every size true to the file. Empty when it is so,
// else what is wrong.
QString strictWavProblem(const QByteArray &file, std::vector<short> *samples = nullptr)
{
    // Read from a copy of its own: reading a QByteArray's data at an offset
    // makes GCC (with the sanitizers) warn of its one-byte empty array.
    const std::vector<unsigned char> bytes(file.cbegin(), file.cend());
    const auto u16 = [&](qsizetype at) { return quint16(bytes[std::size_t(at)] | bytes[std::size_t(at) + 1] << 8); };
    const auto u32 = [&](qsizetype at) { return quint32(u16(at)) | quint32(u16(at + 2)) << 16; };
    if (file.size() < 44)
        return QStringLiteral("shorter than a header");
    if (file.left(4) != "RIFF" || file.mid(8, 4) != "WAVE")
        return QStringLiteral("starts ") + QString::fromLatin1(file.left(4));
    if (u32(4) != quint32(file.size() - 8))
        return QStringLiteral("RIFF size %1 in a file of %2").arg(u32(4)).arg(file.size());
    if (file.mid(12, 4) != "fmt " || u32(16) != 16 || u16(20) != 1)
        return QStringLiteral("fmt chunk '%1' of %2 bytes, format %3").arg(QString::fromLatin1(file.mid(12, 4))).arg(u32(16)).arg(u16(20));
    if (u16(22) != 1 || u16(32) != 2 || u16(34) != 16 || u32(28) != u32(24) * 2)
        return QStringLiteral("not 16-bit mono");
    if (file.mid(36, 4) != "data")
        return QStringLiteral("header longer than 44 bytes: '%1' at 36").arg(QString::fromLatin1(file.mid(36, 4)));
    const qint64 end = 44 + qint64(u32(40));
    if (end > file.size())
        return QStringLiteral("data runs past the file");
    for (qint64 at = end; at < file.size();) {
        if (at + 8 > file.size() || quint64(at) + 8 + u32(at + 4) > quint64(file.size()))
            return QStringLiteral("a chunk after the data runs past the file");
        at += 8 + u32(at + 4) + (u32(at + 4) % 2);
    }
    if (samples) {
        samples->resize(std::size_t(u32(40) / 2));
        if (!samples->empty())
            std::memcpy(samples->data(), bytes.data() + 44, samples->size() * 2);
    }
    return {};
}

// A disk of 300 KB over a folder for a test's lifetime (root only).
struct SmallDisk
{
    explicit SmallDisk(const QString &folder) : path(QFile::encodeName(folder))
    {
        mounted = geteuid() == 0 && mount("tmpfs", path.constData(), "tmpfs", 0, "size=300k") == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            umount(path.constData());
    }
    QByteArray path;
    bool mounted = false;
};

Audio readBack(const QString &path)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    Audio audio;
    if (!file)
        return audio;
    audio.rate = info.samplerate;
    audio.channels = info.channels;
    audio.samples.resize(std::size_t(info.frames * info.channels));
    audio.samples.resize(std::size_t(sf_read_short(file, audio.samples.data(), sf_count_t(audio.samples.size()))));
    sf_close(file);
    return audio;
}

// The renderer's output, kept in memory with its words.
class Recording : public SpeechRenderer::Sink
{
public:
    bool samples(const int16_t *data, std::size_t count) override
    {
        pcm.insert(pcm.end(), data, data + count);
        return true;
    }
    void word(qint64 sample, long position, long) override { words.append({sample, position}); }
    std::vector<short> pcm;
    QList<QPair<qint64, long>> words;
};

QStringList namesIn(const QString &folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden); }

} // namespace

class TestExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyFormatReadsBack_data();
    void everyFormatReadsBack();
    void wavHoldsExactlyTheVoicesSamples();
    void subtitlesFollowTheWords();
    void jobsGiveTheSameSpeech();
    void subtitlesStayWithTheirSoundAcrossParts();
    void helperKilledMidBookIsReplaced();
    void sentencesEndWhereTheirMarksDo_data();
    void sentencesEndWhereTheirMarksDo();
    void nothingPartialIsEverLeft_data();
    void nothingPartialIsEverLeft();
    void subtitlesThatCannotBeWrittenLeaveNoAudio();
    void fullDiskEndsTheSaveNotTheProgram_data();
    void fullDiskEndsTheSaveNotTheProgram();
    void fullDiskOnTheCommandLine();
    void commandLine_data();
    void commandLine();
    void danglingLinkIsNotOverwritten();
    void interruptedSaveLeavesNothing_data();
    void interruptedSaveLeavesNothing();
    void staleTemporariesAreClearedByTheNextSave_data();
    void staleTemporariesAreClearedByTheNextSave();
    void replacedFileKeepsItsPermissions_data();
    void replacedFileKeepsItsPermissions();
    void smallWavIsPlainPcm_data();
    void smallWavIsPlainPcm();
    void wavBecomesRf64OnlyPastItsSizeFields_data();
    void wavBecomesRf64OnlyPastItsSizeFields();
    void wavPast4GiBIsRf64();

private:
    Audio exportAs(const QString &name, const SpeechRenderer::Settings &settings = {});
    std::unique_ptr<SpeechRenderer> m_renderer;
    QTemporaryDir m_dir;
    double m_wavSeconds = 0;
};

void TestExport::initTestCase() { m_renderer = std::make_unique<SpeechRenderer>(); }

Audio TestExport::exportAs(const QString &name, const SpeechRenderer::Settings &settings)
{
    const std::atomic<bool> never{false};
    Exporter::run(*m_renderer, {Story, m_dir.filePath(name), settings, false}, {}, never);
    return readBack(m_dir.filePath(name));
}

void TestExport::everyFormatReadsBack_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("rate");
    QTest::newRow("WAV") << "story.wav" << 22050; // first: the others are measured against it
    QTest::newRow("FLAC") << "story.flac" << 22050;
    QTest::newRow("Ogg Vorbis") << "story.ogg" << 22050;
    QTest::newRow("Opus") << "story.opus" << 24000; // Opus cannot take 22,050 Hz
    QTest::newRow("MP3") << "story.mp3" << 22050;
}

void TestExport::everyFormatReadsBack()
{
    QFETCH(QString, name);
    QFETCH(int, rate);
    const Audio audio = exportAs(name);
    QCOMPARE(audio.channels, 1);
    QCOMPARE(audio.rate, rate);
    QVERIFY2(audio.rms() > 500, qPrintable(QString::number(audio.rms())));
    if (name.endsWith(u".wav"))
        m_wavSeconds = audio.seconds();
    QVERIFY(m_wavSeconds > 3);
    QVERIFY2(std::abs(audio.seconds() - m_wavSeconds) < 0.02 * m_wavSeconds,
             qPrintable(QStringLiteral("%1 s against %2 s").arg(audio.seconds()).arg(m_wavSeconds)));
}

// The file holds the samples the voice makes for Speak with the same voice,
// rate and volume (scaled as playback scales them), not an approximation.
void TestExport::wavHoldsExactlyTheVoicesSamples()
{
    // Fresh helpers both: the engine carries a little state from one text to the next.
    const SpeechRenderer::Settings settings{QStringLiteral("espeak:sit/cmn"), 4, 60};
    m_renderer = std::make_unique<SpeechRenderer>();
    const Audio audio = exportAs(QStringLiteral("exact.wav"), settings);
    Recording made;
    const std::atomic<bool> never{false};
    QVERIFY(SpeechRenderer().render(Story, settings, made, never));
    QCOMPARE(audio.samples.size(), made.pcm.size());
    QVERIFY(audio.samples == made.pcm);
    QFile wav(m_dir.filePath(QStringLiteral("exact.wav")));
    QVERIFY(wav.open(QIODevice::ReadOnly));
    QCOMPARE(wav.read(4), QByteArray("RIFF")); // RF64 only where WAV cannot hold it
    const Audio loud = exportAs(QStringLiteral("loud.wav"), {QStringLiteral("espeak:sit/cmn"), 4, 100});
    QVERIFY(std::abs(audio.rms() / loud.rms() - 0.6) < 0.01);
}

// A book saved in many small parts by two helpers at once: every line's
// time is where its sentence is heard to begin (the end of the pause before
// it), within 35 ms (the LRC's hundredths included), in the last part as
// in the first, so nothing is lost or gained where parts are joined.
void TestExport::subtitlesStayWithTheirSoundAcrossParts()
{
    const QString text = QStringLiteral("第一段里有几句话。天气很好，我们去散步。河边的柳树发芽了！\n"
                                        "老人坐在长椅上看报纸？孩子们在草地上跑来跑去。")
                             .repeated(15);
    ParallelSynthesis synthesis([] { return std::make_unique<SpeechRenderer>(); }, 2, 60);
    const QString target = m_dir.filePath(QStringLiteral("parts.wav"));
    const std::atomic<bool> never{false};
    QVERIFY(Exporter::run(synthesis, {text, target, {}, true}, {}, never));
    QFile wav(target), lrc(Exporter::subtitlePath(target, "lrc"));
    QVERIFY(wav.open(QIODevice::ReadOnly) && lrc.open(QIODevice::ReadOnly));
    std::vector<short> samples;
    QVERIFY(strictWavProblem(wav.readAll(), &samples).isEmpty());
    static const QRegularExpression stamp(QStringLiteral("^\\[(\\d+):(\\d\\d\\.\\d\\d)\\]"));
    const QStringList lines = QString::fromUtf8(lrc.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5 * 15);
    constexpr qsizetype Rate = 22050, Pause = Rate * 6 / 100, Search = Rate / 2;
    QStringList far;
    for (const QString &line : lines.mid(1)) {
        const auto m = stamp.match(line);
        QVERIFY2(m.hasMatch(), qPrintable(line));
        const qsizetype at = qsizetype((m.captured(1).toInt() * 60 + m.captured(2).toDouble()) * Rate);
        // The end of the silent run (the engine writes zeros) nearest the line's time.
        qsizetype nearest = -1, quiet = 0;
        for (qsizetype i = std::max<qsizetype>(0, at - Search); i < std::min<qsizetype>(qsizetype(samples.size()), at + Search); ++i) {
            if (std::abs(samples[std::size_t(i)]) < 64) {
                ++quiet;
                continue;
            }
            if (quiet >= Pause && (nearest < 0 || std::abs(i - at) < std::abs(nearest - at)))
                nearest = i;
            quiet = 0;
        }
        const double offsetMs = nearest < 0 ? 1e9 : (nearest - at) * 1000.0 / Rate;
        if (std::abs(offsetMs) > 35)
            far << QStringLiteral("%1 (%2 ms)").arg(line).arg(offsetMs, 0, 'f', 0);
    }
    QVERIFY2(far.isEmpty(), qPrintable(far.join(u'\n')));
}

// Real helpers carry a little of one text into the next, so parts rendered
// by two helpers cannot be sample for sample what one makes; the words must
// be the same ones, in order, at nearly the same times.
void TestExport::jobsGiveTheSameSpeech()
{
    const QString book = Story.repeated(6);
    const std::atomic<bool> never{false};
    const auto helpers = [] { return std::make_unique<SpeechRenderer>(); };
    Recording serial, parallel;
    QVERIFY(ParallelSynthesis(helpers, 1, 50).render(book, {}, serial, never));
    QVERIFY(ParallelSynthesis(helpers, 2, 50).render(book, {}, parallel, never));
    QCOMPARE(parallel.words.size(), serial.words.size());
    const double total = double(serial.pcm.size());
    QVERIFY(std::abs(double(parallel.pcm.size()) - total) < total * 0.01);
    for (qsizetype i = 0; i < serial.words.size(); ++i) {
        QCOMPARE(parallel.words[i].second, serial.words[i].second);
        QVERIFY(std::abs(double(parallel.words[i].first - serial.words[i].first)) < total * 0.01);
    }
}

// A helper killed while it renders its part: a new one says that part again,
// so the book has every word once, in order.
void TestExport::helperKilledMidBookIsReplaced()
{
    const QString book = Story.repeated(60);
    const std::atomic<bool> never{false};
    const auto helpers = [] { return std::make_unique<SpeechRenderer>(); };
    Recording serial, parallel;
    QVERIFY(ParallelSynthesis(helpers, 1, 200).render(book, {}, serial, never));
    ParallelSynthesis synthesis(helpers, 2, 200);
    // Our helpers are our children; the newest is the second job's.
    std::thread killer([] {
        for (int tries = 0; tries < 400; ++tries) {
            QProcess list;
            list.start(QStringLiteral("pgrep"), {"-n", "-P", QString::number(getpid()), "sayrella-synth"});
            list.waitForFinished();
            const pid_t helper = list.readAllStandardOutput().trimmed().toInt();
            if (helper > 0) {
                QThread::msleep(30);
                ::kill(helper, SIGKILL);
                return;
            }
            QThread::msleep(5);
        }
    });
    const bool finished = synthesis.render(book, {}, parallel, never);
    killer.join();
    QVERIFY(finished);
    QCOMPARE(parallel.words.size(), serial.words.size());
    for (qsizetype i = 0; i < serial.words.size(); ++i)
        QCOMPARE(parallel.words[i].second, serial.words[i].second);
}

void TestExport::subtitlesFollowTheWords()
{
    QString text;
    for (int i = 1; i <= 8; ++i)
        text += QStringLiteral("这是第%1句话，它很短。").arg(i);
    text += QStringLiteral(
        "最后一句比较长，长到一行放不下，所以字幕要在词语之间把它分成两段，每段不超过两行，读起来才舒服。");
    const std::atomic<bool> never{false};
    const QString target = m_dir.filePath(QStringLiteral("lesson.wav"));
    // Fresh helpers both, so the words recorded are those of the saved audio.
    m_renderer = std::make_unique<SpeechRenderer>();
    QVERIFY(Exporter::run(*m_renderer, {text, target, {}, true}, {}, never));
    Recording made;
    QVERIFY(SpeechRenderer().render(text, {}, made, never));

    QFile lrc(Exporter::subtitlePath(target, "lrc")), srt(Exporter::subtitlePath(target, "srt"));
    QVERIFY(lrc.open(QIODevice::ReadOnly) && srt.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(lrc.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 9); // a line per sentence
    static const QRegularExpression lrcLine(QStringLiteral("^\\[(\\d+):(\\d\\d)\\.(\\d\\d)\\](.+)$"));
    double last = -1;
    qsizetype searchFrom = 0;
    for (const QString &line : lines) {
        const auto m = lrcLine.match(line);
        QVERIFY2(m.hasMatch(), qPrintable(line));
        const double at = m.captured(1).toInt() * 60 + m.captured(2).toInt() + m.captured(3).toInt() / 100.0;
        QVERIFY(at > last);
        last = at;
        // At the first word of the sentence, as the highlight has it.
        const qsizetype sentence = text.indexOf(m.captured(4), searchFrom);
        QVERIFY2(sentence >= 0, qPrintable(m.captured(4)));
        searchFrom = sentence + 1;
        const auto first =
            std::find_if(made.words.cbegin(), made.words.cend(), [&](const auto &w) { return w.second >= sentence; });
        QVERIFY(first != made.words.cend());
        QVERIFY2(std::abs(at - first->first / double(m_renderer->sampleRate())) < 0.01, qPrintable(line));
    }
    // SRT: numbered cues, back to back, none longer than about two lines.
    const QStringList cues = QString::fromUtf8(srt.readAll()).split(QStringLiteral("\n\n"), Qt::SkipEmptyParts);
    QVERIFY(cues.size() > lines.size()); // the long sentence was split
    QString previousEnd;
    for (qsizetype i = 0; i < cues.size(); ++i) {
        const QStringList parts = cues[i].split(u'\n');
        QCOMPARE(parts.value(0), QString::number(i + 1));
        const QStringList times = parts.value(1).split(QStringLiteral(" --> "));
        QCOMPARE(times.size(), 2);
        QVERIFY(times[0] < times[1]);
        if (!previousEnd.isEmpty())
            QCOMPARE(times[0], previousEnd);
        previousEnd = times[1];
        QVERIFY2(parts.value(2).size() <= 40, qPrintable(parts.value(2)));
    }
}

void TestExport::sentencesEndWhereTheirMarksDo_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("sentences");
    QTest::newRow("opening bracket after a full stop")
        << "他来了。（后来又走了。）然后呢？" << QStringList{"他来了。", "（后来又走了。）", "然后呢？"};
    QTest::newRow("opening quote after a full stop") << "他说完了。“好吧。”" << QStringList{"他说完了。", "“好吧。”"};
    QTest::newRow("closing marks stay") << "“走吧。”他说。" << QStringList{"“走吧。”", "他说。"};
    QTest::newRow("English with a space") << "It ended. (Then more.)" << QStringList{"It ended.", "(Then more.)"};
}

// Each sentence's words: one word at each sentence's first character.
void TestExport::sentencesEndWhereTheirMarksDo()
{
    QFETCH(QString, text);
    QFETCH(QStringList, sentences);
    QList<Subtitles::Word> words;
    qsizetype at = 0;
    for (const QString &sentence : sentences) {
        at = text.indexOf(sentence, at);
        words.append({at * 100, qint32(at), 1});
        at += sentence.size();
    }
    QStringList read;
    for (const Subtitles::Cue &cue : Subtitles::sentences(text, words, text.size() * 100))
        read << cue.text;
    QCOMPARE(read, sentences);
}

void TestExport::nothingPartialIsEverLeft_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("cancelled") << "cancel";
    QTest::newRow("folder cannot be written") << "unwritable";
    QTest::newRow("disk full") << "full";
}

// Whatever stops a save, no partial file is left under the target's name
// and an existing file of that name is as it was.
void TestExport::nothingPartialIsEverLeft()
{
    QFETCH(QString, how);
    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(folder));
    if (how == u"full") {
        if (mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("no tmpfs can be mounted here");
    }
    const QString target = folder + QStringLiteral("/story.mp3");
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("the old file");
    old.close();
    const QByteArray folderPath = QFile::encodeName(folder);
    if (how == u"unwritable") {
        // Root writes into any folder whatever its permissions; a read-only mount stops it too.
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        if (geteuid() == 0
            && (mount(folderPath.constData(), folderPath.constData(), nullptr, MS_BIND, nullptr) != 0
                || mount(nullptr, folderPath.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0))
            QSKIP("no read-only mount can be made here");
    }
    std::atomic<bool> cancel{false};
    bool finished = false;
    QString failure;
    try {
        finished = Exporter::run(
            *m_renderer, {Story.repeated(20), target, {}, true},
            [&](const Exporter::Progress &) { cancel = how == u"cancel"; }, cancel);
    } catch (const Failure &f) {
        failure = f.description();
    }
    if (how == u"full" || (how == u"unwritable" && geteuid() == 0))
        umount(folderPath.constData());
    QVERIFY(!finished);
    if (how != u"cancel")
        QVERIFY2(failure.contains(target.section(u'/', -1)) || failure.contains(folder), qPrintable(failure));
    if (how == u"full")
        return; // what was written went with the file system
    QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QCOMPARE(namesIn(folder), QStringList{"story.mp3"});
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("the old file"));
}

// A disk with room for the audio and the LRC but not the SRT: the audio
// used to be put in place before the subtitles were written, and stayed.
void TestExport::subtitlesThatCannotBeWrittenLeaveNoAudio()
{
    const std::atomic<bool> never{false};
    QTemporaryDir measure;
    const QString measured = measure.filePath(QStringLiteral("story.wav"));
    SpeechRenderer first;
    QVERIFY(Exporter::run(first, {Story, measured, {}, true}, {}, never));
    const auto pages = [](qint64 bytes) { return (bytes + 4095) / 4096; };
    const qint64 room = pages(QFileInfo(measured).size()) + pages(QFileInfo(Exporter::subtitlePath(measured, "lrc")).size());
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    if (geteuid() != 0
        || mount("tmpfs", folder.constData(), "tmpfs", 0, QByteArray("size=" + QByteArray::number(room * 4096)).constData())
            != 0)
        QSKIP("no tmpfs can be mounted here");
    SpeechRenderer second;
    bool failed = false;
    try {
        Exporter::run(second, {Story, dir.filePath(QStringLiteral("story.wav")), {}, true}, {}, never);
    } catch (const Failure &failure) {
        failed = failure.reason() == Failure::Reason::FileUnwritable;
    }
    const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    umount(folder.constData());
    QVERIFY(failed);
    QCOMPARE(left, QStringList{});
}

void TestExport::fullDiskEndsTheSaveNotTheProgram_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("subtitles");
    QTest::newRow("WAV") << "book.wav" << false;
    QTest::newRow("MP3") << "book.mp3" << false;
    QTest::newRow("WAV with subtitles") << "book.wav" << true;
}

// A disk that fills up in the middle of a book, saved with every core as
// the program saves: the save ends with its reason, every helper is
// stopped and joined, the temporary goes, and the same helpers save the
// next book. Twice in a row, since a second failure finds what the first left.
void TestExport::fullDiskEndsTheSaveNotTheProgram()
{
    QFETCH(QString, name);
    QFETCH(bool, subtitles);
    QTemporaryDir dir;
    const SmallDisk disk(dir.path());
    if (!disk.mounted)
        QSKIP("no tmpfs can be mounted here");
    ParallelSynthesis synthesis([] { return std::make_unique<SpeechRenderer>(); }, 2, 200);
    const std::atomic<bool> never{false};
    for (int attempt = 0; attempt < 2; ++attempt) {
        Failure::Reason reason = Failure::Reason::Unspecified;
        QString why;
        try {
            Exporter::run(synthesis, {Story.repeated(60), dir.filePath(name), {}, subtitles}, {}, never);
        } catch (const Failure &failure) {
            reason = failure.reason();
            why = failure.description();
        }
        const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(reason == Failure::Reason::FileUnwritable, qPrintable(QStringLiteral("attempt %1: %2").arg(attempt).arg(why)));
        QVERIFY2(why.contains(QStringLiteral("磁盘已满")), qPrintable(why));
        QCOMPARE(left, QStringList{});
    }
    QTemporaryDir roomy;
    QVERIFY(Exporter::run(synthesis, {Story, roomy.filePath(name), {}, subtitles}, {}, never));
    QVERIFY(readBack(roomy.filePath(name)).rms() > 500);
}

// The command line says why and ends with the status for a file it could
// not write (73), its temporary gone, instead of aborting.
void TestExport::fullDiskOnTheCommandLine()
{
    QTemporaryDir dir;
    const SmallDisk disk(dir.path());
    if (!disk.mounted)
        QSKIP("no tmpfs can be mounted here");
    QProcess program;
    program.start(QStringLiteral(SAYRELLA_PROGRAM), {QStringLiteral("--export"), dir.filePath(QStringLiteral("book.wav")),
                                                     QStringLiteral("-")});
    program.write(Story.repeated(12).toUtf8());
    program.closeWriteChannel();
    const bool ended = program.waitForFinished(60000);
    const QString printed = QString::fromUtf8(program.readAllStandardError());
    const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    QVERIFY(ended);
    QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 73,
             qPrintable(QStringLiteral("%1: %2").arg(program.exitCode()).arg(printed)));
    QVERIFY2(printed.contains(QStringLiteral("磁盘已满")), qPrintable(printed));
    QCOMPARE(left, QStringList{});
}

void TestExport::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input"); // standard input
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("made"); // files in the output folder afterwards
    QTest::addColumn<QString>("says"); // part of what is printed
    const QString story = m_dir.filePath(QStringLiteral("cli-story.txt"));
    QFile file(story);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(Story.toUtf8());
    file.close();
    const QString other = m_dir.filePath(QStringLiteral("cli-other.md"));
    QVERIFY(QFile::copy(story, other));
    QTest::newRow("one file") << QStringList{"--export", "OUT/a.ogg", "--subtitles", story} << QByteArray() << 0
                              << QStringList{"a.lrc", "a.ogg", "a.srt"} << "";
    QTest::newRow("standard input") << QStringList{"--export", "OUT/in.wav", "--rate", "5", "-"} << Story.toUtf8() << 0
                                    << QStringList{"in.wav"} << "";
    QTest::newRow("a folder of inputs") << QStringList{"--export", "OUT", "--format", "flac", story, other}
                                        << QByteArray() << 0 << QStringList{"cli-other.flac", "cli-story.flac"} << "";
    QTest::newRow("existing file") << QStringList{"--export", "OUT/taken.wav", story} << QByteArray() << 73
                                   << QStringList{"taken.wav"} << "--force";
    QTest::newRow("existing file, forced") << QStringList{"--export", "OUT/taken.wav", "--force", story} << QByteArray()
                                           << 0 << QStringList{"taken.wav"} << "";
    QTest::newRow("existing subtitles") << QStringList{"--export", "OUT/old.wav", "--subtitles", story} << QByteArray()
                                        << 73 << QStringList{} << "old.srt";
    QTest::newRow("unknown extension") << QStringList{"--export", "OUT/a.xyz", story} << QByteArray() << 65
                                       << QStringList{} << "MP3";
    QTest::newRow("missing input") << QStringList{"--export", "OUT/a.wav", "/nonexistent/story.txt"} << QByteArray()
                                   << 66 << QStringList{} << "/nonexistent/story.txt";
    QTest::newRow("rate out of range") << QStringList{"--export", "OUT/a.wav", "--rate", "11", story} << QByteArray()
                                       << 2 << QStringList{} << "-10";
    QTest::newRow("no input") << QStringList{"--export", "OUT/a.wav"} << QByteArray() << 2 << QStringList{} << "";
    QTest::newRow("unknown voice") << QStringList{"--export", "OUT/a.wav", "--voice", "espeak:none", story}
                                   << QByteArray() << 69 << QStringList{} << "espeak:none";
    QTest::newRow("binary input") << QStringList{"--export", "OUT/a.wav", "-"} << QByteArray("\x7f" "ELF\0\0\0", 7) << 65
                                  << QStringList{} << "";
    const QString binary = m_dir.filePath(QStringLiteral("cli-binary.txt"));
    QFile binaryFile(binary);
    QVERIFY(binaryFile.open(QIODevice::WriteOnly));
    binaryFile.write(QByteArray("\x7f" "ELF\0\0\0", 7));
    binaryFile.close();
    QTest::newRow("first failure decides") << QStringList{"--export", "OUT", "/nonexistent/a.txt", binary}
                                           << QByteArray() << 66 << QStringList{} << "cli-binary.txt";
    // The inputs that can be read are saved; the status is still a failure's.
    QTest::newRow("a missing input among good ones")
        << QStringList{"--export", "OUT", "--format", "flac", story, "/nonexistent/b.txt", other} << QByteArray() << 66
        << QStringList{"cli-other.flac", "cli-story.flac"} << "b.txt";
    QTest::newRow("two jobs") << QStringList{"--export", "OUT/a.flac", "--jobs", "2", story} << QByteArray() << 0
                              << QStringList{"a.flac"} << "";
    QTest::newRow("no jobs") << QStringList{"--export", "OUT/a.wav", "--jobs", "0", story} << QByteArray() << 2
                             << QStringList{} << "--jobs";
    const QString chapters = m_dir.filePath(QStringLiteral("cli-chapters.txt"));
    QFile chaptersFile(chapters);
    QVERIFY(chaptersFile.open(QIODevice::WriteOnly));
    chaptersFile.write("第一章 春\n柳树发芽了。\n第二章 夏\n雨来了。\n");
    chaptersFile.close();
    QTest::newRow("list chapters") << QStringList{"--list-chapters", chapters} << QByteArray() << 0 << QStringList{}
                                   << "  2\t第二章 夏";
    // A web page's headings come from Qt's text layout, which the program
    // sets up without a window or a display.
    const QString page = m_dir.filePath(QStringLiteral("cli-chapters.html"));
    QFile pageFile(page);
    QVERIFY(pageFile.open(QIODevice::WriteOnly));
    pageFile.write("<html><body><h1>春</h1><p>柳树发芽了。</p><h1>夏</h1><p>雨来了。</p></body></html>");
    pageFile.close();
    QTest::newRow("list chapters of a web page")
        << QStringList{"--list-chapters", page} << QByteArray() << 0 << QStringList{} << "  2\t夏";
    QTest::newRow("split by chapters") << QStringList{"--export", "OUT/书.ogg", "--split", "chapters", chapters}
                                       << QByteArray() << 0
                                       << QStringList{"书 01 第一章 春.ogg", "书 02 第二章 夏.ogg", "书.m3u8"} << "";
    QTest::newRow("split, bad minutes") << QStringList{"--export", "OUT/a.ogg", "--split", "minutes:0", chapters}
                                        << QByteArray() << 2 << QStringList{} << "minutes:N";
    QTest::newRow("list voices") << QStringList{"--list-voices"} << QByteArray() << 0 << QStringList{}
                                 << "espeak:sit/cmn\t";
}

void TestExport::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QStringList, made);
    QFETCH(QString, says);
    QTemporaryDir out;
    // Files that were there before: an audio file and someone's subtitles.
    const QStringList before{"old.srt", "taken.wav"};
    for (const QString &name : before) {
        QFile taken(out.filePath(name));
        QVERIFY(taken.open(QIODevice::WriteOnly));
    }
    QStringList args;
    for (const QString &a : arguments)
        args << QString(a).replace(QStringLiteral("OUT"), out.path());
    QProcess program;
    // No display, no platform chosen, no sound server.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "PULSE_SERVER"})
        environment.remove(QString::fromLatin1(name));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(SAYRELLA_PROGRAM), args);
    program.write(input);
    program.closeWriteChannel();
    QVERIFY(program.waitForFinished(60000));
    const QString printed = QString::fromUtf8(program.readAllStandardOutput() + program.readAllStandardError());
    QVERIFY2(program.exitCode() == status, qPrintable(QStringLiteral("%1: %2").arg(program.exitCode()).arg(printed)));
    QVERIFY2(printed.contains(says), qPrintable(printed));
    QStringList expected = made;
    for (const QString &name : before)
        if (!expected.contains(name))
            expected << name;
    expected.sort();
    QCOMPARE(namesIn(out.path()), expected);
    for (const QString &name : std::as_const(made))
        if (!name.endsWith(u"lrc") && !name.endsWith(u"srt") && !name.endsWith(u"m3u8") && name != u"taken.wav")
            QVERIFY2(readBack(out.filePath(name)).rms() > 500, qPrintable(name));
}

namespace {

QProcess *startProgram(const QStringList &arguments)
{
    auto *program = new QProcess;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "PULSE_SERVER"})
        environment.remove(QString::fromLatin1(name));
    program->setProcessEnvironment(environment);
    program->start(QStringLiteral(SAYRELLA_PROGRAM), arguments);
    return program;
}

// Everything in folder, hidden files and links included.
QStringList entriesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

// The existence check used to follow the link: a link to nowhere was taken
// for a free name and replaced without --force.
void TestExport::danglingLinkIsNotOverwritten()
{
    QTemporaryDir out;
    const QString link = out.filePath(QStringLiteral("link.wav"));
    QVERIFY(QFile::link(out.filePath(QStringLiteral("nowhere.wav")), link));
    std::unique_ptr<QProcess> program(startProgram({"--export", link, "-"}));
    program->write(Story.toUtf8());
    program->closeWriteChannel();
    QVERIFY(program->waitForFinished(60000));
    QCOMPARE(program->exitCode(), 73); // taken: cannot create
    QVERIFY(QString::fromUtf8(program->readAllStandardError()).contains(QStringLiteral("--force")));
    QCOMPARE(QFileInfo(link).symLinkTarget(), out.filePath(QStringLiteral("nowhere.wav")));
}

void TestExport::interruptedSaveLeavesNothing_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT (Ctrl+C)") << int(SIGINT);
}

// Stopped mid-save, the command line cancels: no target, no temporary,
// and the shell hears that a signal ended it.
void TestExport::interruptedSaveLeavesNothing()
{
    QFETCH(int, signal);
    QTemporaryDir out;
    const QString story = out.filePath(QStringLiteral("long.txt"));
    QFile file(story);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(Story.repeated(200).toUtf8());
    file.close();
    const QString target = out.filePath(QStringLiteral("long.flac"));
    std::unique_ptr<QProcess> program(startProgram({"--export", target, story}));
    // Under way once its temporary is there.
    QTRY_VERIFY_WITH_TIMEOUT(entriesIn(out.path()).size() > 1, 30000);
    ::kill(pid_t(program->processId()), signal);
    QVERIFY(program->waitForFinished(10000));
    QCOMPARE(program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->exitCode(), 128 + signal);
    QCOMPARE(entriesIn(out.path()), QStringList{"long.txt"});
}

void TestExport::staleTemporariesAreClearedByTheNextSave_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("ageSeconds");
    QTest::addColumn<bool>("locked"); // a save in progress holds it
    QTest::addColumn<bool>("removed");
    QTest::newRow("left by a killed save") << ".book.wav.aB3xY9" << 3600 << false << true;
    QTest::newRow("subtitles left behind") << ".book.srt.Qw12Er" << 3600 << false << true;
    QTest::newRow("a save in progress") << ".book.wav.Zz9Yy8" << 3600 << true << false;
    QTest::newRow("just made") << ".book.wav.Mn4Op5" << 0 << false << false;
    QTest::newRow("not ours: other extension") << ".notes.txt.aB3xY9" << 3600 << false << false;
    QTest::newRow("not ours: not hidden") << "book.wav.aB3xY9" << 3600 << false << false;
    QTest::newRow("not ours: other suffix") << ".book.wav.part" << 3600 << false << false;
}

void TestExport::staleTemporariesAreClearedByTheNextSave()
{
    QFETCH(QString, name);
    QFETCH(int, ageSeconds);
    QFETCH(bool, locked);
    QFETCH(bool, removed);
    QTemporaryDir folder;
    QFile file(folder.filePath(name));
    QVERIFY(file.open(QIODevice::ReadWrite));
    file.write("RIFF");
    file.flush();
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds), QFileDevice::FileModificationTime));
    if (locked)
        QCOMPARE(flock(file.handle(), LOCK_EX), 0);
    QCOMPARE(SafeOutput::removeStaleTemporaries(folder.path()), removed ? 1 : 0);
    QCOMPARE(QFileInfo::exists(folder.filePath(name)), !removed);
}

void TestExport::replacedFileKeepsItsPermissions_data()
{
    QTest::addColumn<int>("before"); // -1: no file there yet
    QTest::addColumn<int>("after");
    QTest::newRow("new file") << -1 << 0644;
    QTest::newRow("private file replaced") << 0600 << 0600;
    QTest::newRow("shared file replaced") << 0664 << 0664;
}

void TestExport::replacedFileKeepsItsPermissions()
{
    QFETCH(int, before);
    QFETCH(int, after);
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("speech.lrc"));
    if (before >= 0) {
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.close();
        QCOMPARE(chmod(QFile::encodeName(target).constData(), mode_t(before)), 0);
    }
    {
        SafeOutput output(target);
        QCOMPARE(::write(output.fd(), "[00:00.00]", 10), ssize_t(10));
        output.commit();
    }
    struct stat status;
    QCOMPARE(stat(QFile::encodeName(target).constData(), &status), 0);
    QCOMPARE(int(status.st_mode & 07777), after);
}

// Every WAV a book of less than 27 hours makes reads in the plainest reader
// there is, with its tags (title of odd and even length) after the samples.
void TestExport::smallWavIsPlainPcm_data()
{
    QTest::addColumn<int>("samples");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("track");
    QTest::newRow("nothing said") << 0 << QString() << 0;
    QTest::newRow("one sample") << 1 << QString() << 0;
    QTest::newRow("a second, no tags") << 22050 << QString() << 0;
    QTest::newRow("a second, odd title") << 22050 << QStringLiteral("春") << 0; // 3 bytes + NUL: even
    QTest::newRow("a second, even title") << 22050 << QStringLiteral("春a") << 2; // 4 bytes + NUL: padded
    QTest::newRow("several blocks") << 22050 * 30 << QStringLiteral("第一章 春") << 1;
}

void TestExport::smallWavIsPlainPcm()
{
    QFETCH(int, samples);
    QFETCH(QString, title);
    QFETCH(int, track);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("plain.wav"));
    std::vector<int16_t> written(static_cast<std::size_t>(samples));
    for (std::size_t i = 0; i < written.size(); ++i)
        written[i] = int16_t((i * 7919) % 65536 - 32768);
    {
        AudioFileWriter writer(path, AudioFormat::Wav, 22050, {title, QStringLiteral("张三"), QString(), track, track ? 3 : 0});
        for (std::size_t at = 0; at < written.size(); at += 100000)
            writer.write(written.data() + at, std::min<std::size_t>(100000, written.size() - at));
        writer.finish();
        writer.commit();
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    std::vector<short> read;
    const QString problem = strictWavProblem(file.readAll(), &read);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY(std::equal(read.begin(), read.end(), written.begin(), written.end()));
    SF_INFO info{};
    SNDFILE *sound = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    QVERIFY(sound);
    QCOMPARE(qint64(info.frames), qint64(samples));
    QCOMPARE(QString::fromUtf8(sf_get_string(sound, SF_STR_TITLE)), title);
    QCOMPARE(QString::fromUtf8(sf_get_string(sound, SF_STR_ARTIST)), QStringLiteral("张三"));
    sf_close(sound);
}

// RIFF's size counts all of the file but its first 8 bytes, tags included:
// the largest file that still fits stays plain, two bytes more is RF64.
void TestExport::wavBecomesRf64OnlyPastItsSizeFields_data()
{
    QTest::addColumn<quint64>("dataBytes");
    QTest::addColumn<quint64>("trailing");
    QTest::addColumn<bool>("rf64");
    const quint64 most = 0xFFFFFFFFull - 36;
    QTest::newRow("a book") << quint64(190) << quint64(0) << false;
    QTest::newRow("the last that fits") << most << quint64(0) << false;
    QTest::newRow("one sample more") << most + 2 << quint64(0) << true;
    QTest::newRow("fits only without its tags") << most - 40 << quint64(42) << true;
    QTest::newRow("fits with its tags") << most - 42 << quint64(42) << false;
}

void TestExport::wavBecomesRf64OnlyPastItsSizeFields()
{
    QFETCH(quint64, dataBytes);
    QFETCH(quint64, trailing);
    QFETCH(bool, rf64);
    QCOMPARE(WavFile::needsRf64(dataBytes, trailing), rf64);
}

// WAV's size fields stop at 4 GiB, about 27 hours of speech: a longer book
// is written as RF64 (a smaller one stays plain WAV, as every player reads).
void TestExport::wavPast4GiBIsRf64()
{
    if (qEnvironmentVariableIsEmpty("SAYRELLA_LARGE_FILE_TEST"))
        QSKIP("writes 4.3 GB: set SAYRELLA_LARGE_FILE_TEST=1");
    // In memory where there is room for it: 4.3 GB written to a disk would
    // slow every other test running meanwhile.
    const bool inMemory = QStorageInfo(QStringLiteral("/dev/shm")).bytesAvailable() > (qint64(6) << 30);
    QTemporaryDir folder(inMemory ? QStringLiteral("/dev/shm/sayrella-test-XXXXXX") : QString());
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("long.wav"));
    const std::vector<int16_t> block(std::size_t(1) << 20, 1000);
    const qint64 blocks = ((qint64(1) << 32) / 2 / qint64(block.size())) + 16;
    {
        AudioFileWriter writer(path, AudioFormat::Wav, 22050, {QStringLiteral("长书")});
        for (qint64 i = 0; i < blocks; ++i)
            writer.write(block.data(), block.size());
        writer.finish();
        writer.commit();
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.read(4), QByteArray("RF64"));
    SF_INFO info{};
    SNDFILE *sound = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    QVERIFY(sound);
    QCOMPARE(qint64(info.frames), blocks * qint64(block.size()));
    QCOMPARE(QString::fromUtf8(sf_get_string(sound, SF_STR_TITLE)), QStringLiteral("长书"));
    // The samples moved up whole to make room for the 64-bit sizes: the
    // first and the last are where they belong.
    std::vector<short> ends(block.size());
    QCOMPARE(sf_readf_short(sound, ends.data(), sf_count_t(ends.size())), sf_count_t(ends.size()));
    QVERIFY(ends.front() == 1000 && ends.back() == 1000);
    sf_seek(sound, -sf_count_t(ends.size()), SEEK_END);
    QCOMPARE(sf_readf_short(sound, ends.data(), sf_count_t(ends.size())), sf_count_t(ends.size()));
    QVERIFY(ends.front() == 1000 && ends.back() == 1000);
    sf_close(sound);
}

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
