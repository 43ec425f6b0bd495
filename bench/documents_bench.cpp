// SPDX-License-Identifier: GPL-3.0-or-later
// Prints how long a document takes from "open" to its text in the text
// area, and the peak memory meanwhile: a 10 MB GB18030 novel, a 5 MB EPUB
// and a 300-page PDF. Each case runs in a process of its own, so that its
// peak memory is its own.
#include "BenchMemory.h"
#include "BenchText.h"
#include "documents/BackgroundRead.h"
#include "reader/ReaderTextBox.h"
#include "support/DocumentFiles.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

// Makes the document of a case; returns its path.
QString makeDocument(const QString &kind, const QTemporaryDir &dir)
{
    if (kind == u"txt") {
        const QString path = dir.filePath(QStringLiteral("novel.txt"));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(DocumentFiles::encoded(benchText(10000000 / 2), "GB18030")); // 2 bytes a Hanzi: 10 MB
        return path;
    }
    if (kind == u"epub") {
        // Hanzi in no order, so the archive does not shrink them away: about 5 MB of file.
        QStringList chapters;
        quint32 seed = 1;
        for (int i = 0; i < 50; ++i) {
            QString chapter;
            for (int n = 0; n < 50000; ++n) {
                seed = seed * 1664525u + 1013904223u;
                chapter += n % 40 == 39 ? QChar(u'。') : QChar(char16_t(0x4E00 + (seed >> 8) % 3000));
            }
            chapters << chapter;
        }
        const QString path = dir.filePath(QStringLiteral("book.epub"));
        DocumentFiles::writeZip(path, DocumentFiles::epub(chapters));
        return path;
    }
    QStringList pages;
    for (int i = 0; i < 300; ++i)
        pages << benchText(400);
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    DocumentFiles::writePdf(path, pages);
    return path;
}

int runCase(const QString &kind)
{
    QTemporaryDir dir;
    const QString path = makeDocument(kind, dir);
    const qint64 fileBytes = QFileInfo(path).size();
    ReaderTextBox box;
    box.resize(337, 273);
    box.show();
    if (!QTest::qWaitForWindowExposed(&box))
        return 1;
    QElapsedTimer clock;
    clock.start();
    bool done = false;
    qint64 readMs = 0;
    Documents::readInBackground(path, &box, [&](const Documents::Outcome &outcome) {
        readMs = clock.elapsed();
        box.replaceAll(outcome.text);
        done = true;
    });
    // The window keeps repainting meanwhile: count the event-loop turns.
    int turns = 0;
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ++turns;
    }
    const qint64 totalMs = clock.elapsed();
    std::printf("%-8s %10.1f %10lld %10lld %10lld %12.1f\n", qPrintable(kind), fileBytes / 1048576.0, readMs, totalMs,
                qlonglong(box.document()->characterCount()), peakRssKb() / 1024.0);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc > 2 && QByteArray(argv[1]) == "case")
        return runCase(QString::fromLatin1(argv[2]));
    std::printf("\nOpening a document: from the open to its text in the text area\n");
    std::printf("%-8s %10s %10s %10s %10s %12s\n", "format", "file MB", "read ms", "shown ms", "chars", "peak RSS MB");
    std::fflush(stdout);
    for (const char *kind : {"txt", "epub", "pdf"}) {
        QProcess one;
        one.setProcessChannelMode(QProcess::ForwardedChannels);
        one.start(QCoreApplication::applicationFilePath(), {QStringLiteral("case"), QString::fromLatin1(kind)});
        one.waitForFinished(600000);
    }
    return 0;
}
