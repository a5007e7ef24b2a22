// The allow-list of system calls for a confined reader: reading, memory, time, signals to itself, its end.
#include <fcntl.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "sandbox/child.h"

namespace sandbox_detail {

namespace {

// A rule for a call this architecture may not have (open, stat on newer ones): skipped, not failed.
bool add(scmp_filter_ctx filter, uint32_t action, const char* name, unsigned int count = 0, scmp_arg_cmp first = {},
         scmp_arg_cmp second = {})
{
    const int call = seccomp_syscall_resolve_name(name);
    if (call == __NR_SCMP_ERROR || call < 0) return true;
    const scmp_arg_cmp conditions[2] = {first, second};
    return seccomp_rule_add_array(filter, action, call, count, conditions) == 0;
}

bool allowAll(scmp_filter_ctx filter, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        if (!add(filter, SCMP_ACT_ALLOW, name)) return false;
    return true;
}

// Files come from the parent's broker, opened by it: the child opens nothing by name, and learns
// nothing of a name (whether it is there, its size, where a link leads). A read-only open fails as
// a missing file would, for the libraries' own probes; one that would write or create ends the
// child.
bool refuseNames(scmp_filter_ctx filter)
{
    const scmp_datum_t mask = O_ACCMODE | O_CREAT | O_TRUNC;
    const uint32_t refused = SCMP_ACT_ERRNO(EACCES);
    if (!add(filter, refused, "openat", 1, SCMP_A2(SCMP_CMP_MASKED_EQ, mask, O_RDONLY)) ||
        !add(filter, refused, "open", 1, SCMP_A1(SCMP_CMP_MASKED_EQ, mask, O_RDONLY)))
        return false;
    // newfstatat and statx too: with AT_EMPTY_PATH they look at a descriptor, but an absolute
    // name in the same call would still be followed. The C library's fstat uses newfstatat, so the
    // child's own code asks fstat (the plain call) or the broker's answer.
    for (const char* name : {"stat", "lstat", "newfstatat", "statx", "access", "faccessat", "faccessat2", "readlink",
                             "readlinkat", "getcwd"})
        if (!add(filter, refused, name)) return false;
    return true;
}

// The broker's socket: a request out, an answer and its descriptor in.
bool allowBroker(scmp_filter_ctx filter)
{
    return add(filter, SCMP_ACT_ALLOW, "sendto", 1, SCMP_A0(SCMP_CMP_EQ, kBrokerFd)) &&
           add(filter, SCMP_ACT_ALLOW, "recvmsg", 1, SCMP_A0(SCMP_CMP_EQ, kBrokerFd));
}

// A descriptor's own flags only. The rest of fcntl reaches beyond the child: F_SETOWN and F_SETSIG
// with O_ASYNC make another process's read signal any process, a lease holds up other processes'
// writes, F_NOTIFY watches a folder.
bool allowDescriptorFlags(scmp_filter_ctx filter)
{
    return add(filter, SCMP_ACT_ALLOW, "fcntl", 1, SCMP_A1(SCMP_CMP_EQ, F_GETFD)) &&
           add(filter, SCMP_ACT_ALLOW, "fcntl", 1, SCMP_A1(SCMP_CMP_EQ, F_SETFD)) &&
           add(filter, SCMP_ACT_ALLOW, "fcntl", 1, SCMP_A1(SCMP_CMP_EQ, F_GETFL)) &&
           add(filter, SCMP_ACT_ALLOW, "fcntl", 2, SCMP_A1(SCMP_CMP_EQ, F_SETFL),
               SCMP_A2(SCMP_CMP_MASKED_EQ, O_ASYNC, 0));
}

// Memory, but never executable: a reader has no code to load.
bool allowMemory(scmp_filter_ctx filter)
{
    const scmp_arg_cmp notExecutable = SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0);
    return add(filter, SCMP_ACT_ALLOW, "mmap", 1, notExecutable) &&
           add(filter, SCMP_ACT_ALLOW, "mprotect", 1, notExecutable) &&
           allowAll(filter, {"brk", "munmap", "mremap", "madvise"});
}

// The answer's descriptor only. Writes elsewhere fail rather than end the child: the C library
// writes its last words on a fatal error before it aborts, and that abort is the verdict worth
// keeping.
bool allowAnswerWrites(scmp_filter_ctx filter)
{
    return add(filter, SCMP_ACT_ALLOW, "write", 1, SCMP_A0(SCMP_CMP_EQ, kAnswerFd)) &&
           add(filter, SCMP_ACT_ERRNO(EBADF), "write", 1, SCMP_A0(SCMP_CMP_NE, kAnswerFd)) &&
           add(filter, SCMP_ACT_ERRNO(EBADF), "writev");
}

// A signal to itself only: abort() raises SIGABRT with tgkill.
bool allowSignalsToSelf(scmp_filter_ctx filter)
{
    const scmp_datum_t self = static_cast<scmp_datum_t>(getpid());
    return allowAll(filter, {"rt_sigprocmask", "rt_sigaction", "rt_sigreturn", "getpid", "gettid"}) &&
           add(filter, SCMP_ACT_ALLOW, "tgkill", 1, SCMP_A0(SCMP_CMP_EQ, self));
}

// What the sanitizers' runtime does inside the child. Its report starts a symbolizer process:
// starting one fails there instead of ending the child, so that the report completes and its
// death callback makes the crash a crash. It writes reports to standard error, and tests whether
// memory is readable by writing it into a pipe of its own (the undefined-behaviour checks of
// virtual calls do, on every call). No descriptor it can write to leads out of the child: files
// still open for reading only, and no socket or process can be made.
bool relaxForSanitizer(scmp_filter_ctx filter)
{
    for (const char* name : {"clone", "clone3", "fork", "vfork", "execve", "execveat"})
        if (!add(filter, SCMP_ACT_ERRNO(EPERM), name)) return false;
    // Its report reads the limits (never sets them) and waits on its own locks.
    return add(filter, SCMP_ACT_ALLOW, "prlimit64", 1, SCMP_A2(SCMP_CMP_EQ, 0)) &&
           allowAll(filter, {"write", "writev", "pipe", "pipe2", "getrlimit", "sched_yield", "sigaltstack"});
}

bool addRules(scmp_filter_ctx filter)
{
    return seccomp_attr_set(filter, SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_KILL_PROCESS) == 0 &&
           allowAll(filter, {"read", "pread64", "readv", "lseek", "close", "fstat"}) && allowDescriptorFlags(filter) &&
           refuseNames(filter) && allowBroker(filter) && allowMemory(filter) &&
           (kSanitized ? relaxForSanitizer(filter) : allowAnswerWrites(filter)) && allowSignalsToSelf(filter) &&
           allowAll(filter, {"futex", "clock_gettime", "exit", "exit_group"}) &&
           // Terminal probes by the C library's streams: not a terminal.
           add(filter, SCMP_ACT_ERRNO(ENOTTY), "ioctl");
}

}  // namespace

bool installSyscallFilter(int& error)
{
    // Everything not allowed below kills the child with SIGSYS, which the parent reports as such.
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_KILL_PROCESS);
    if (!filter) {
        error = ENOMEM;
        return false;
    }
    int result = addRules(filter) ? seccomp_load(filter) : -EINVAL;
    seccomp_release(filter);
    error = -result;
    return result == 0;
}

}  // namespace sandbox_detail
