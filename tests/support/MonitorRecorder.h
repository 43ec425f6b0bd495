// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QVector>

#include <cstdint>

// Records what the test sound server's null sink plays, from its monitor.
class MonitorRecorder
{
public:
    static constexpr int SampleRate = 22050;

    MonitorRecorder();
    ~MonitorRecorder();

    void start();
    QVector<int16_t> stop();

    // Records for ms milliseconds and returns what was heard.
    static QVector<int16_t> record(int ms);

    static double rms(const QVector<int16_t> &samples);
    // Peak absolute sample value.
    static int peak(const QVector<int16_t> &samples);

private:
    QProcess m_process;
};
