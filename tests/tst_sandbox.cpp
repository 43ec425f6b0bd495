// SPDX-License-Identifier: GPL-3.0-or-later
// The helper's confinement, applied to a child process of the test that then
// tries what a subverted synthesiser would, from its first thread and from a
// thread started later: open a network socket, write a file, start a program,
// fork, signal another process, type into a terminal, make memory
// executable, and read outside the folders it may read.
#include "synth/sandbox/Sandbox.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/personality.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int Attempts = 17;
const char *const AttemptNames[Attempts] = {
    "network socket", "local socket", "file write", "file creation", "fork", "exec", "kill other",
    "tgkill other", "sigqueue other", "pidfd_open", "TIOCSTI", "TIOCSTI, high bits set", "mmap executable",
    "mprotect executable", "memfd_secret", "read-implies-exec personality", "read outside"};

// errno of each attempt (0: it succeeded), then reading an allowed file.
struct Outcome
{
    int refused[Attempts];
    int readAllowed;
};

int result(long r) { return r >= 0 ? 0 : errno; }

Outcome attemptEscapes(const QByteArray &allowed, const QByteArray &outside, pid_t victim, int terminal)
{
    Outcome o{};
    int i = 0;
    o.refused[i++] = result(socket(AF_INET, SOCK_STREAM, 0));
    o.refused[i++] = result(socket(AF_UNIX, SOCK_STREAM, 0));
    o.refused[i++] = result(open((allowed + "/allowed.txt").constData(), O_WRONLY));
    o.refused[i++] = result(open((allowed + "/new.txt").constData(), O_WRONLY | O_CREAT, 0600));
    const pid_t child = ::fork();
    if (child == 0)
        _exit(0);
    o.refused[i++] = result(child);
    char *const argv[] = {const_cast<char *>("true"), nullptr};
    o.refused[i++] = result(execv("/bin/true", argv));
    o.refused[i++] = result(kill(victim, 0));
    o.refused[i++] = result(syscall(SYS_tgkill, victim, victim, 0));
    siginfo_t info{};
    info.si_code = SI_QUEUE;
    o.refused[i++] = result(syscall(SYS_rt_sigqueueinfo, victim, 0, &info));
    o.refused[i++] = result(syscall(SYS_pidfd_open, victim, 0));
    const char typed = '#';
    o.refused[i++] = result(ioctl(terminal, TIOCSTI, &typed));
    o.refused[i++] = result(syscall(SYS_ioctl, terminal, (1UL << 32) | TIOCSTI, &typed));
    void *code = mmap(nullptr, 4096, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    o.refused[i++] = code == MAP_FAILED ? errno : 0;
    void *data = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    o.refused[i++] = result(mprotect(data, 4096, PROT_READ | PROT_EXEC));
    o.refused[i++] = result(syscall(447 /* memfd_secret */, 0));
    o.refused[i++] = result(personality(READ_IMPLIES_EXEC));
    o.refused[i++] = result(open(outside.constData(), O_RDONLY));
    o.readAllowed = result(open((allowed + "/allowed.txt").constData(), O_RDONLY));
    return o;
}

struct Confined
{
    Sandbox::Report report;
    Outcome mainThread, laterThread;
    int earlierThreadSeccomp; // the Seccomp: field of a thread that ran before confinement
};

// Confines a forked child (which first starts a thread when asked) and
// reports what it was refused.
Confined runConfined(const QByteArray &allowed, const QByteArray &outside, pid_t victim, bool threadBefore)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        qFatal("pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(terminal);
        unlockpt(terminal);
        const int slave = open(ptsname(terminal), O_RDWR | O_NOCTTY);
        std::atomic<pid_t> earlier = 0;
        std::atomic<bool> done = false;
        std::thread sleeper;
        if (threadBefore) {
            sleeper = std::thread([&] {
                earlier = pid_t(syscall(SYS_gettid));
                while (!done)
                    usleep(1000);
            });
            while (earlier == 0)
                usleep(1000);
        }
        Confined c{};
        c.report = Sandbox::confine({allowed});
        c.mainThread = attemptEscapes(allowed, outside, victim, slave);
        std::thread([&] { c.laterThread = attemptEscapes(allowed, outside, victim, slave); }).join();
        if (threadBefore) {
            // Read before confinement would be refused now; the parent reads it instead.
            c.earlierThreadSeccomp = earlier;
        }
        (void)!write(pipeFds[1], &c, sizeof c);
        if (threadBefore) {
            usleep(300000); // the parent looks at the thread meanwhile
            done = true;
            sleeper.join();
        }
        _exit(0);
    }
    close(pipeFds[1]);
    Confined c{};
    const bool complete = read(pipeFds[0], &c, sizeof c) == ssize_t(sizeof c);
    if (threadBefore && complete) {
        QFile status(QStringLiteral("/proc/%1/task/%2/status").arg(pid).arg(c.earlierThreadSeccomp));
        c.earlierThreadSeccomp = -1;
        if (status.open(QIODevice::ReadOnly))
            for (const QByteArray &line : status.readAll().split('\n'))
                if (line.startsWith("Seccomp:"))
                    c.earlierThreadSeccomp = line.mid(8).trimmed().toInt();
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!complete)
        qFatal("the confined child did not report");
    return c;
}

// Opens path with flags in a forked child under the system-call filter
// alone; the errno it met (0: the open succeeded, -1: the filter was refused).
int openUnderFilterOnly(const QByteArray &path, int flags, bool useOpenat)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        qFatal("pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        int outcome = -1;
        if (Sandbox::filterSystemCalls())
            outcome = useOpenat ? result(syscall(SYS_openat, AT_FDCWD, path.constData(), flags, 0600))
                                : result(syscall(SYS_open, path.constData(), flags, 0600));
        (void)!write(pipeFds[1], &outcome, sizeof outcome);
        _exit(0);
    }
    close(pipeFds[1]);
    int outcome = -2;
    (void)!read(pipeFds[0], &outcome, sizeof outcome);
    close(pipeFds[0]);
    waitpid(pid, nullptr, 0);
    return outcome;
}

} // namespace

class TestSandbox : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void everyThreadIsRefusedWhatItMustNotDo();
    void threadThatRanBeforeIsReportedAndStillFiltered();
    void filterAloneRefusesEveryWriteOpen_data();
    void filterAloneRefusesEveryWriteOpen();

private:
    QTemporaryDir m_allowed, m_elsewhere;
    pid_t m_victim = -1;
};

void TestSandbox::init()
{
    for (const QString &path :
         {m_allowed.filePath(QStringLiteral("allowed.txt")), m_elsewhere.filePath(QStringLiteral("outside.txt"))}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("text");
    }
    // An unrelated process of the same user, which nothing confined may signal.
    m_victim = fork();
    if (m_victim == 0) {
        pause();
        _exit(0);
    }
}

void TestSandbox::cleanup()
{
    kill(m_victim, SIGKILL);
    waitpid(m_victim, nullptr, 0);
}

void TestSandbox::everyThreadIsRefusedWhatItMustNotDo()
{
    const Confined c = runConfined(QFile::encodeName(m_allowed.path()),
                                   QFile::encodeName(m_elsewhere.filePath(QStringLiteral("outside.txt"))), m_victim,
                                   false);
    QVERIFY(c.report.seccomp);
    QVERIFY(c.report.complete());
    const bool landlock = c.report.landlockAbi > 0;
    if (!landlock)
        qInfo("this kernel has no Landlock: reads outside the allowed folders are not confined");
    for (const Outcome &o : {c.mainThread, c.laterThread}) {
        for (int i = 0; i < Attempts; ++i) {
            if (!landlock && i == Attempts - 1)
                continue;
            QVERIFY2(o.refused[i] == EPERM || o.refused[i] == EACCES || o.refused[i] == ENOTTY,
                     qPrintable(QStringLiteral("%1: errno %2").arg(AttemptNames[i]).arg(o.refused[i])));
        }
        QCOMPARE(o.readAllowed, 0);
    }
    QCOMPARE(kill(m_victim, 0), 0); // still alive
}

// A thread that already ran is beyond Landlock's reach: the helper must see
// that and refuse to run; seccomp binds that thread all the same.
void TestSandbox::threadThatRanBeforeIsReportedAndStillFiltered()
{
    const Confined c = runConfined(QFile::encodeName(m_allowed.path()),
                                   QFile::encodeName(m_elsewhere.filePath(QStringLiteral("outside.txt"))), m_victim,
                                   true);
    QCOMPARE(c.report.threadsBefore, 2);
    QVERIFY(!c.report.complete());
    QCOMPARE(c.earlierThreadSeccomp, 2);
}

void TestSandbox::filterAloneRefusesEveryWriteOpen_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<bool>("useOpenat");
    QTest::addColumn<int>("errorNumber");
    // Landlock refuses writes too (with EACCES), so only the filter alone
    // shows that its own rule holds: EPERM is the filter's answer.
    for (const bool at : {false, true}) {
        const char *call = at ? "openat" : "open";
        QTest::addRow("%s, write only", call) << int(O_WRONLY) << at << EPERM;
        QTest::addRow("%s, read and write", call) << int(O_RDWR) << at << EPERM;
        QTest::addRow("%s, create", call) << int(O_RDONLY | O_CREAT) << at << EPERM;
        QTest::addRow("%s, truncate", call) << int(O_RDONLY | O_TRUNC) << at << EPERM;
        QTest::addRow("%s, append", call) << int(O_RDONLY | O_APPEND) << at << EPERM;
        QTest::addRow("%s, write among other flags", call) << int(O_WRONLY | O_CLOEXEC | O_NOFOLLOW) << at << EPERM;
        QTest::addRow("%s, read only", call) << int(O_RDONLY | O_CLOEXEC) << at << 0;
    }
}

void TestSandbox::filterAloneRefusesEveryWriteOpen()
{
    QFETCH(int, flags);
    QFETCH(bool, useOpenat);
    QFETCH(int, errorNumber);
    const QByteArray path = QFile::encodeName(m_allowed.filePath(QStringLiteral("allowed.txt")));
    QCOMPARE(openUnderFilterOnly(path, flags, useOpenat), errorNumber);
    QFile file(m_allowed.filePath(QStringLiteral("allowed.txt")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("text")); // neither truncated nor appended to
}

QTEST_GUILESS_MAIN(TestSandbox)
#include "tst_sandbox.moc"
