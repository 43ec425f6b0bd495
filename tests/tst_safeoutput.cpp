// SPDX-License-Identifier: GPL-3.0-or-later
// A saved file is on the disk before it takes its name, and its name is on
// the disk before the save counts as done. The calls are watched by
// functions of this program that stand in front of the C library's own
// (the library under test is linked in, so its calls reach these first).
#include "export/SafeOutput.h"
#include "platform/Failure.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList g_calls;
bool g_watching = false;
bool g_failFileFsync = false;
bool g_failEarlyFlush = false;

bool isFolder(int fd)
{
    struct stat status;
    return fstat(fd, &status) == 0 && S_ISDIR(status.st_mode);
}

} // namespace

extern "C" int fsync(int fd)
{
    static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    if (g_watching) {
        const bool folder = isFolder(fd);
        g_calls << (folder ? QStringLiteral("fsync folder") : QStringLiteral("fsync file"));
        if (!folder && g_failFileFsync) {
            errno = EIO;
            return -1;
        }
    }
    return real(fd);
}

// The flush a save starts while it is still writing. Linux tells of a failed
// write-back once: the final fsync then succeeds, as the real one would.
extern "C" int fdatasync(int fd)
{
    static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fdatasync"));
    if (g_failEarlyFlush) {
        errno = EIO;
        return -1;
    }
    return real(fd);
}

extern "C" int rename(const char *from, const char *to)
{
    static const auto real = reinterpret_cast<int (*)(const char *, const char *)>(dlsym(RTLD_NEXT, "rename"));
    if (g_watching)
        g_calls << QStringLiteral("rename");
    return real(from, to);
}

class TestSafeOutput : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void flushedBeforeRenamedThenFolderFlushed();
    void failedFlushKeepsTheOldFile_data();
    void failedFlushKeepsTheOldFile();

private:
    void save(const QString &target, const QByteArray &bytes);
};

void TestSafeOutput::init()
{
    g_calls.clear();
    g_failFileFsync = false;
    g_failEarlyFlush = false;
}

void TestSafeOutput::cleanup() { g_watching = false; }

void TestSafeOutput::save(const QString &target, const QByteArray &bytes)
{
    SafeOutput output(target);
    QCOMPARE(::write(output.fd(), bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    output.startWriteback();
    g_watching = true;
    output.commit();
}

void TestSafeOutput::flushedBeforeRenamedThenFolderFlushed()
{
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("speech.srt"));
    save(target, "1\n");
    g_watching = false;
    QCOMPARE(g_calls, (QStringList{"fsync file", "rename", "fsync folder"}));
    QFile saved(target);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("1\n"));
}

void TestSafeOutput::failedFlushKeepsTheOldFile_data()
{
    QTest::addColumn<bool>("early");
    QTest::newRow("the final flush") << false;
    QTest::newRow("a flush while writing") << true;
}

// A disk that fails a flush fails the save, with its reason; the file of
// that name stays as it was, and no temporary is left behind.
void TestSafeOutput::failedFlushKeepsTheOldFile()
{
    QFETCH(bool, early);
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("speech.srt"));
    save(target, "old");
    g_calls.clear();
    (early ? g_failEarlyFlush : g_failFileFsync) = true;
    try {
        save(target, "new");
        QFAIL("a failed flush was taken for a save");
    } catch (const Failure &failure) {
        QCOMPARE(failure.reason(), Failure::Reason::FileUnwritable);
    }
    g_watching = false;
    QVERIFY(!g_calls.contains(QStringLiteral("rename")));
    QFile saved(target);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("old"));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"speech.srt"});
}

QTEST_GUILESS_MAIN(TestSafeOutput)
#include "tst_safeoutput.moc"
