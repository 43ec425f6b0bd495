// SPDX-License-Identifier: GPL-3.0-or-later
// The voice and a sound server that comes and goes: a private PulseAudio
// server of this test, started late and killed mid-speech.
#include "platform/Failure.h"
#include "playback/EspeakVoice.h"
#include "support/WordLog.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

// A private server whose only sink is a null sink, at a socket this test owns.
class SoundServer
{
public:
    explicit SoundServer(const QString &runtime) : m_runtime(runtime) { }
    ~SoundServer() { stop(); }

    bool start()
    {
        m_process.setProgram(QStringLiteral("pulseaudio"));
        m_process.setArguments({QStringLiteral("--daemonize=no"), QStringLiteral("-n"),
                                QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disallow-exit"),
                                QStringLiteral("--log-target=stderr"), QStringLiteral("--log-level=error"),
                                QStringLiteral("--load=module-native-protocol-unix"),
                                QStringLiteral("--load=module-null-sink sink_name=contract rate=22050 channels=1")});
        m_process.start();
        return m_process.waitForStarted()
            && QTest::qWaitFor(
                   [&] {
                       QProcess info;
                       info.setStandardOutputFile(QProcess::nullDevice());
                       info.start(QStringLiteral("pactl"), {QStringLiteral("info")});
                       return info.waitForFinished() && info.exitCode() == 0;
                   },
                   10000);
    }
    qint64 pid() const { return m_process.processId(); }
    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

private:
    QString m_runtime;
    QProcess m_process;
};

// A person pressing Speak now and then while the server starts up is heard
// once it answers.
bool speakOnceTheServerIsFound(SpVoice &voice)
{
    return QTest::qWaitFor(
        [&] {
            try {
                voice.Speak(QStringLiteral("今天天气很好，我们一起去公园散步。"), ReaderSpeakFlags);
                return true;
            } catch (const Failure &) {
                QTest::qWait(500);
                return false;
            }
        },
        8000);
}

} // namespace

class TestSoundServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void serverThatAppearsLaterIsUsed();
    void speechLostWithTheServerIsReportedOnce();
    void serverThatComesBackIsUsed();
    void stoppedServerDoesNotFreezeTheCaller();

private:
    QTemporaryDir m_runtime;
    std::unique_ptr<SoundServer> m_server;
};

void TestSoundServer::initTestCase()
{
    // Everything of this process talks to the server at this socket only.
    qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
    qputenv("PULSE_RUNTIME_PATH", (m_runtime.path() + QStringLiteral("/pulse")).toLocal8Bit());
    qputenv("PULSE_STATE_PATH", (m_runtime.path() + QStringLiteral("/state")).toLocal8Bit());
    qputenv("PULSE_SERVER", ("unix:" + m_runtime.path() + QStringLiteral("/pulse/native")).toLocal8Bit());
}

void TestSoundServer::speechLostWithTheServerIsReportedOnce()
{
    SoundServer &server = *m_server; // still running from the test before
    EspeakVoice voice;
    QSignalSpy failures(&voice, &SpVoice::failed);
    WordLog log(voice);
    voice.Speak(QStringLiteral("今天天气很好，我们一起去公园散步。").repeated(10), ReaderSpeakFlags);
    QVERIFY(log.waitForCount(2, 10000));
    server.stop();
    QVERIFY(failures.wait(10000));
    QTest::qWait(500);
    QCOMPARE(failures.size(), 1);
    QCOMPARE(failures.first().at(0).value<Failure::Reason>(), Failure::Reason::SoundServerLost);
    QCOMPARE(voice.state(), SpVoice::State::Error);

    // A synchronous Speak with no server to hear it does not wait forever.
    QElapsedTimer clock;
    clock.start();
    try {
        voice.Speak(QStringLiteral("你好"), SVSFDefault);
    } catch (const Failure &) { }
    QVERIFY(clock.elapsed() < 10000);
}

// The server restarted (an update, a crash, a log-out of its owner): the
// voice that lost it speaks again at the next Speak, without a restart.
void TestSoundServer::serverThatComesBackIsUsed()
{
    QVERIFY(m_server->start()); // stopped by the test before
    EspeakVoice voice;
    WordLog log(voice);
    QVERIFY(speakOnceTheServerIsFound(voice));
    QVERIFY(log.waitForCount(2, 10000));
    m_server->stop();
    QVERIFY_THROWS_EXCEPTION(Failure, voice.Speak(QStringLiteral("你好"), ReaderSpeakFlags));
    QVERIFY(m_server->start());
    const int heardBefore = int(log.entries.size());
    QVERIFY(speakOnceTheServerIsFound(voice));
    QVERIFY(log.waitForCount(heardBefore + 2, 10000));
}

// A server stopped (SIGSTOP, a debugger) used to hold Speak, and with it the
// window, until it went on. Speak returns; the person is told once the
// server has had its time to answer; a server that goes on is used again.
void TestSoundServer::stoppedServerDoesNotFreezeTheCaller()
{
    QVERIFY(m_server->start());
    EspeakVoice voice;
    WordLog log(voice);
    QVERIFY(speakOnceTheServerIsFound(voice));
    QVERIFY(log.waitForCount(1, 10000));
    QSignalSpy failures(&voice, &SpVoice::failed);
    ::kill(pid_t(m_server->pid()), SIGSTOP);
    QElapsedTimer clock;
    clock.start();
    try {
        voice.Speak(QStringLiteral("你好"), ReaderSpeakFlags);
    } catch (const Failure &) {
    }
    const qint64 heldMs = clock.elapsed();
    QVERIFY2(heldMs < 2000, qPrintable(QString::number(heldMs)));
    QVERIFY(failures.wait(10000));
    QCOMPARE(failures.first().at(0).value<Failure::Reason>(), Failure::Reason::SoundServerLost);
    ::kill(pid_t(m_server->pid()), SIGCONT);
    const int heardBefore = int(log.entries.size());
    QVERIFY(speakOnceTheServerIsFound(voice));
    QVERIFY(log.waitForCount(heardBefore + 2, 10000));
    m_server->stop();
}

void TestSoundServer::serverThatAppearsLaterIsUsed()
{
    EspeakVoice voice;
    QVERIFY_THROWS_EXCEPTION(Failure, voice.Speak(QStringLiteral("你好"), ReaderSpeakFlags));
    m_server = std::make_unique<SoundServer>(m_runtime.path());
    QVERIFY(m_server->start());
    WordLog log(voice);
    QVERIFY(speakOnceTheServerIsFound(voice));
    QVERIFY(log.waitForCount(2, 10000));
}

QTEST_GUILESS_MAIN(TestSoundServer)
#include "tst_soundserver.moc"
