// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/sandbox/Sandbox.h"

#include <linux/landlock.h>
#include <seccomp.h>

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/personality.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Enough for espeak-ng with its largest dictionaries many times over.
constexpr rlim_t MemoryLimit = rlim_t(1) << 30;
// A runaway loop is caught sooner by the reader's silence check; this cap
// only stops one the reader could not see.
constexpr rlim_t CpuSecondsLimit = 4 * 3600;

void limit(int resource, rlim_t value)
{
    const rlimit r{value, value};
    setrlimit(resource, &r);
}

void applyLimits()
{
#if !defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer reserves terabytes of address space for its shadow.
    limit(RLIMIT_AS, MemoryLimit);
#endif
    limit(RLIMIT_CPU, CpuSecondsLimit);
    limit(RLIMIT_FSIZE, 0);
    limit(RLIMIT_CORE, 0);
}

int landlockAbi()
{
    const long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    return abi > 0 ? int(abi) : 0;
}

// The kernel's ruleset attributes grew with Landlock's versions; the
// system's headers may know fewer fields than the kernel does.
struct RulesetAttr
{
    quint64 handledAccessFs = 0;
    quint64 handledAccessNet = 0; // ABI 4
    quint64 scoped = 0; // ABI 6
};
constexpr quint64 AccessFsRefer = 1ULL << 13; // ABI 2
constexpr quint64 AccessFsTruncate = 1ULL << 14; // ABI 3
constexpr quint64 AccessFsIoctlDev = 1ULL << 15; // ABI 5
constexpr quint64 AccessNetBindTcp = 1ULL << 0; // ABI 4
constexpr quint64 AccessNetConnectTcp = 1ULL << 1; // ABI 4
constexpr quint64 ScopeAbstractUnixSocket = 1ULL << 0; // ABI 6
constexpr quint64 ScopeSignal = 1ULL << 1; // ABI 6

// Every file-system access the kernel's Landlock version knows is handled,
// and only reading below the given folders is granted; TCP, device ioctls,
// abstract sockets and signals to processes outside the helper are refused
// where the kernel can refuse them.
int applyLandlock(const QByteArrayList &readableFolders, Sandbox::Report &report)
{
    const int abi = landlockAbi();
    if (abi == 0)
        return 0;
    RulesetAttr attr;
    attr.handledAccessFs = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_READ_FILE
        | LANDLOCK_ACCESS_FS_READ_DIR | LANDLOCK_ACCESS_FS_REMOVE_DIR | LANDLOCK_ACCESS_FS_REMOVE_FILE
        | LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG
        | LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO | LANDLOCK_ACCESS_FS_MAKE_BLOCK
        | LANDLOCK_ACCESS_FS_MAKE_SYM;
    if (abi >= 2)
        attr.handledAccessFs |= AccessFsRefer;
    if (abi >= 3)
        attr.handledAccessFs |= AccessFsTruncate;
    if (abi >= 5)
        attr.handledAccessFs |= AccessFsIoctlDev;
    std::size_t size = sizeof attr.handledAccessFs;
    if (abi >= 4) {
        attr.handledAccessNet = AccessNetBindTcp | AccessNetConnectTcp;
        size += sizeof attr.handledAccessNet;
    }
    if (abi >= 6) {
        attr.scoped = ScopeAbstractUnixSocket | ScopeSignal;
        size += sizeof attr.scoped;
    }
    const int ruleset = int(syscall(SYS_landlock_create_ruleset, &attr, size, 0));
    if (ruleset < 0)
        return 0;
    for (const QByteArray &folder : readableFolders) {
        landlock_path_beneath_attr beneath{};
        beneath.allowed_access = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
        beneath.parent_fd = open(folder.constData(), O_PATH | O_CLOEXEC);
        if (beneath.parent_fd < 0)
            continue; // a folder that does not exist grants nothing
        syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &beneath, 0);
        close(beneath.parent_fd);
    }
    const bool applied = syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    close(ruleset);
    report.signalsScoped = applied && abi >= 6;
    return applied ? abi : 0;
}

} // namespace

bool Sandbox::filterSystemCalls()
{
    // Required for an unprivileged filter.
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
    if (!filter)
        return false;
    const auto deny = SCMP_ACT_ERRNO(EPERM);
    int failures = 0;
    const auto rule = [&](uint32_t action, int syscall, unsigned count = 0, scmp_arg_cmp arg = {}) {
        failures += (count ? seccomp_rule_add(filter, action, syscall, count, arg)
                           : seccomp_rule_add(filter, action, syscall, 0))
            != 0;
    };
    // No network, no other process, no program started.
    for (int call : {SCMP_SYS(socket),
                     SCMP_SYS(socketpair),
                     SCMP_SYS(connect),
                     SCMP_SYS(bind),
                     SCMP_SYS(listen),
                     SCMP_SYS(accept),
                     SCMP_SYS(accept4),
                     SCMP_SYS(execve),
                     SCMP_SYS(execveat),
                     SCMP_SYS(fork),
                     SCMP_SYS(vfork),
                     SCMP_SYS(ptrace),
                     SCMP_SYS(process_vm_readv),
                     SCMP_SYS(process_vm_writev),
                     SCMP_SYS(unshare),
                     SCMP_SYS(setns),
                     SCMP_SYS(mount),
                     SCMP_SYS(umount2),
                     SCMP_SYS(chroot),
                     SCMP_SYS(pivot_root),
                     SCMP_SYS(bpf),
                     SCMP_SYS(perf_event_open),
                     SCMP_SYS(io_uring_setup),
                     SCMP_SYS(memfd_create),
                     SCMP_SYS(keyctl),
                     SCMP_SYS(add_key),
                     SCMP_SYS(request_key),
                     SCMP_SYS(userfaultfd),
                     SCMP_SYS(process_madvise),
                     SCMP_SYS(kcmp),
                     SCMP_SYS(io_uring_enter),
                     SCMP_SYS(io_uring_register)})
        rule(deny, call);
    // No signal for anyone outside the helper: kill() and friends, pidfds.
    // A signal to a thread of its own stays possible, because abort() raises
    // SIGABRT that way and an engine fault must still end the helper.
    const auto self = scmp_datum_t(getpid());
    for (int call : {SCMP_SYS(kill),
                     SCMP_SYS(tkill),
                     SCMP_SYS(pidfd_open),
                     SCMP_SYS(pidfd_send_signal),
                     SCMP_SYS(pidfd_getfd)})
        rule(deny, call);
    for (int call : {SCMP_SYS(tgkill), SCMP_SYS(rt_sigqueueinfo), SCMP_SYS(rt_tgsigqueueinfo)})
        rule(deny, call, 1, SCMP_A0(SCMP_CMP_NE, self));
    // libseccomp may not know the newest calls by name; their numbers are fixed.
    if (const int secret = seccomp_syscall_resolve_name("memfd_secret"); secret != __NR_SCMP_ERROR)
        rule(deny, secret);
    // Nothing made executable once confined: the engine's code is mapped by
    // then, and code that a text smuggled in must not become runnable.
    rule(deny, SCMP_SYS(mmap), 1, SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, PROT_EXEC));
    rule(deny, SCMP_SYS(mprotect), 1, SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, PROT_EXEC));
    rule(deny, SCMP_SYS(pkey_mprotect), 1, SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, PROT_EXEC));
    // READ_IMPLIES_EXEC would make readable mappings executable behind the
    // rule above: only asking for the personality is allowed.
    rule(deny, SCMP_SYS(personality), 1, SCMP_A0(SCMP_CMP_NE, 0xffffffffu));
    // No terminal ioctls at all (TIOCSTI pushes input into a terminal): the
    // engine never needs them, and isatty() simply answers "no". The kernel
    // reads the request as 32 bits, so only its low half is compared.
    rule(SCMP_ACT_ERRNO(ENOTTY), SCMP_SYS(ioctl), 1, SCMP_A1(SCMP_CMP_MASKED_EQ, 0xff00u, 0x5400u));
    // Threads are allowed (libraries may start them); new processes are not.
    rule(deny, SCMP_SYS(clone), 1, SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0));
    rule(SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3)); // its flags are out of reach: make libc fall back to clone
    // Nothing written, created, renamed or removed in the file system.
    for (int call : {SCMP_SYS(creat),
                     SCMP_SYS(mkdir),
                     SCMP_SYS(mkdirat),
                     SCMP_SYS(unlink),
                     SCMP_SYS(unlinkat),
                     SCMP_SYS(rmdir),
                     SCMP_SYS(rename),
                     SCMP_SYS(renameat),
                     SCMP_SYS(renameat2),
                     SCMP_SYS(link),
                     SCMP_SYS(linkat),
                     SCMP_SYS(symlink),
                     SCMP_SYS(symlinkat),
                     SCMP_SYS(truncate),
                     SCMP_SYS(ftruncate),
                     SCMP_SYS(chmod),
                     SCMP_SYS(fchmod),
                     SCMP_SYS(fchmodat),
                     SCMP_SYS(chown),
                     SCMP_SYS(fchown),
                     SCMP_SYS(lchown),
                     SCMP_SYS(fchownat),
                     SCMP_SYS(mknod),
                     SCMP_SYS(mknodat),
                     SCMP_SYS(setxattr),
                     SCMP_SYS(lsetxattr),
                     SCMP_SYS(fsetxattr),
                     SCMP_SYS(removexattr),
                     SCMP_SYS(lremovexattr),
                     SCMP_SYS(fremovexattr),
                     SCMP_SYS(utimensat),
                     SCMP_SYS(utimes),
                     SCMP_SYS(openat2),
                     SCMP_SYS(open_by_handle_at),
                     SCMP_SYS(name_to_handle_at)})
        rule(deny, call);
    // Files may be opened for reading only.
    for (int bits : {O_WRONLY, O_RDWR, O_CREAT, O_TRUNC, O_APPEND}) {
        rule(deny, SCMP_SYS(open), 1, SCMP_A1(SCMP_CMP_MASKED_EQ, unsigned(bits), unsigned(bits)));
        rule(deny, SCMP_SYS(openat), 1, SCMP_A2(SCMP_CMP_MASKED_EQ, unsigned(bits), unsigned(bits)));
    }
    // The filter binds every thread, including any that already runs.
    failures += seccomp_attr_set(filter, SCMP_FLTATR_CTL_TSYNC, 1) != 0;
    const bool loaded = failures == 0 && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return loaded;
}

namespace Sandbox {

int threadCount()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("Threads:"))
            return line.mid(8).trimmed().toInt();
    return 0;
}

Report confine(const QByteArrayList &readableFolders)
{
    Report report;
    report.threadsBefore = threadCount();
    applyLimits();
    // Required by both Landlock and an unprivileged seccomp filter; also
    // keeps set-user-id programs from gaining anything.
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    report.landlockAbi = applyLandlock(readableFolders, report);
    report.seccomp = filterSystemCalls();
    return report;
}

} // namespace Sandbox
