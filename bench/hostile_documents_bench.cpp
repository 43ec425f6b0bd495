// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile documents against their budgets: each is read (or refused) in a
// process of its own within 5 s and 512 MB of peak memory, or this exits 1.
// The files are the ones an attack on the reader used: small markup that
// stands for a thousand million characters, unclosed scripts, nesting that
// Qt's HTML import takes minutes over, a pipe.
#include "BenchMemory.h"
#include "documents/Documents.h"
#include "platform/Failure.h"
#include "support/DocumentFiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/stat.h>

namespace {

constexpr qint64 BudgetMs = 5000;
constexpr long BudgetKb = 512 * 1024;

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QString makeDocument(const QString &kind, const QTemporaryDir &dir)
{
    if (kind == u"odt-spaces") {
        QByteArray content = "<?xml version=\"1.0\"?><office:document-content "
                             "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                             "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body>"
                             "<office:text><text:p>";
        content += QByteArray("<text:s text:c=\"1000\"/>").repeated(1000000);
        content += "</text:p></office:text></office:body></office:document-content>";
        const QString path = dir.filePath(QStringLiteral("spaces.odt"));
        DocumentFiles::writeZip(path, {{"mimetype", "application/vnd.oasis.opendocument.text"}, {"content.xml", content}});
        return path;
    }
    const QString path = dir.filePath(kind + QStringLiteral(".html"));
    if (kind == u"unclosed-scripts")
        write(path, "<html><body>" + QByteArray("<p>文字</p><script>").repeated(8000));
    else if (kind == u"script-1.8MB")
        write(path, "<html><body>" + QByteArray("<script>var a=1;").repeated(1800000 / 16));
    else if (kind == u"nested-divs")
        write(path, "<html><body>" + QByteArray("<div>字").repeated(100000) + QByteArray("</div>").repeated(100000));
    else if (kind == u"nested-tables")
        write(path, "<html><body>" + QByteArray("<table><tr><td>字").repeated(20000)
                        + QByteArray("</td></tr></table>").repeated(20000));
    else if (kind == u"bom-binary")
        write(path.chopped(5) + QStringLiteral(".txt"), QByteArray("\xEF\xBB\xBF") + QByteArray(4 << 20, '\0'));
    else if (kind == u"fifo")
        mkfifo(QFile::encodeName(path).constData(), 0600);
    return kind == u"bom-binary" ? path.chopped(5) + QStringLiteral(".txt") : path;
}

int runCase(const QString &kind)
{
    QTemporaryDir dir;
    const QString path = makeDocument(kind, dir);
    const long before = peakRssKb();
    QElapsedTimer clock;
    clock.start();
    QString outcome;
    qsizetype characters = 0;
    try {
        characters = Documents::readText(path).size();
        outcome = QStringLiteral("read");
    } catch (const Failure &failure) {
        outcome = QStringLiteral("refused");
    }
    const qint64 ms = clock.elapsed();
    const long peak = peakRssKb();
    const bool within = ms <= BudgetMs && peak <= BudgetKb;
    std::printf("%-18s %-8s %12lld %10lld %12.1f %12.1f  %s\n", qPrintable(kind), qPrintable(outcome),
                qlonglong(characters), qlonglong(ms), before / 1024.0, peak / 1024.0, within ? "ok" : "OVER BUDGET");
    return within ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc > 2 && QByteArray(argv[1]) == "case")
        return runCase(QString::fromLatin1(argv[2]));
    std::printf("\nHostile documents (budget: %lld ms, %ld MB peak each)\n", qlonglong(BudgetMs), BudgetKb / 1024);
    std::printf("%-18s %-8s %12s %10s %12s %12s\n", "document", "outcome", "chars", "ms", "start MB", "peak MB");
    std::fflush(stdout);
    int status = 0;
    for (const char *kind :
         {"odt-spaces", "unclosed-scripts", "script-1.8MB", "nested-divs", "nested-tables", "bom-binary", "fifo"}) {
        QProcess one;
        one.setProcessChannelMode(QProcess::ForwardedChannels);
        one.start(QCoreApplication::applicationFilePath(), {QStringLiteral("case"), QString::fromLatin1(kind)});
        // A case past its budget several times over is as good as hung.
        if (!one.waitForFinished(int(BudgetMs) * 6)) {
            one.kill();
            one.waitForFinished();
            std::printf("%-18s still running after %lld ms: OVER BUDGET\n", kind, qlonglong(BudgetMs) * 6);
            status = 1;
        } else if (one.exitCode() != 0) {
            status = 1;
        }
    }
    return status;
}
