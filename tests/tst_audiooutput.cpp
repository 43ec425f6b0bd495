// SPDX-License-Identifier: GPL-3.0-or-later
// The audio output on a real sound server (the test's null sink): what it is
// handed is played and its clock says so, however the samples come.
#include "platform/MonotonicClock.h"
#include "playback/AudioOutput.h"
#include "playback/PulsePlayback.h"
#include "support/FastClock.h"
#include "support/MonitorRecorder.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>

namespace {

constexpr int Rate = 22050;

std::vector<int16_t> tone(int ms)
{
    std::vector<int16_t> samples(std::size_t(Rate * ms / 1000));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(8000 * std::sin(2 * M_PI * 440 * double(i) / Rate));
    return samples;
}

bool push(PcmQueue &queue, const std::vector<int16_t> &samples)
{
    return queue.push(samples.data(), samples.size(), queue.generation());
}

bool endReached(const QSignalSpy &due) { return !due.isEmpty() && due.last().at(0).value<TimedWord>().endOfStream; }

} // namespace

class TestAudioOutput : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void lastBitAfterRunningDryIsPlayed_data();
    void lastBitAfterRunningDryIsPlayed();
    void sessionBegunWhilePausedPlaysFromResume();
    void quietAfterTheEnd();

private:
    std::unique_ptr<PcmQueue> m_queue;
    std::unique_ptr<AudioOutput> m_output;
};

void TestAudioOutput::init()
{
    m_queue = std::make_unique<PcmQueue>(Rate);
    m_output = std::make_unique<AudioOutput>(*m_queue, Rate, std::make_unique<PulsePlayback>(), MonotonicClock::system());
}

void TestAudioOutput::cleanup()
{
    m_output.reset();
    m_queue.reset();
}

void TestAudioOutput::lastBitAfterRunningDryIsPlayed_data()
{
    QTest::addColumn<int>("tailMs");
    QTest::newRow("2 ms, as good as played") << 2;
    QTest::newRow("15 ms, below the server's start threshold") << 15;
    QTest::newRow("60 ms") << 60;
}

// The synthesis stalls, the server's buffer runs dry, then the last bit of
// the text comes: it is played and its end is reached, whatever its length
// (a server waits for a minimum before it starts again).
void TestAudioOutput::lastBitAfterRunningDryIsPlayed()
{
    QFETCH(int, tailMs);
    QSignalSpy due(m_output.get(), &AudioOutput::wordDue);
    QSignalSpy failures(m_output.get(), &AudioOutput::failed);
    m_queue->reset(1);
    m_output->restart();
    QVERIFY(push(*m_queue, tone(200)));
    QTRY_VERIFY_WITH_TIMEOUT(m_queue->drained() && m_output->playedSamplesEstimate() > Rate * 3 / 10, 3000);
    QVERIFY(push(*m_queue, tone(tailMs)));
    QVERIFY(m_queue->pushEndOfStream(1, 7));
    QTRY_VERIFY_WITH_TIMEOUT(endReached(due), 2000);
    QVERIFY(failures.isEmpty());
}

// Speak while paused: nothing is heard and the clock stands until Resume,
// then the speech plays to its end.
void TestAudioOutput::sessionBegunWhilePausedPlaysFromResume()
{
    QSignalSpy due(m_output.get(), &AudioOutput::wordDue);
    m_output->setPaused(true);
    m_queue->reset(1);
    m_output->restart();
    QVERIFY(push(*m_queue, tone(600)));
    QVERIFY(m_queue->pushEndOfStream(1, 1));
    QVERIFY(MonitorRecorder::peak(MonitorRecorder::record(400)) == 0);
    QCOMPARE(m_output->playedSamplesEstimate(), 0);
    QVERIFY(due.isEmpty());

    MonitorRecorder ear;
    ear.start();
    m_output->setPaused(false);
    QTRY_VERIFY_WITH_TIMEOUT(endReached(due), 3000);
    QVERIFY(MonitorRecorder::rms(ear.stop()) > 1000);
}

// Once everything handed over has been played, nothing is amiss: the
// server's clock stopping a hair short of the last sample is not a server
// that stopped playing. The seconds a stalled server is given pass on a
// fast clock.
void TestAudioOutput::quietAfterTheEnd()
{
    const FastClock clock(4); // a real server still gets a second to start
    m_output.reset(); // the queue feeds one output at a time
    m_output = std::make_unique<AudioOutput>(*m_queue, Rate, std::make_unique<PulsePlayback>(), clock);
    QSignalSpy due(m_output.get(), &AudioOutput::wordDue);
    QSignalSpy failures(m_output.get(), &AudioOutput::failed);
    m_queue->reset(1);
    m_output->restart();
    QVERIFY(push(*m_queue, tone(200)));
    QVERIFY(m_queue->pushEndOfStream(1, 1));
    QTRY_VERIFY_WITH_TIMEOUT(endReached(due), 3000);
    QTest::qWait(4500 / 4 + 100); // longer than a stalled server is given
    QVERIFY(failures.isEmpty());
    QVERIFY(m_output->running());
    m_output.reset(); // before its clock goes
}

QTEST_GUILESS_MAIN(TestAudioOutput)
#include "tst_audiooutput.moc"
