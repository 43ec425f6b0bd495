// SPDX-License-Identifier: GPL-3.0-or-later
// What the Mandarin front end costs: opening its dictionary, reading 1 MB
// and 10 MB of the sample text into what the engine is given, and the peak
// memory meanwhile; then `sayrella --pinyin` on the 10 MB as a person runs it.
#include "BenchMemory.h"
#include "BenchText.h"
#include "synth/mandarin/MandarinFrontEnd.h"
#include "synth/mandarin/PolyphoneModel.h"
#include "synth/mandarin/TextNormaliser.h"
#include "synth/mandarin/ReadingDictionary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// The processor time this process has used: what "on one core" measures,
// whatever else the machine is doing meanwhile.
double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/");
    QElapsedTimer clock;
    clock.start();
    ReadingDictionary dictionary;
    if (const QString error = dictionary.open(folder + QStringLiteral("mandarin-readings.bin")); !error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const qint64 openUs = clock.nsecsElapsed() / 1000;
    clock.restart();
    // As the helper reads: with the reading model of polyphones.
    PolyphoneModel model;
    if (const QString error = model.open(folder + QStringLiteral("mandarin-polyphones.bin")); !error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const qint64 modelUs = clock.nsecsElapsed() / 1000;
    const MandarinFrontEnd modelled(dictionary, &model);
    const MandarinFrontEnd withoutModel(dictionary);
    std::printf("\nMandarin front end\n%-28s %12s %12s %12s %12s\n", "", "ms", "MB/s", "peak RSS MB", "MB/CPU s");
    std::printf("%-28s %12.3f %12s %12.1f\n", "open the dictionary", openUs / 1000.0, "", peakRssKb() / 1024.0);
    std::printf("%-28s %12.3f %12s %12.1f\n", "open the polyphone model", modelUs / 1000.0, "", peakRssKb() / 1024.0);
    // What the helper pays once before its first text (the patterns made,
    // then one reading), and a second reading for comparison.
    clock.restart();
    TextNormaliser::prepare();
    std::printf("%-28s %12.3f\n", "make the patterns", clock.nsecsElapsed() / 1e6);
    for (const char *name : {"first reading", "second reading"}) {
        clock.restart();
        (void)modelled.read(u"文字本来是有声音的：2008年8月8日，3.5%，OK。");
        std::printf("%-28s %12.3f\n", name, clock.nsecsElapsed() / 1e6);
    }
    // 1 MB and 10 MB as the helper reads them, and 10 MB again without the
    // model, for what the model costs.
    for (const qsizetype megabytes : {1, 10, -10}) {
        const MandarinFrontEnd &frontEnd = megabytes > 0 ? modelled : withoutModel;
        const qsizetype size = std::abs(megabytes);
        // UTF-8 megabytes of mostly Hanzi: three bytes a character.
        const QString text = benchText(size * 1000000 / 3);
        clock.restart();
        const double cpuStart = cpuSeconds();
        qsizetype engineBytes = 0;
        // In parts of 16,384 units, as the reader hands a text to the helper,
        // then in the pieces the helper gives the engine.
        for (qsizetype partStart = 0; partStart < text.size(); partStart += 16384) {
            const QString part = text.mid(partStart, 16384);
            for (qsizetype from = 0; from < part.size();) {
                const TextPiece piece = nextPlainPiece(part, from);
                if (piece.length == 0)
                    break;
                for (const MandarinFrontEnd::EnginePart &enginePart :
                     frontEnd.forEngine(piece, QStringView(part).mid(piece.offset, piece.length)))
                    engineBytes += enginePart.piece.utf8.size();
                from += piece.length;
            }
        }
        const double ms = clock.nsecsElapsed() / 1e6;
        const double cpu = cpuSeconds() - cpuStart;
        std::printf("%-28s %12.1f %12.2f %12.1f %12.2f\n",
                    qPrintable(QStringLiteral("engine text, %1 MB%2").arg(size).arg(megabytes > 0 ? "" : ", no model")), ms,
                    size / (ms / 1000), peakRssKb() / 1024.0, size / cpu);
        if (megabytes == 10) {
            QTemporaryDir dir;
            QFile file(dir.filePath(QStringLiteral("ten.txt")));
            file.open(QIODevice::WriteOnly);
            file.write(text.toUtf8());
            file.close();
            QProcess program;
            program.setStandardOutputFile(QProcess::nullDevice());
            clock.restart();
            program.start(folder + QStringLiteral("sayrella"), {QStringLiteral("--pinyin"), file.fileName()});
            program.waitForFinished(600000);
            std::printf("%-28s %12.1f %12.2f %12s  (exit %d)\n", "sayrella --pinyin, 10 MB", clock.nsecsElapsed() / 1e6,
                        10 / (clock.nsecsElapsed() / 1e9), "", program.exitCode());
        }
    }
    return 0;
}
