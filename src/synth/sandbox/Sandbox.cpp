// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/sandbox/Sandbox.h"

#include <linux/landlock.h>
#include <seccomp.h>

#include <cerrno>
#include <fcntl.h>
#include <sched.h>
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

// Every file-system access the kernel's Landlock version knows is handled,
// and only reading below the given folders is granted.
int applyLandlock(const QByteArrayList &readableFolders)
{
    const int abi = landlockAbi();
    if (abi == 0)
        return 0;
    quint64 handled = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_READ_FILE
        | LANDLOCK_ACCESS_FS_READ_DIR | LANDLOCK_ACCESS_FS_REMOVE_DIR | LANDLOCK_ACCESS_FS_REMOVE_FILE
        | LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG
        | LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO | LANDLOCK_ACCESS_FS_MAKE_BLOCK
        | LANDLOCK_ACCESS_FS_MAKE_SYM;
    if (abi >= 2)
        handled |= 1ULL << 13; // REFER
    if (abi >= 3)
        handled |= 1ULL << 14; // TRUNCATE
    landlock_ruleset_attr attr{};
    attr.handled_access_fs = handled;
    const int ruleset = int(syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0));
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
    return applied ? abi : 0;
}

bool applySeccomp()
{
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
                     SCMP_SYS(kill)})
        rule(deny, call);
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
    const bool loaded = failures == 0 && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return loaded;
}

} // namespace

namespace Sandbox {

Report confine(const QByteArrayList &readableFolders)
{
    Report report;
    applyLimits();
    // Required by both Landlock and an unprivileged seccomp filter; also
    // keeps set-user-id programs from gaining anything.
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    report.landlockAbi = applyLandlock(readableFolders);
    report.seccomp = applySeccomp();
    return report;
}

} // namespace Sandbox
