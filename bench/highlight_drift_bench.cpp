// SPDX-License-Identifier: GPL-3.0-or-later
// Does the highlight stay in step with the sound over a long reading? The
// voice reads Chinese prose for MINUTES (default 10) into the test sound
// server while the monitor is recorded; each sentence's first word is
// raised at some moment, and its sound starts (after the silence between
// sentences) at another. Prints the error (raised minus heard; negative is
// early) per minute: median, and the largest in size.
//   tools/with-test-audio.sh build/bench/highlight_drift_bench [MINUTES]
#include "AudibleRecorder.h"
#include "BenchText.h"
#include "playback/EspeakVoice.h"

#include <QCoreApplication>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int minutes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const char *sink = std::getenv("SAYRELLA_TEST_SINK");
    AudibleRecorder ear(std::string(sink ? sink : "sayrella_null") + ".monitor");
    if (!ear.ok()) {
        std::fprintf(stderr, "cannot record the test sink's monitor\n");
        return 1;
    }
    EspeakVoice voice;
    // Enough text for the whole reading: about 5 characters a second.
    const QString text = benchText(qsizetype(minutes) * 60 * 8);
    struct Raised
    {
        std::int64_t atNs;
        long position;
    };
    std::vector<Raised> raised;
    QObject context;
    QObject::connect(&voice, &SpVoice::Word, &context,
                     [&](long, const QVariant &, long position, long) { raised.push_back({benchNowNs(), position}); });
    const std::int64_t start = benchNowNs();
    voice.Speak(text, ReaderSpeakFlags);
    QTest::qWait(minutes * 60 * 1000);
    voice.Speak(QString(), SVSFPurgeBeforeSpeak);
    QTest::qWait(500); // the last sounds reach the recording

    // Sentence starts: the first word after a full stop, said after a pause.
    std::map<int, std::vector<double>> errorsByMinute;
    for (const Raised &word : raised) {
        qsizetype before = word.position - 1;
        while (before >= 0 && text[before].isSpace())
            --before;
        if (before < 0 || !QStringView(u"。！？").contains(text[before]))
            continue;
        const auto heard = ear.onsetNear(word.atNs, 400'000'000, 60'000'000);
        if (!heard)
            continue;
        errorsByMinute[int((word.atNs - start) / 60'000'000'000)].push_back((word.atNs - *heard) / 1e6);
    }
    std::printf("\nHighlight against sound: sentence starts, raised minus heard (ms; negative is early)\n");
    std::printf("%-8s %10s %12s %12s\n", "minute", "sentences", "median ms", "largest ms");
    for (auto &[minute, errors] : errorsByMinute) {
        std::sort(errors.begin(), errors.end());
        const double median = errors[errors.size() / 2];
        const double largest = std::abs(errors.front()) > std::abs(errors.back()) ? errors.front() : errors.back();
        std::printf("%-8d %10zu %12.1f %12.1f\n", minute + 1, errors.size(), median, largest);
    }
    return 0;
}
