// SPDX-License-Identifier: GPL-3.0-or-later
// Watching playback without a sound server: when standing audio is started
// by hand, when a server counts as stopped, when the output looks again;
// and the output ending a session on a stand-in server that stops playing.
#include "playback/AudioOutput.h"
#include "playback/PlaybackWatch.h"
#include "support/FakeAudioSink.h"
#include "support/FastClock.h"

#include <QSignalSpy>
#include <QTest>

namespace {

constexpr int Rate = 22050;
constexpr qint64 Shortfall = Rate / 100;

struct Look
{
    int atMs;
    qint64 played;
    qint64 handedOver;
};

} // namespace

Q_DECLARE_METATYPE(QList<Look>)

class TestPlaybackWatch : public QObject
{
    Q_OBJECT

private slots:
    void verdictAfterLooks_data();
    void verdictAfterLooks();
    void nextLook_data();
    void nextLook();
    void serverThatStopsPlayingEndsTheSession();
    void pausedAudioIsNoStall();
};

void TestPlaybackWatch::verdictAfterLooks_data()
{
    QTest::addColumn<QList<Look>>("looks");
    QTest::addColumn<bool>("trigger");
    QTest::addColumn<bool>("stalled");
    // The verdict of the last look.
    QTest::newRow("clock moving") << QList<Look>{{0, 0, 9000}, {100, 2000, 9000}, {200, 4000, 9000}} << false << false;
    QTest::newRow("standing 30 ms: not yet") << QList<Look>{{0, 100, 9000}, {30, 100, 9000}} << false << false;
    QTest::newRow("standing 31 ms: started by hand") << QList<Look>{{0, 100, 9000}, {31, 100, 9000}} << true << false;
    QTest::newRow("started once, not at every look")
        << QList<Look>{{0, 100, 9000}, {31, 100, 9000}, {62, 100, 9000}} << false << false;
    QTest::newRow("standing 4 s: not yet stalled")
        << QList<Look>{{0, 100, 9000}, {31, 100, 9000}, {4000, 100, 9000}} << false << false;
    QTest::newRow("standing over 4 s: stalled")
        << QList<Look>{{0, 100, 9000}, {31, 100, 9000}, {4001, 100, 9000}} << false << true;
    QTest::newRow("only the shortfall left, for seconds: the end, not a stall")
        << QList<Look>{{0, 9000 - Shortfall, 9000}, {31, 9000 - Shortfall, 9000}, {9000, 9000 - Shortfall, 9000}}
        << false << false;
    QTest::newRow("one sample over the shortfall, for seconds: stalled")
        << QList<Look>{{0, 8999 - Shortfall, 9000}, {31, 8999 - Shortfall, 9000}, {9000, 8999 - Shortfall, 9000}}
        << false << true;
    QTest::newRow("more handed over counts anew")
        << QList<Look>{{0, 100, 9000}, {3000, 100, 12000}, {6000, 100, 12000}} << true << false;
    QTest::newRow("all played: nothing stands") << QList<Look>{{0, 9000, 9000}, {9000, 9000, 9000}} << false << false;
}

void TestPlaybackWatch::verdictAfterLooks()
{
    QFETCH(QList<Look>, looks);
    QFETCH(bool, trigger);
    QFETCH(bool, stalled);
    PlaybackWatch watch(Rate);
    PlaybackWatch::Verdict verdict;
    for (const Look &look : looks)
        verdict = watch.look(std::int64_t(look.atMs) * 1'000'000, look.played, look.handedOver);
    QCOMPARE(verdict.trigger, trigger);
    QCOMPARE(verdict.stalled, stalled);
}

void TestPlaybackWatch::nextLook_data()
{
    QTest::addColumn<qint64>("unplayed");
    QTest::addColumn<bool>("drained");
    QTest::addColumn<qint64>("wordAhead"); // -1: no word waiting
    QTest::addColumn<bool>("startedByHand");
    QTest::addColumn<int>("ms");
    QTest::newRow("nothing at the server, no word") << qint64(0) << true << qint64(-1) << false << -1;
    QTest::newRow("audio at the server, more coming") << qint64(Rate) << false << qint64(-1) << false << 250;
    QTest::newRow("the last 100 ms: when they are heard") << qint64(Rate / 10) << true << qint64(-1) << false << 105;
    QTest::newRow("the last 2 s: at most a quarter second") << qint64(2 * Rate) << true << qint64(-1) << false << 250;
    QTest::newRow("the last few samples: soon") << qint64(10) << true << qint64(-1) << false << 5;
    QTest::newRow("a word 10 ms ahead") << qint64(Rate) << false << qint64(Rate / 100) << false << 11;
    QTest::newRow("a word due now") << qint64(Rate) << false << qint64(0) << false << 1;
    QTest::newRow("a word far ahead, nothing at the server") << qint64(0) << true << qint64(5 * Rate) << false << 250;
    QTest::newRow("started by hand, only the shortfall left") << Shortfall << true << qint64(-1) << true << -1;
    QTest::newRow("started by hand, more than the shortfall")
        << Shortfall + 1 << true << qint64(-1) << true << 15; // 10 ms of audio, then 5
}

void TestPlaybackWatch::nextLook()
{
    QFETCH(qint64, unplayed);
    QFETCH(bool, drained);
    QFETCH(qint64, wordAhead);
    QFETCH(bool, startedByHand);
    QFETCH(int, ms);
    const qint64 played = 50000;
    PlaybackWatch watch(Rate);
    if (startedByHand) {
        watch.look(0, played, played + unplayed);
        QVERIFY(watch.look(31'000'000, played, played + unplayed).trigger);
    }
    const std::optional<qint64> word = wordAhead < 0 ? std::nullopt : std::optional<qint64>(played + wordAhead);
    QCOMPARE(watch.nextLookMs(played, played + unplayed, drained, word), ms);
}

// Seconds of a server that took audio and plays none of it pass in a
// fraction of one on a fast clock: the session ends, with a reason.
void TestPlaybackWatch::serverThatStopsPlayingEndsTheSession()
{
    const FastClock clock(100);
    auto owned = std::make_unique<FakeAudioSink>(clock);
    FakeAudioSink &sink = *owned;
    PcmQueue queue(Rate);
    AudioOutput output(queue, Rate, std::move(owned), clock);
    QSignalSpy failures(&output, &AudioOutput::failed);
    queue.reset(1);
    output.restart();
    sink.stop();
    const std::vector<int16_t> second(Rate, 1000);
    QVERIFY(queue.push(second.data(), second.size(), 1));
    QTRY_COMPARE_WITH_TIMEOUT(failures.size(), 1, 3000);
    QVERIFY(!output.running());
    QVERIFY(sink.triggers() >= 1); // it was asked to start first
}

// A paused session holds its audio at the server as long as it likes.
void TestPlaybackWatch::pausedAudioIsNoStall()
{
    const FastClock clock(100);
    PcmQueue queue(Rate);
    AudioOutput output(queue, Rate, std::make_unique<FakeAudioSink>(clock), clock);
    QSignalSpy failures(&output, &AudioOutput::failed);
    queue.reset(1);
    output.restart();
    output.setPaused(true);
    const std::vector<int16_t> second(Rate, 1000);
    QVERIFY(queue.push(second.data(), second.size(), 1));
    QTest::qWait(300); // 30 s on this clock
    QVERIFY(failures.isEmpty());
    output.setPaused(false);
    QTRY_VERIFY_WITH_TIMEOUT(queue.drained() && output.playedSamplesEstimate() >= Rate, 2000);
    QVERIFY(failures.isEmpty());
}

QTEST_GUILESS_MAIN(TestPlaybackWatch)
#include "tst_playbackwatch.moc"
