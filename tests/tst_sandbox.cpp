// SPDX-License-Identifier: GPL-3.0-or-later
// The helper's confinement, applied to a child process of the test that then
// tries what a subverted synthesiser would: open a network socket, write a
// file, start a program, fork, and read outside the folders it may read.
#include "synth/sandbox/Sandbox.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// What one attempt in the confined child ended with: 0 for success, else errno.
struct Outcome
{
    int socketInet, socketUnix, writeFile, createInAllowed, fork, exec, readAllowed, readOutside;
    int landlockAbi, seccomp;
};

Outcome runConfined(const QByteArray &allowed, const QByteArray &outside)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        qFatal("pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        const Sandbox::Report report = Sandbox::confine({allowed});
        const auto result = [](int r) { return r >= 0 ? 0 : errno; };
        Outcome o{};
        o.landlockAbi = report.landlockAbi;
        o.seccomp = report.seccomp;
        o.socketInet = result(socket(AF_INET, SOCK_STREAM, 0));
        o.socketUnix = result(socket(AF_UNIX, SOCK_STREAM, 0));
        o.writeFile = result(open((allowed + "/allowed.txt").constData(), O_WRONLY));
        o.createInAllowed = result(open((allowed + "/new.txt").constData(), O_WRONLY | O_CREAT, 0600));
        const pid_t child = ::fork();
        if (child == 0)
            _exit(0);
        o.fork = child >= 0 ? 0 : errno;
        char *const argv[] = {const_cast<char *>("true"), nullptr};
        execv("/bin/true", argv);
        o.exec = errno;
        o.readAllowed = result(open((allowed + "/allowed.txt").constData(), O_RDONLY));
        o.readOutside = result(open(outside.constData(), O_RDONLY));
        (void)!write(pipeFds[1], &o, sizeof o);
        _exit(0);
    }
    close(pipeFds[1]);
    Outcome o{};
    const bool complete = read(pipeFds[0], &o, sizeof o) == ssize_t(sizeof o);
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!complete)
        qFatal("the confined child did not report");
    return o;
}

} // namespace

class TestSandbox : public QObject
{
    Q_OBJECT

private slots:
    void confinedProcessIsRefusedWhatItMustNotDo();
};

void TestSandbox::confinedProcessIsRefusedWhatItMustNotDo()
{
    QTemporaryDir allowed, elsewhere;
    for (const QString &path :
         {allowed.filePath(QStringLiteral("allowed.txt")), elsewhere.filePath(QStringLiteral("outside.txt"))}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("text");
    }
    const Outcome o = runConfined(QFile::encodeName(allowed.path()),
                                  QFile::encodeName(elsewhere.filePath(QStringLiteral("outside.txt"))));
    QVERIFY(o.seccomp);
    const struct
    {
        const char *attempt;
        int result;
    } refused[] = {{"network socket", o.socketInet},
                   {"local socket", o.socketUnix},
                   {"file write", o.writeFile},
                   {"file creation", o.createInAllowed},
                   {"fork", o.fork},
                   {"exec", o.exec}};
    for (const auto &r : refused)
        QVERIFY2(r.result == EPERM || r.result == EACCES,
                 qPrintable(QStringLiteral("%1: errno %2").arg(r.attempt).arg(r.result)));
    QCOMPARE(o.readAllowed, 0);
    // Landlock is a kernel option; where it exists, reading elsewhere is refused too.
    if (o.landlockAbi > 0)
        QCOMPARE(o.readOutside, EACCES);
    else
        qInfo("this kernel has no Landlock: reads outside the allowed folders are not confined");
}

QTEST_GUILESS_MAIN(TestSandbox)
#include "tst_sandbox.moc"
