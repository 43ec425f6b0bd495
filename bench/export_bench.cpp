// SPDX-License-Identifier: GPL-3.0-or-later
// Prints how fast speech is saved to files, against espeak-ng's own command
// line writing the same text to a WAV, how much memory a 10 MB text costs
// (the audio is streamed, never held), and how well subtitles keep time.
#include "BenchMemory.h"
#include "BenchText.h"
#include "export/Exporter.h"
#include "export/Subtitles.h"
#include "resources/Resources.h"
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
#include <cmath>
#include <cstdio>

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
    void word(qint64 sample, long position, long length) override { words.append({sample, position, length}); }
    QList<Subtitles::Word> words;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const std::atomic<bool> never{false};
    const QString sample = LoadResString(101);

    std::printf("\nSaving the %lld-character sample text (fresh helper each time)\n", qlonglong(sample.size()));
    std::printf("%-28s %10s %12s %12s\n", "", "work s", "audio s", "x real time");
    double wavSeconds = 0;
    for (const char *name : {"sample.wav", "sample.mp3", "sample.flac", "sample.ogg", "sample.opus"}) {
        SpeechRenderer renderer;
        const QString target = dir.filePath(QString::fromLatin1(name));
        QElapsedTimer clock;
        clock.start();
        Exporter::run(renderer, {sample, target, {}, false}, {}, never);
        const double work = clock.nsecsElapsed() / 1e9, audio = secondsOf(target);
        if (wavSeconds == 0)
            wavSeconds = audio;
        std::printf("%-28s %10.2f %12.1f %12.0f\n", name, work, audio, audio / work);
    }
    {
        QFile text(dir.filePath(QStringLiteral("sample.txt")));
        text.open(QIODevice::WriteOnly);
        text.write(sample.toUtf8());
        text.close();
        QElapsedTimer clock;
        clock.start();
        QProcess::execute(QStringLiteral("espeak-ng"),
                          {"-v", "cmn", "-w", dir.filePath(QStringLiteral("cli.wav")), "-f", text.fileName()});
        const double work = clock.nsecsElapsed() / 1e9, audio = secondsOf(dir.filePath(QStringLiteral("cli.wav")));
        std::printf("%-28s %10.2f %12.1f %12.0f\n", "espeak-ng -w (command line)", work, audio, audio / work);
    }

    std::printf("\nSaving a 10 MB text as MP3 (the first 60 s of work)\n");
    {
        SpeechRenderer renderer;
        std::atomic<bool> stop{false};
        QElapsedTimer clock;
        clock.start();
        double share = 0;
        Exporter::run(
            renderer, {benchText(10000000 / 3), dir.filePath(QStringLiteral("huge.mp3")), {}, true},
            [&](const Exporter::Progress &p) {
                share = p.share;
                if (clock.elapsed() > 60000)
                    stop = true;
            },
            stop);
        std::printf("done %.1f%% in %.0f s; peak RSS %.1f MB (of which the text as UTF-16: 6.4 MB)\n", share * 100,
                    clock.elapsed() / 1000.0, peakRssKb() / 1024.0);
    }

    std::printf("\nSubtitle timing: LRC start of each sentence against its first word's sample in the audio\n");
    {
        QString text;
        for (int i = 0; i < 60; ++i)
            text += QStringLiteral("第%1句，河边的柳树发芽了。").arg(i + 1);
        SpeechRenderer first, second;
        const QString target = dir.filePath(QStringLiteral("timing.wav"));
        Exporter::run(first, {text, target, {}, true}, {}, never);
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
