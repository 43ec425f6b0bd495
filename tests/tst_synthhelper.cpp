// SPDX-License-Identifier: GPL-3.0-or-later
// The reader's side of the synthesis helper, with helpers that misbehave on
// purpose (tests/helpers/test_synth: slow to start speaking, crashing,
// hanging, talking nonsense) and with the real, confined sayrella-synth.
#include "platform/Failure.h"
#include "playback/EspeakVoice.h"
#include "speech/helper/HelperAllowance.h"
#include "speech/helper/SpeechRenderer.h"
#include "support/MonitorRecorder.h"
#include "support/WordLog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

namespace {

constexpr double SpeechRms = 300;

std::unique_ptr<EspeakVoice> testVoice(const QStringList &arguments, int silenceTimeoutMs = 5000)
{
    EspeakVoice::Options options;
    options.helperProgram = QStringLiteral(TEST_SYNTH);
    options.helperArguments = arguments;
    options.silenceTimeoutMs = silenceTimeoutMs;
    options.userVoiceFolder = QStringLiteral("/nonexistent");
    return std::make_unique<EspeakVoice>(options);
}

} // namespace

class TestSynthHelper : public QObject
{
    Q_OBJECT

private slots:
    void speechIsHeardHoweverLateItsFirstSamples_data();
    void speechIsHeardHoweverLateItsFirstSamples();
    void brokenHelperIsReplacedAndReportedOnce_data();
    void brokenHelperIsReplacedAndReportedOnce();
    void synchronousSpeakEndsWhenTheHelperFails_data();
    void synchronousSpeakEndsWhenTheHelperFails();
    void idleTimeIsNotTakenForAHang();
    void missingHelperIsAFailure();
    void realHelperRunsConfined();
    void engineWarningsDoNotEndTheHelper();
    void realHelperKilledMidSpeechIsReplaced();
    void everyHelperDeathIsReported();
    void floodingHelperIsEnded_data();
    void floodingHelperIsEnded();
    void renderingGoesOnAfterAFailedText();
    void renderingSurvivesWhatAHelperMaySend_data();
    void renderingSurvivesWhatAHelperMaySend();
};

void TestSynthHelper::speechIsHeardHoweverLateItsFirstSamples_data()
{
    QTest::addColumn<int>("delayMs");
    for (int delay : {0, 5, 20, 100, 500, 2000})
        QTest::addRow("%d ms", delay) << delay;
}

// A sink that found nothing to play at its start used to stay idle for the
// whole session, while the first word was highlighted as if heard.
void TestSynthHelper::speechIsHeardHoweverLateItsFirstSamples()
{
    QFETCH(int, delayMs);
    auto voice = testVoice({QStringLiteral("--first-sample-delay"), QString::number(delayMs)});
    WordLog log(*voice);
    QElapsedTimer clock;
    clock.start();
    voice->Speak(QStringLiteral("one two three four five six seven eight nine ten"), ReaderSpeakFlags);
    QTest::qWait(delayMs);
    // Nothing exists to be heard yet, so no word may be raised as heard.
    QVERIFY2(log.entries.isEmpty() || log.entries.first().atMs >= delayMs - 5, qPrintable(QString::number(delayMs)));
    QTest::qWait(150);
    QVERIFY(MonitorRecorder::rms(MonitorRecorder::record(600)) > SpeechRms);
    QVERIFY(log.waitForCount(3, 3000));
}

void TestSynthHelper::brokenHelperIsReplacedAndReportedOnce_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<Failure::Reason>("reason");
    QTest::addColumn<QString>("names"); // what the description must name: how the helper ended
    QTest::newRow("crash") << "crash" << Failure::Reason::EngineFailed << QStringLiteral("信号"); // 11, or 6 under a sanitizer
    QTest::newRow("exit") << "exit" << Failure::Reason::EngineFailed << QStringLiteral("状态 3");
    QTest::newRow("garbage") << "garbage" << Failure::Reason::EngineFailed << QString();
    QTest::newRow("hang") << "hang" << Failure::Reason::EngineHung << QString();
}

void TestSynthHelper::brokenHelperIsReplacedAndReportedOnce()
{
    QFETCH(QString, mode);
    QFETCH(Failure::Reason, reason);
    QFETCH(QString, names);
    auto voice = testVoice({QStringLiteral("--on-speak"), mode}, 800);
    QSignalSpy failures(voice.get(), &SpVoice::failed);
    const pid_t first = voice->helperPid();
    voice->Speak(QStringLiteral("say BOOM now"), ReaderSpeakFlags);
    QVERIFY(failures.wait(5000));
    QTest::qWait(1000); // past the 800 ms a false report of a hang would take
    QCOMPARE(failures.size(), 1);
    QCOMPARE(failures.first().at(0).value<Failure::Reason>(), reason);
    QVERIFY2(failures.first().at(1).toString().contains(names), qPrintable(failures.first().at(1).toString()));
    QCOMPARE(voice->state(), SpVoice::State::Error);
    QVERIFY(first <= 0 || kill(first, 0) != 0); // the broken one is gone, not left behind

    // The next text is spoken by a fresh helper, and heard.
    WordLog log(*voice);
    voice->Speak(QStringLiteral("one two three four five six"), ReaderSpeakFlags);
    QVERIFY(log.waitForCount(2, 5000));
    QVERIFY(voice->helperPid() > 0 && voice->helperPid() != first);
    QCOMPARE(failures.size(), 1);
}

void TestSynthHelper::synchronousSpeakEndsWhenTheHelperFails_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("crash") << "crash";
    QTest::newRow("hang") << "hang";
}

void TestSynthHelper::synchronousSpeakEndsWhenTheHelperFails()
{
    QFETCH(QString, mode);
    auto voice = testVoice({QStringLiteral("--on-speak"), mode}, 800);
    QElapsedTimer clock;
    clock.start();
    voice->Speak(QStringLiteral("BOOM"), SVSFDefault);
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QSignalSpy failures(voice.get(), &SpVoice::failed);
    QVERIFY(failures.wait(1000)); // reported once the UI thread is free again
}

// A Speak after the reader had been idle longer than the hang limit used to
// find the limit already spent: the helper was killed as hung before it could
// answer, and the person was shown a failure.
void TestSynthHelper::idleTimeIsNotTakenForAHang()
{
    auto voice = testVoice({QStringLiteral("--first-sample-delay"), QStringLiteral("100")}, 400);
    QSignalSpy failures(voice.get(), &SpVoice::failed);
    voice->Speak(QStringLiteral("one two"), 0);
    QTest::qWait(700);
    voice->Speak(QStringLiteral("three four"), 0);
    QTest::qWait(200);
    QCOMPARE(failures.count(), 0);
}

void TestSynthHelper::missingHelperIsAFailure()
{
    EspeakVoice::Options options;
    options.helperProgram = QStringLiteral("/nonexistent/sayrella-synth");
    QVERIFY_THROWS_EXCEPTION(Failure, EspeakVoice{options});
}

// Every thread, the engine's own included: a thread left out would be a
// way out of the sandbox for code that a text got running.
void TestSynthHelper::realHelperRunsConfined()
{
    EspeakVoice voice;
    WordLog log(voice);
    voice.Speak(QStringLiteral("今天天气很好。"), ReaderSpeakFlags);
    QVERIFY(log.waitForCount(1, 5000));
    const QString tasks = QStringLiteral("/proc/%1/task").arg(voice.helperPid());
    const QStringList threads = QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QVERIFY2(threads.size() >= 2, qPrintable(threads.join(u' '))); // the engine starts a thread of its own
    for (const QString &thread : threads) {
        QFile status(tasks + u'/' + thread + QStringLiteral("/status"));
        QVERIFY(status.open(QIODevice::ReadOnly));
        const QByteArray text = status.readAll();
        QVERIFY2(text.contains("NoNewPrivs:\t1"), text.constData());
        QVERIFY2(text.contains("Seccomp:\t2"), text.constData());
    }
    // Nothing of the reader's terminal or session.
    QVERIFY(getsid(voice.helperPid()) == voice.helperPid());
    QCOMPARE(QFileInfo(QStringLiteral("/proc/%1/fd/2").arg(voice.helperPid())).symLinkTarget(),
             QStringLiteral("/dev/null"));
}

// A reader started from a session whose errors go to a file: the helper's
// file-size cap of 0 used to kill it at the engine's first warning.
void TestSynthHelper::engineWarningsDoNotEndTheHelper()
{
    QTemporaryDir voices;
    QFile voiceFile(voices.filePath(QStringLiteral("warns")));
    QVERIFY(voiceFile.open(QIODevice::WriteOnly));
    voiceFile.write("name 会警告的语音\nlanguage cmn\ntunes no-such-tune\nphonemes no-such-table\n");
    voiceFile.close();
    QTemporaryFile log;
    QVERIFY(log.open());
    const int savedStderr = dup(STDERR_FILENO);
    dup2(log.handle(), STDERR_FILENO);
    const auto restore = qScopeGuard([&] {
        dup2(savedStderr, STDERR_FILENO);
        close(savedStderr);
    });
    EspeakVoice::Options options;
    options.userVoiceFolder = voices.path();
    EspeakVoice voice(options);
    QSignalSpy failures(&voice, &SpVoice::failed);
    WordLog words(voice);
    voice.setVoice(voice.GetVoices({}, {}).Item(0));
    voice.Speak(QStringLiteral("今天天气很好，我们一起去公园散步。"), ReaderSpeakFlags);
    QVERIFY(words.waitForCount(3, 5000));
    QCOMPARE(failures.size(), 0);
}

void TestSynthHelper::realHelperKilledMidSpeechIsReplaced()
{
    EspeakVoice voice;
    QSignalSpy failures(&voice, &SpVoice::failed);
    voice.Speak(QStringLiteral("今天天气很好，我们一起去公园散步。").repeated(20), ReaderSpeakFlags);
    QTest::qWait(300);
    kill(voice.helperPid(), SIGKILL);
    QVERIFY(failures.wait(3000));
    WordLog log(voice);
    voice.Speak(QStringLiteral("今天天气很好。"), ReaderSpeakFlags);
    QVERIFY(log.waitForCount(2, 5000));
    QCOMPARE(failures.size(), 1);
}

// Not only the first: a helper killed again later, after another Speak, is
// reported again, once each time.
void TestSynthHelper::everyHelperDeathIsReported()
{
    EspeakVoice voice;
    QSignalSpy failures(&voice, &SpVoice::failed);
    for (int death = 1; death <= 3; ++death) {
        WordLog log(voice);
        voice.Speak(QStringLiteral("今天天气很好，我们一起去公园散步。").repeated(20), ReaderSpeakFlags);
        QVERIFY(log.waitForCount(1, 5000));
        kill(voice.helperPid(), SIGKILL);
        QTRY_COMPARE_WITH_TIMEOUT(failures.size(), death, 3000);
        QTest::qWait(300);
        QCOMPARE(failures.size(), death);
    }
}

// What a subverted helper could send to wear the reader down: the helper is
// ended, the person is told once, and the next text is spoken by a fresh one.
void TestSynthHelper::floodingHelperIsEnded_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("failures") << "failure-flood";
    QTest::newRow("words") << "word-flood";
    QTest::newRow("ends") << "done-flood";
    QTest::newRow("a byte at a time") << "drip";
}

void TestSynthHelper::floodingHelperIsEnded()
{
    QFETCH(QString, mode);
    auto voice = testVoice({QStringLiteral("--on-speak"), mode});
    QSignalSpy failures(voice.get(), &SpVoice::failed);
    const pid_t first = voice->helperPid();
    voice->Speak(QStringLiteral("say BOOM now"), ReaderSpeakFlags);
    QVERIFY(failures.wait(5000));
    QTest::qWait(500);
    QVERIFY2(failures.size() <= 2, qPrintable(QString::number(failures.size())));
    QTRY_VERIFY_WITH_TIMEOUT(kill(first, 0) != 0, 2000);
    QVERIFY(voice->queue().written() < 22050 * 2); // nothing piled up
    WordLog log(*voice);
    voice->Speak(QStringLiteral("one two three"), ReaderSpeakFlags);
    QVERIFY(log.waitForCount(2, 5000));
}

namespace {

struct CountingSink : SpeechRenderer::Sink
{
    qint64 samplesTaken = 0;
    QList<qint64> wordAt;
    bool samples(const int16_t *, std::size_t count) override
    {
        samplesTaken += qint64(count);
        return true;
    }
    void word(qint64 sample, long, long) override { wordAt.append(sample); }
};

} // namespace

// sayrella --export DIR a b c: one input whose text kills the helper used to
// fail every input after it with the same message.
void TestSynthHelper::renderingGoesOnAfterAFailedText()
{
    EspeakVoice::Options options;
    options.helperProgram = QStringLiteral(TEST_SYNTH);
    options.helperArguments = {QStringLiteral("--on-speak"), QStringLiteral("crash")};
    options.userVoiceFolder = QStringLiteral("/nonexistent");
    SpeechRenderer renderer(options);
    const std::atomic<bool> cancel = false;
    CountingSink failing;
    QVERIFY_THROWS_EXCEPTION(Failure, renderer.render(QStringLiteral("say BOOM now"), {}, failing, cancel));
    for (int text = 0; text < 2; ++text) {
        CountingSink sink;
        QVERIFY(renderer.render(QStringLiteral("one two three"), {}, sink, cancel));
        QCOMPARE(sink.wordAt.size(), 3);
    }
}

// Saving has no sound device to hold the helper back: a flood of audio
// must end the helper long before the disk fills, and a word stamped on the
// very end must not keep the file from being finished.
void TestSynthHelper::renderingSurvivesWhatAHelperMaySend_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("completes");
    QTest::newRow("audio flood") << "audio-flood" << false;
    QTest::newRow("word on the last sample") << "word-at-end" << true;
}

void TestSynthHelper::renderingSurvivesWhatAHelperMaySend()
{
    QFETCH(QString, mode);
    QFETCH(bool, completes);
    EspeakVoice::Options options;
    options.helperProgram = QStringLiteral(TEST_SYNTH);
    options.helperArguments = {QStringLiteral("--on-speak"), mode};
    options.userVoiceFolder = QStringLiteral("/nonexistent");
    SpeechRenderer renderer(options);
    CountingSink sink;
    const std::atomic<bool> cancel = false;
    bool completed = false;
    try {
        completed = renderer.render(QStringLiteral("BOOM"), {}, sink, cancel);
    } catch (const Failure &) {
    }
    QCOMPARE(completed, completes);
    const qint64 allowed = 22050 * (HelperAllowance::AudioSecondsBase + HelperAllowance::AudioSecondsPerUnit * 4);
    QVERIFY2(sink.samplesTaken <= allowed, qPrintable(QString::number(sink.samplesTaken)));
    if (completes) {
        QCOMPARE(sink.wordAt.size(), 2);
        QVERIFY(sink.wordAt.last() < sink.samplesTaken);
    }
}

QTEST_GUILESS_MAIN(TestSynthHelper)
#include "tst_synthhelper.moc"
