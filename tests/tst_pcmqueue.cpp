// SPDX-License-Identifier: GPL-3.0-or-later
// The hand-over between the synthesis thread and the audio output.
#include "speech/audio/PcmQueue.h"
#include "playback/SpeedChange.h"

#include <QTest>

#include <chrono>
#include <cmath>
#include <future>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

class TestPcmQueue : public QObject
{
    Q_OBJECT

private slots:
    void samplesComeOutInOrderAcrossTheRingEnd();
    void producerWaitsWhileFullAndGoesOnWhenRead();
    void purgeReleasesAWaitingProducerAndRefusesItsSamples();
    void closeReleasesAWaitingProducer();
    void wordsBecomeDueWithTheirSample();
    void wordOnOrPastTheEndDoesNotHoldTheEndBack_data();
    void wordOnOrPastTheEndDoesNotHoldTheEndBack();
    void retimingChangesOnlyWhatIsStillQueued_data();
    void retimingChangesOnlyWhatIsStillQueued();
    void speedChangeKeepsTheTimeInProportion_data();
    void speedChangeKeepsTheTimeInProportion();
};

void TestPcmQueue::samplesComeOutInOrderAcrossTheRingEnd()
{
    PcmQueue queue(5);
    std::vector<int16_t> out(8);
    const int16_t a[] = {1, 2, 3, 4};
    QVERIFY(queue.push(a, 4, 0));
    QCOMPARE(queue.pop(out.data(), 3), 3u);
    const int16_t b[] = {5, 6, 7, 8};
    QVERIFY(queue.push(b, 4, 0)); // wraps
    QCOMPARE(queue.pop(out.data(), 8), 5u);
    QCOMPARE(std::vector<int16_t>(out.begin(), out.begin() + 5), std::vector<int16_t>({4, 5, 6, 7, 8}));
    QCOMPARE(queue.written(), 8);
    QCOMPARE(queue.handedOver(), 8);
    QVERIFY(queue.drained());
}

void TestPcmQueue::producerWaitsWhileFullAndGoesOnWhenRead()
{
    PcmQueue queue(4);
    const std::vector<int16_t> samples(10, 7);
    auto producer = std::async(std::launch::async, [&] { return queue.push(samples.data(), samples.size(), 0); });
    QVERIFY(producer.wait_for(100ms) == std::future_status::timeout); // bounded: it must wait
    std::vector<int16_t> out(10);
    std::size_t got = 0;
    while (got < 10)
        got += queue.pop(out.data() + got, 10 - got);
    QVERIFY(producer.get());
    QCOMPARE(out, samples);
}

void TestPcmQueue::purgeReleasesAWaitingProducerAndRefusesItsSamples()
{
    PcmQueue queue(4);
    const std::vector<int16_t> samples(10, 7);
    queue.pushWord({2, 0, 1, 0, 1});
    auto producer = std::async(std::launch::async, [&] { return queue.push(samples.data(), samples.size(), 0); });
    QVERIFY(producer.wait_for(50ms) == std::future_status::timeout);
    queue.reset(1);
    QVERIFY(producer.wait_for(1s) == std::future_status::ready);
    QVERIFY(!producer.get());
    QVERIFY(queue.drained());
    QCOMPARE(queue.written(), 0);
    QVERIFY(!queue.nextWordSample());
    // Nothing of the old generation gets in any more; the new one does.
    QVERIFY(!queue.push(samples.data(), 2, 0));
    QVERIFY(!queue.pushWord({0, 0, 1, 0, 1}));
    QVERIFY(queue.push(samples.data(), 2, 1));
}

void TestPcmQueue::closeReleasesAWaitingProducer()
{
    PcmQueue queue(2);
    const std::vector<int16_t> samples(10, 7);
    auto producer = std::async(std::launch::async, [&] { return queue.push(samples.data(), samples.size(), 0); });
    QVERIFY(producer.wait_for(50ms) == std::future_status::timeout);
    queue.close();
    QVERIFY(producer.wait_for(1s) == std::future_status::ready);
    QVERIFY(!producer.get());
}

void TestPcmQueue::wordsBecomeDueWithTheirSample()
{
    // A word is due once its first sample has been played, never merely
    // because it is stamped 0; the end of a stream once the clock reaches it
    // (within the slack the sound server's clock may stop short by).
    PcmQueue queue(100);
    for (qint64 at : {0, 10, 10, 25})
        QVERIFY(queue.pushWord({at, 0, 1, long(at), 1}));
    QVERIFY(queue.pushWord({40, 0, 1, 0, 0, true}));
    const std::pair<qint64, std::size_t> steps[] = {{0, 0},  {1, 1},  {10, 1}, {11, 3},
                                                    {25, 3}, {26, 4}, {37, 4}, {38, 5}};
    std::vector<TimedWord> due;
    for (const auto &[played, expected] : steps) {
        queue.takeDueWords(played, 2, due);
        QVERIFY2(due.size() == expected, qPrintable(QStringLiteral("played %1: %2 due").arg(played).arg(due.size())));
    }
    QVERIFY(due.back().endOfStream);
    QVERIFY(!queue.nextWordSample());
}

void TestPcmQueue::wordOnOrPastTheEndDoesNotHoldTheEndBack_data()
{
    QTest::addColumn<int>("samples");
    QTest::addColumn<qint64>("stamp");
    QTest::addColumn<int>("wordsHeard");
    QTest::newRow("inside") << 100 << qint64(40) << 1;
    QTest::newRow("on the last sample") << 100 << qint64(99) << 1;
    QTest::newRow("just past the end") << 100 << qint64(100) << 1;
    QTest::newRow("far past the end") << 100 << qint64(1000000) << 1;
    QTest::newRow("no audio at all") << 0 << qint64(0) << 0;
}

// Everything of a text is due once its end has played.
void TestPcmQueue::wordOnOrPastTheEndDoesNotHoldTheEndBack()
{
    QFETCH(int, samples);
    QFETCH(qint64, stamp);
    QFETCH(int, wordsHeard);
    PcmQueue queue(1000);
    queue.reset(1);
    const std::vector<int16_t> pcm(std::size_t(samples), 1);
    QVERIFY(queue.pushWord({stamp, 1, 1, 0, 4}));
    QVERIFY(queue.push(pcm.data(), pcm.size(), 1));
    QVERIFY(queue.pushEndOfStream(1, 1));
    std::vector<int16_t> out(1000);
    QCOMPARE(queue.pop(out.data(), out.size()), std::size_t(samples));
    std::vector<TimedWord> due;
    queue.takeDueWords(samples, 0, due);
    QCOMPARE(int(due.size()), wordsHeard + 1);
    QVERIFY(due.back().endOfStream);
    for (const TimedWord &w : due)
        QVERIFY(w.sample <= samples);
}

void TestPcmQueue::retimingChangesOnlyWhatIsStillQueued_data()
{
    QTest::addColumn<int>("stretch"); // each queued sample becomes this many (0: every other one is dropped)
    QTest::newRow("faster") << 0;
    QTest::newRow("slower, beyond the queue's room") << 3;
}

// A rate change re-times the queued rest of a word: what the server already
// has stays as it was, the words and the end stamped in the queued part
// move with it, and the producer goes on after the re-timed samples.
void TestPcmQueue::retimingChangesOnlyWhatIsStillQueued()
{
    QFETCH(int, stretch);
    PcmQueue queue(10);
    std::vector<int16_t> samples(10);
    for (int i = 0; i < 10; ++i)
        samples[std::size_t(i)] = int16_t(i + 1);
    QVERIFY(queue.push(samples.data(), 10, 0));
    QVERIFY(queue.pushWord({2, 0, 1, 0, 1})); // already handed over when re-timed
    QVERIFY(queue.pushWord({8, 0, 1, 5, 1}));
    QVERIFY(queue.pushEndOfStream(0, 1));
    std::vector<int16_t> out(64);
    QCOMPARE(queue.pop(out.data(), 4), 4u);

    queue.retimeQueued([&](const std::vector<int16_t> &queued) {
        std::vector<int16_t> retimed;
        for (std::size_t i = 0; i < queued.size(); ++i)
            if (stretch > 0)
                retimed.insert(retimed.end(), std::size_t(stretch), queued[i]);
            else if (i % 2 == 0)
                retimed.push_back(queued[i]);
        return retimed;
    });
    const qint64 length = stretch > 0 ? 6 * stretch : 3;
    QCOMPARE(queue.written(), 4 + length);
    std::vector<int16_t> expected;
    for (int16_t value = 5; value <= 10; ++value)
        if (stretch > 0)
            expected.insert(expected.end(), std::size_t(stretch), value);
        else if (value % 2 == 1)
            expected.push_back(value);
    QCOMPARE(queue.pop(out.data(), out.size()), expected.size());
    QCOMPARE(std::vector<int16_t>(out.begin(), out.begin() + qsizetype(expected.size())), expected);
    const int16_t next = 99;
    QVERIFY(queue.push(&next, 1, 0));
    QCOMPARE(queue.pop(out.data(), out.size()), 1u);
    QCOMPARE(out[0], next);
    QCOMPARE(queue.written(), 4 + length + 1);

    std::vector<TimedWord> due;
    queue.takeDueWords(1'000, 0, due);
    QCOMPARE(due.size(), 3u);
    QCOMPARE(due[0].sample, 2);
    QCOMPARE(due[1].sample, 4 + 4 * length / 6); // 4 of the 6 queued samples before it
    QCOMPARE(due[2].sample, 4 + length);
}

void TestPcmQueue::speedChangeKeepsTheTimeInProportion_data()
{
    QTest::addColumn<double>("factor");
    QTest::newRow("three times as fast") << 3.0;
    QTest::newRow("a third as fast") << 1.0 / 3.0;
    QTest::newRow("the same") << 1.0;
}

// The re-timing for real (libsonic), on a voiced half second: the length
// follows the speed, and the sound stays as loud.
void TestPcmQueue::speedChangeKeepsTheTimeInProportion()
{
    QFETCH(double, factor);
    constexpr int Rate = 22050;
    std::vector<int16_t> voiced(Rate / 2);
    for (std::size_t i = 0; i < voiced.size(); ++i)
        voiced[i] = int16_t(8000 * std::sin(2 * M_PI * 180 * double(i) / Rate));
    const std::vector<int16_t> changed = changeSpeed(voiced, factor, Rate);
    const double expected = double(voiced.size()) / factor;
    QVERIFY2(std::abs(double(changed.size()) - expected) < expected * 0.05,
             qPrintable(QStringLiteral("%1 samples, expected about %2").arg(changed.size()).arg(expected)));
    const auto peak = *std::max_element(changed.begin(), changed.end());
    QVERIFY2(peak > 6000, qPrintable(QStringLiteral("peak %1").arg(peak)));
}

QTEST_GUILESS_MAIN(TestPcmQueue)
#include "tst_pcmqueue.moc"
