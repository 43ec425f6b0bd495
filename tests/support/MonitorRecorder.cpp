// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/MonitorRecorder.h"

#include <QTest>

#include <cmath>
#include <cstring>

MonitorRecorder::MonitorRecorder() = default;

MonitorRecorder::~MonitorRecorder()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

void MonitorRecorder::start()
{
    const QByteArray sink = qgetenv("SAYRELLA_TEST_SINK");
    QVERIFY2(!sink.isEmpty(), "run the audio tests through tools/with-test-audio.sh");
    m_process.start(QStringLiteral("parec"),
                    {QStringLiteral("-d"), QString::fromLocal8Bit(sink) + QStringLiteral(".monitor"),
                     QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                     QStringLiteral("--rate=%1").arg(SampleRate), QStringLiteral("--channels=1"),
                     QStringLiteral("--latency-msec=10")});
    QVERIFY(m_process.waitForStarted());
}

QVector<int16_t> MonitorRecorder::stop()
{
    m_process.terminate();
    m_process.waitForFinished();
    const QByteArray raw = m_process.readAllStandardOutput();
    QVector<int16_t> samples(raw.size() / 2);
    std::memcpy(samples.data(), raw.constData(), std::size_t(samples.size()) * 2);
    return samples;
}

QVector<int16_t> MonitorRecorder::record(int ms)
{
    MonitorRecorder recorder;
    recorder.start();
    QTest::qWait(ms);
    return recorder.stop();
}

double MonitorRecorder::rms(const QVector<int16_t> &samples)
{
    if (samples.isEmpty())
        return 0;
    double sum = 0;
    for (int16_t s : samples)
        sum += double(s) * s;
    return std::sqrt(sum / samples.size());
}

int MonitorRecorder::peak(const QVector<int16_t> &samples)
{
    int peak = 0;
    for (int16_t s : samples)
        peak = std::max(peak, std::abs(int(s)));
    return peak;
}
