// SPDX-License-Identifier: GPL-3.0-or-later
// The hand-over between the synthesis thread and the audio output.
#include "speech/audio/PcmQueue.h"

#include <QTest>

#include <chrono>
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

QTEST_GUILESS_MAIN(TestPcmQueue)
#include "tst_pcmqueue.moc"
