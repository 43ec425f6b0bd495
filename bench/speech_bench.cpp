// SPDX-License-Identifier: GPL-3.0-or-later
// Prints how fast the espeak-ng voice answers, how punctual its words are,
// and how much memory a huge text costs. Run through tools/with-test-audio.sh
// (make bench) so that there is a sound server to play into.
#include "BenchMemory.h"
#include "BenchText.h"
#include "playback/AudioOutput.h"
#include "playback/EspeakVoice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryFile>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <memory>

namespace {

std::int64_t nowNs() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

// Time from starting espeak-ng's command line to its first byte of audio.
double cliFirstByteMs(const QString &text)
{
    QTemporaryFile file;
    if (!file.open())
        return -1;
    file.write(text.toUtf8());
    file.flush();
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral("espeak-ng"),
                  {QStringLiteral("--stdout"), QStringLiteral("-v"), QStringLiteral("cmn"), QStringLiteral("-f"),
                   file.fileName()});
    if (!process.waitForReadyRead(120000))
        return -1;
    const double ms = clock.nsecsElapsed() / 1e6;
    process.kill();
    process.waitForFinished();
    return ms;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(p * (values.size() - 1) + 0.5))];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    std::printf("\nVoice creation (synthesis helper started, engine loaded, voices listed)\n");
    {
        std::vector<double> starts;
        for (int i = 0; i < 10; ++i) {
            const std::int64_t start = nowNs();
            EspeakVoice fresh;
            starts.push_back((nowNs() - start) / 1e6);
        }
        std::printf("%-10s %10s %10s %10s\n", "starts", "min ms", "p50 ms", "max ms");
        std::printf("%-10zu %10.1f %10.1f %10.1f\n", starts.size(), percentile(starts, 0), percentile(starts, 0.5),
                    percentile(starts, 1.0));
    }

    auto owned = std::make_unique<EspeakVoice>();
    EspeakVoice &voice = *owned;

    std::printf("\nSpeak latency (async Speak with purge; first PCM = first sample handed to the sound server)\n");
    std::printf("%-22s %12s %14s %18s %8s\n", "text", "return ms", "first PCM ms", "espeak-ng CLI ms", "ratio");
    const struct
    {
        const char *name;
        qsizetype units;
    } sizes[] = {{"100 characters", 100},
                 {"10,625 characters", 10625},
                 {"1 MB (UTF-8)", 1000000 / 3},
                 {"10 MB (UTF-8)", 10000000 / 3}};
    for (const auto &size : sizes) {
        const QString text = benchText(size.units);
        const std::int64_t start = nowNs();
        voice.Speak(text, ReaderSpeakFlags);
        const double returnMs = (nowNs() - start) / 1e6;
        (void)QTest::qWaitFor([&] { return voice.queue().firstSampleAcceptedNs().has_value(); }, 10000);
        const double firstMs = (voice.queue().firstSampleAcceptedNs().value_or(start) - start) / 1e6;
        voice.Speak(QString(), SVSFPurgeBeforeSpeak);
        const double cliMs = cliFirstByteMs(text);
        std::printf("%-22s %12.2f %14.2f %18.2f %8.1f\n", size.name, returnMs, firstMs, cliMs, cliMs / firstMs);
    }

    // One first Speak is a noisy figure: the same short text spoken again
    // and again (each purged at its first sample) gives a steady one.
    std::printf("\nFirst PCM of a 100-character text, spoken 30 times\n%-10s %10s %10s %10s\n", "speaks", "min ms",
                "p50 ms", "p90 ms");
    {
        std::vector<double> firsts;
        const QString text = benchText(100);
        for (int i = 0; i < 30; ++i) {
            const std::int64_t start = nowNs();
            voice.Speak(text, ReaderSpeakFlags);
            (void)QTest::qWaitFor([&] { return voice.queue().firstSampleAcceptedNs().has_value(); }, 10000);
            firsts.push_back((voice.queue().firstSampleAcceptedNs().value_or(start) - start) / 1e6);
            voice.Speak(QString(), SVSFPurgeBeforeSpeak);
            QTest::qWait(50);
        }
        std::printf("%-10zu %10.2f %10.2f %10.2f\n", firsts.size(), percentile(firsts, 0), percentile(firsts, 0.5),
                    percentile(firsts, 0.9));
    }

    std::printf("\nWord timing error (dispatch on the UI thread against the sound server's played position)\n");
    std::vector<double> errors;
    const QObject context;
    QObject::connect(&voice, &SpVoice::Word, &context, [&](long, const QVariant &position, long, long) {
        const double dueSample = position.toLongLong() / 2.0;
        errors.push_back((voice.output().playedSamplesEstimate() - dueSample) * 1000.0 / voice.output().sampleRate());
    });
    voice.Speak(benchText(400), ReaderSpeakFlags);
    QTest::qWait(15000);
    voice.Speak(QString(), SVSFPurgeBeforeSpeak);
    std::vector<double> late;
    for (double e : errors)
        late.push_back(std::abs(e));
    std::printf("%-10s %10s %10s %10s %10s\n", "words", "p50 ms", "p95 ms", "max ms", "mean ms");
    double sum = 0;
    for (double e : errors)
        sum += e;
    std::printf("%-10zu %10.2f %10.2f %10.2f %10.2f\n", errors.size(), percentile(late, 0.5), percentile(late, 0.95),
                percentile(late, 1.0), errors.empty() ? 0 : sum / errors.size());

    std::printf("\nVolume change: audio already handed to the sound server (heard at the old volume) when it lands\n");
    {
        voice.Speak(benchText(2000), ReaderSpeakFlags);
        QTest::qWait(1000);
        std::vector<double> lag;
        for (int i = 0; i < 20; ++i) {
            voice.setVolume(i % 2 ? 100 : 40);
            lag.push_back((voice.queue().handedOver() - voice.output().playedSamplesEstimate()) * 1000.0
                          / voice.output().sampleRate());
            QTest::qWait(137);
        }
        voice.Speak(QString(), SVSFPurgeBeforeSpeak);
        std::printf("%-10s %10s %10s\n", "changes", "p50 ms", "max ms");
        std::printf("%-10zu %10.1f %10.1f\n", lag.size(), percentile(lag, 0.5), percentile(lag, 1.0));
    }

    std::printf(
        "\nRate change: from the slider's move to the first sample at the new rate heard, and to the next word\n");
    {
        std::printf("%-16s %12s %12s %12s %14s\n", "change", "heard p50", "heard p95", "heard max", "next word p50");
        for (const auto &[from, to] : {std::pair{-10L, 0L}, std::pair{0L, -10L}, std::pair{0L, 10L}}) {
            std::vector<double> heard, nextWord;
            for (int i = 0; i < 8; ++i) {
                voice.setRate(from);
                voice.Speak(benchText(600), ReaderSpeakFlags);
                QTest::qWait(1500 + 97 * i);
                long words = 0;
                const QObject counter;
                QObject::connect(&voice, &SpVoice::Word, &counter,
                                 [&](long, const QVariant &, long, long) { ++words; });
                const std::int64_t moved = nowNs();
                voice.setRate(to);
                // Everything after what the server held at the move is at the new rate.
                const qint64 newRateFrom = voice.queue().handedOver();
                (void)QTest::qWaitFor([&] { return voice.output().playedSamplesEstimate() >= newRateFrom; }, 5000);
                heard.push_back((nowNs() - moved) / 1e6);
                (void)QTest::qWaitFor([&] { return words > 0; }, 5000);
                nextWord.push_back((nowNs() - moved) / 1e6);
                voice.Speak(QString(), SVSFPurgeBeforeSpeak);
            }
            char name[32];
            std::snprintf(name, sizeof name, "%ld -> %ld", from, to);
            std::printf("%-16s %12.1f %12.1f %12.1f %14.1f\n", name, percentile(heard, 0.5), percentile(heard, 0.95),
                        percentile(heard, 1.0), percentile(nextWord, 0.5));
        }
        voice.setRate(0);
    }

    std::printf("\nCrash recovery: the helper killed while speaking; Speak pressed when the failure is shown\n");
    {
        std::vector<double> reported, heard;
        for (int i = 0; i < 5; ++i) {
            bool failed = false;
            const QObject watcher;
            QObject::connect(&voice, &SpVoice::failed, &watcher, [&] { failed = true; });
            voice.Speak(benchText(2000), ReaderSpeakFlags);
            QTest::qWait(500);
            const std::int64_t death = nowNs();
            kill(voice.helperPid(), SIGKILL);
            (void)QTest::qWaitFor([&] { return failed; }, 10000);
            reported.push_back((nowNs() - death) / 1e6);
            voice.Speak(benchText(100), ReaderSpeakFlags);
            (void)QTest::qWaitFor([&] { return voice.queue().firstSampleAcceptedNs().has_value(); }, 10000);
            heard.push_back((voice.queue().firstSampleAcceptedNs().value_or(death) - death) / 1e6);
            voice.Speak(QString(), SVSFPurgeBeforeSpeak);
        }
        std::printf("%-36s %10s %10s\n", "", "p50 ms", "max ms");
        std::printf("%-36s %10.1f %10.1f\n", "death -> failure reported", percentile(reported, 0.5),
                    percentile(reported, 1));
        std::printf("%-36s %10.1f %10.1f\n", "death -> next Speak's first PCM", percentile(heard, 0.5),
                    percentile(heard, 1));
    }

    std::printf("\nMemory while speaking a 10 MB text\n");
    {
        const QString huge = benchText(10000000 / 3);
        voice.Speak(huge, ReaderSpeakFlags);
        QTest::qWait(5000);
        voice.Speak(QString(), SVSFPurgeBeforeSpeak);
    }
    std::printf("peak RSS %.1f MB (of which the 10 MB text itself, as UTF-16: %.1f MB); synthesis helper %.1f MB\n",
                peakRssKb() / 1024.0, 10000000 / 3 * 2 / 1048576.0,
                peakRssKb(QString::number(voice.helperPid())) / 1024.0);

    owned.reset();

    // Closing the reader releases its voice: what that costs must not grow
    // with the time spent reading.
    std::printf("\nReleasing the voice while it speaks, after reading for a while\n");
    std::printf("%-16s %12s\n", "read for", "release ms");
    for (int seconds : {1, 30, 120}) {
        auto reading = std::make_unique<EspeakVoice>();
        reading->Speak(benchText(10625).repeated(4), ReaderSpeakFlags);
        QTest::qWait(seconds * 1000);
        const std::int64_t releaseStart = nowNs();
        reading.reset();
        std::printf("%-16s %12.2f\n", qPrintable(QStringLiteral("%1 s").arg(seconds)), (nowNs() - releaseStart) / 1e6);
    }
    return 0;
}
