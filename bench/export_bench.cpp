// SPDX-License-Identifier: GPL-3.0-or-later
// Prints how fast speech is saved to files, against espeak-ng's own command
// line writing the same text to a WAV, how much memory a 10 MB text costs
// (the audio is streamed, never held), and how well subtitles keep time.
#include "BenchMemory.h"
#include "BenchText.h"
#include "export/Exporter.h"
#include "export/Subtitles.h"
#include "resources/Resources.h"
#include "export/ParallelSynthesis.h"
#include "speech/helper/SpeechRenderer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sndfile.h>

#include <algorithm>
#include <functional>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace {

double secondsOf(const QString &path)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return 0;
    sf_close(file);
    return double(info.frames) / info.samplerate;
}

class Words : public SpeechRenderer::Sink
{
public:
    bool samples(const int16_t *, std::size_t) override { return true; }
    void word(qint64 sample, long position, long length) override { words.append({sample, qint32(position), qint32(length)}); }
    QList<Subtitles::Word> words;
};

Exporter::Job job(const QString &text, const QString &target)
{
    Exporter::Job made;
    made.text = text;
    made.target = target;
    return made;
}

constexpr int Rounds = 7;
// Two busy processes given at least this many cores' worth count as having
// the machine's two cores; below it, the host is running them on one.
constexpr double WholeCores = 1.8;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double timed(const std::function<void()> &run)
{
    ::sync();
    QElapsedTimer clock;
    clock.start();
    run();
    return clock.nsecsElapsed() / 1e9;
}

QStringList espeakArguments(const QString &textFile, const QString &target)
{
    return {"-v", "cmn", "-s", "280", "-w", target, "-f", textFile};
}

void runEspeak(const QString &textFile, const QString &target)
{
    QProcess::execute(QStringLiteral("espeak-ng"), espeakArguments(textFile, target));
}

// How many cores two busy processes get at this moment: the engine saying
// the sample alone, then twice at once. A virtual machine's two cores may be
// the host's two threads of one real core, now and then or for minutes; the
// engine then runs about 1.4 times as fast side by side as alone instead of
// twice, and so does every parallel save. This puts a number on it for each
// round, beside the ratio it explains.
double coresAtWork(const QTemporaryDir &dir)
{
    const QString sampleFile = dir.filePath(QStringLiteral("sample.txt"));
    if (!QFileInfo::exists(sampleFile)) {
        QFile file(sampleFile);
        file.open(QIODevice::WriteOnly);
        file.write(LoadResString(101).toUtf8());
    }
    const QString first = dir.filePath(QStringLiteral("first.wav"));
    const QString second = dir.filePath(QStringLiteral("second.wav"));
    const double alone = timed([&] { runEspeak(sampleFile, first); });
    const double together = timed([&] {
        QProcess a, b;
        a.start(QStringLiteral("espeak-ng"), espeakArguments(sampleFile, first));
        b.start(QStringLiteral("espeak-ng"), espeakArguments(sampleFile, second));
        a.waitForFinished(-1);
        b.waitForFinished(-1);
    });
    return 2 * alone / together;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const std::atomic<bool> never{false};
    const QString sample = LoadResString(101);
    const SynthesisFactory helpers = [] { return std::make_unique<SpeechRenderer>(); };

    std::printf("\nSaving the %lld-character sample text (fresh helper each time)\n", qlonglong(sample.size()));
    std::printf("%-28s %10s %12s %12s\n", "", "work s", "audio s", "x real time");
    for (const char *name : {"sample.wav", "sample.mp3", "sample.flac", "sample.ogg", "sample.opus"}) {
        ParallelSynthesis renderer(helpers, ParallelSynthesis::defaultJobs());
        const QString target = dir.filePath(QString::fromLatin1(name));
        QElapsedTimer clock;
        clock.start();
        Exporter::run(renderer, job(sample, target), {}, never);
        const double work = clock.nsecsElapsed() / 1e9, audio = secondsOf(target);
        std::printf("%-28s %10.2f %12.1f %12.0f\n", name, work, audio, audio / work);
    }

    // Side by side with espeak-ng's own command line writing a WAV of the
    // same text with the same voice at the same speed (280 words a minute,
    // the built-in Mandarin voices' speed at rate 0): work per second of audio.
    const QString book = sample.repeated(3);
    QFile text(dir.filePath(QStringLiteral("book.txt")));
    text.open(QIODevice::WriteOnly);
    text.write(book.toUtf8());
    text.close();
    std::printf("\nThe sample text x3 (%lld characters) as WAV, side by side: %d rounds of espeak-ng, then ours\n"
                "with one job and with every core, each run after a sync; then the machine's cores at work\n",
                qlonglong(book.size()), Rounds);
    // Interleaved, because this machine's speed drifts by a fifth from one
    // minute to the next: the ratio of runs made moments apart holds still
    // where separate blocks of runs do not. The sync before each run keeps
    // the last run's file going to the disk from being charged to the next.
    const QString cliTarget = dir.filePath(QStringLiteral("cli.wav")), ourTarget = dir.filePath(QStringLiteral("book.wav"));
    const std::vector<int> jobCounts{1, ParallelSynthesis::defaultJobs()};
    std::vector<double> cliWorks, capacities;
    std::vector<std::vector<double>> works(jobCounts.size()), ratios(jobCounts.size());
    double cliAudio = 0, ourAudio = 0;
    std::printf("%-6s %12s %12s %12s %8s %8s\n", "round", "espeak-ng s", "ours 1 s", "ours all s", "ratio", "cores");
    for (int round = 0; round < Rounds; ++round) {
        const double cli = timed([&] { runEspeak(text.fileName(), cliTarget); });
        cliAudio = secondsOf(cliTarget);
        cliWorks.push_back(cli);
        for (std::size_t j = 0; j < jobCounts.size(); ++j) {
            QFile::remove(ourTarget);
            // The program itself, as espeak-ng is: its start and its helpers'
            // are part of the work.
            const double work = timed([&] {
                QProcess::execute(QStringLiteral(SAYRELLA_PROGRAM),
                                  {"--export", ourTarget, "--jobs", QString::number(jobCounts[j]), text.fileName()});
            });
            ourAudio = secondsOf(ourTarget);
            works[j].push_back(work);
            ratios[j].push_back((work / ourAudio) / (cli / cliAudio));
        }
        capacities.push_back(coresAtWork(dir));
        std::printf("%-6d %12.2f %12.2f %12.2f %8.2f %8.2f\n", round + 1, cli, works.front().back(),
                    works.back().back(), ratios.back().back(), capacities.back());
    }
    std::printf("\n%-34s %10s %10s %14s %8s\n", "medians", "work s", "audio s", "ms per audio s", "ratio");
    std::printf("%-34s %10.2f %10.1f %14.3f %8s\n", "espeak-ng -v cmn -s 280 -w", median(cliWorks), cliAudio,
                median(cliWorks) / cliAudio * 1000, "1.00");
    for (std::size_t j = 0; j < jobCounts.size(); ++j) {
        const QString label = QStringLiteral("sayrella --export, %1 job(s)").arg(jobCounts[j]);
        std::printf("%-34s %10.2f %10.1f %14.3f %8.2f\n", qPrintable(label), median(works[j]), ourAudio,
                    median(works[j]) / ourAudio * 1000, median(ratios[j]));
    }
    std::vector<double> withBothCores;
    for (std::size_t i = 0; i < capacities.size(); ++i)
        if (capacities[i] >= WholeCores)
            withBothCores.push_back(ratios.back()[i]);
    std::printf("cores at work: median %.2f; %zu of %d rounds had at least %.1f, ratio with every core there: %s\n",
                median(capacities), withBothCores.size(), Rounds, WholeCores,
                withBothCores.empty() ? "-" : qPrintable(QString::number(median(withBothCores), 'f', 2)));

    std::printf("\nSaving a 10 MB text as MP3 with subtitles, every core\n");
    {
        ParallelSynthesis renderer(helpers, ParallelSynthesis::defaultJobs());
        QElapsedTimer clock;
        clock.start();
        const QString target = dir.filePath(QStringLiteral("huge.mp3"));
        Exporter::Job huge = job(benchText(10000000 / 3), target);
        huge.subtitles = true;
        Exporter::run(renderer, huge, {}, never);
        std::printf("%.0f s of work for %.1f h of audio; peak RSS %.1f MB (of which the text as UTF-16: 6.4 MB)\n",
                    clock.elapsed() / 1000.0, secondsOf(target) / 3600, peakRssKb() / 1024.0);
    }

    std::printf("\nSubtitle timing: LRC start of each sentence against its first word's sample in the audio\n");
    {
        QString text;
        for (int i = 0; i < 60; ++i)
            text += QStringLiteral("第%1句，河边的柳树发芽了。").arg(i + 1);
        SpeechRenderer first, second;
        const QString target = dir.filePath(QStringLiteral("timing.wav"));
        Exporter::Job timed = job(text, target);
        timed.subtitles = true;
        Exporter::run(first, timed, {}, never);
        Words made;
        second.render(text, {}, made, never);
        QFile lrc(Exporter::subtitlePath(target, "lrc"));
        lrc.open(QIODevice::ReadOnly);
        const QList<Subtitles::Cue> truth = Subtitles::sentences(text, made.words, 0);
        const QStringList lines = QString::fromUtf8(lrc.readAll()).split(u'\n', Qt::SkipEmptyParts);
        static const QRegularExpression time(QStringLiteral("^\\[(\\d+):(\\d\\d)\\.(\\d\\d)\\]"));
        double worst = 0;
        for (qsizetype i = 0; i < std::min(lines.size(), truth.size()); ++i) {
            const auto m = time.match(lines[i]);
            const double at = m.captured(1).toInt() * 60 + m.captured(2).toInt() + m.captured(3).toInt() / 100.0;
            worst = std::max(worst, std::abs(at - truth[i].start / double(first.sampleRate())));
        }
        std::printf("%lld sentences, %lld lines; max error %.1f ms\n", qlonglong(truth.size()), qlonglong(lines.size()),
                    worst * 1000);
    }
    return 0;
}
