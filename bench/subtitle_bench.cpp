// SPDX-License-Identifier: GPL-3.0-or-later
// How far a saved book's subtitles are from the sound they name, over more
// than an hour of speech saved as the program saves (sayrella --export
// --subtitles, every core): for each LRC line, the end of the pause nearest
// its time is where its sentence is heard to begin. Printed per ten minutes
// and for the worst line; lines should stay within 30 ms, as the window's
// highlight does, from the first minute to the last.
#include "resources/Resources.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// 5 ms frames: silent where the engine's samples are silence (it writes zeros
// between words), loud where any sound is.
constexpr double FrameSeconds = 0.005;
constexpr double QuietRms = 50;
// A pause is at least this long; the nearest pause end is looked for this far each way.
constexpr double PauseSeconds = 0.06;
constexpr double SearchSeconds = 0.5;

std::vector<bool> loudFrames(const QString &path, int &rate)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    std::vector<bool> loud;
    if (!file)
        return loud;
    rate = info.samplerate;
    std::vector<short> samples(std::size_t(info.frames));
    sf_readf_short(file, samples.data(), info.frames);
    sf_close(file);
    const double perFrame = rate * FrameSeconds;
    for (std::size_t f = 0; std::size_t((f + 1) * perFrame) <= samples.size(); ++f) {
        double sum = 0;
        const auto from = std::size_t(f * perFrame), to = std::size_t((f + 1) * perFrame);
        for (std::size_t i = from; i < to; ++i)
            sum += double(samples[i]) * samples[i];
        loud.push_back(std::sqrt(sum / double(to - from)) > QuietRms);
    }
    return loud;
}

std::vector<double> lineTimes(const QString &lrc)
{
    QFile file(lrc);
    std::vector<double> times;
    if (!file.open(QIODevice::ReadOnly))
        return times;
    const QRegularExpression stamp(QStringLiteral("^\\[(\\d+):(\\d+\\.\\d+)\\]"));
    while (!file.atEnd()) {
        const QRegularExpressionMatch m = stamp.match(QString::fromUtf8(file.readLine()));
        if (m.hasMatch())
            times.push_back(m.captured(1).toDouble() * 60 + m.captured(2).toDouble());
    }
    return times;
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("book.txt")), audio = dir.filePath(QStringLiteral("book.wav"));
    {
        QFile file(text);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        // The sample text three times: some 70 minutes of speech.
        const QString sample = LoadResString(101);
        file.write((sample + u'\n' + sample + u'\n' + sample).toUtf8());
    }
    if (QProcess::execute(QStringLiteral(SAYRELLA_PROGRAM),
                          {QStringLiteral("--export"), audio, QStringLiteral("--subtitles"), text})
        != 0) {
        std::printf("the save failed\n");
        return 1;
    }
    int rate = 0;
    const std::vector<bool> loud = loudFrames(audio, rate);
    const std::vector<double> times = lineTimes(dir.filePath(QStringLiteral("book.lrc")));
    const auto pauseFrames = std::size_t(PauseSeconds / FrameSeconds);
    const auto searchFrames = long(SearchSeconds / FrameSeconds);
    struct Row
    {
        double time, offsetMs;
    };
    std::vector<Row> rows;
    for (std::size_t i = 1; i < times.size(); ++i) { // the title at 0:00 follows no pause
        const long at = long(std::lround(times[i] / FrameSeconds));
        long nearest = -1;
        std::size_t quiet = 0;
        for (long f = std::max(0L, at - searchFrames); f < std::min(long(loud.size()), at + searchFrames); ++f) {
            if (!loud[std::size_t(f)]) {
                ++quiet;
                continue;
            }
            if (quiet >= pauseFrames && (nearest < 0 || std::labs(f - at) < std::labs(nearest - at)))
                nearest = f;
            quiet = 0;
        }
        if (nearest >= 0)
            rows.push_back({times[i], (nearest * FrameSeconds - times[i]) * 1000});
    }
    if (rows.empty()) {
        std::printf("no line could be matched to its sound\n");
        return 1;
    }
    std::printf("\nSubtitles against their sound, %.1f minutes saved (sound after the line's time, ms)\n",
                loud.size() * FrameSeconds / 60);
    std::printf("%-12s %6s %8s %8s %8s\n", "minutes", "lines", "min", "median", "max");
    for (double from = 0; from < rows.back().time; from += 600) {
        std::vector<double> span;
        for (const Row &row : rows)
            if (row.time >= from && row.time < from + 600)
                span.push_back(row.offsetMs);
        if (span.empty())
            continue;
        std::sort(span.begin(), span.end());
        std::printf("%3.0f-%-8.0f %6zu %8.0f %8.0f %8.0f\n", from / 60, from / 60 + 10, span.size(), span.front(),
                    span[span.size() / 2], span.back());
    }
    const Row worst =
        *std::max_element(rows.begin(), rows.end(), [](const Row &a, const Row &b) { return std::fabs(a.offsetMs) < std::fabs(b.offsetMs); });
    std::printf("worst line: %+.0f ms at %d:%05.2f; %zu of %zu lines matched to a pause\n", worst.offsetMs,
                int(worst.time) / 60, std::fmod(worst.time, 60), rows.size(), times.size() - 1);
    return 0;
}
