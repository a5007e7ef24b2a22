// The child of a sandboxed call: it confines itself step by step, runs the job and sends one message.
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <new>

#include "sandbox/child.h"

#if ZEM_SANITIZED
// The sanitizer runtime's own interface, declared here because the compiler's headers for it differ
// between GCC and clang.
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, std::size_t),
                                              void (*free_hook)(const volatile void*));
std::size_t __sanitizer_get_current_allocated_bytes();
void __sanitizer_set_death_callback(void (*callback)());
}
#endif

namespace sandbox_detail {

volatile uint32_t* gStage = nullptr;  // the page shared with the parent; null outside a child

namespace {

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

void putLittleEndian(char* out, uint64_t value, int bytes)
{
    for (int k = 0; k < bytes; ++k) out[k] = static_cast<char>((value >> (8 * k)) & 0xff);
}

[[noreturn]] void setupFailed(int answerFd, SetupStep step, int error)
{
    char message[kSetupMessageBytes];
    std::memcpy(message, kSetupMagic, 4);
    putLittleEndian(message + 4, static_cast<uint32_t>(step), 4);
    putLittleEndian(message + 8, static_cast<uint32_t>(error), 4);
    writeAll(answerFd, message, sizeof message);
    _exit(kExitSetupFailed);
}

[[noreturn]] void outOfMemory() { _exit(kExitOutOfMemory); }

// The parent may die before the child is watched: then the child must not run on unsupervised.
bool watchParent(pid_t parent)
{
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) return false;
    if (getppid() != parent) _exit(kExitNoParent);
    return true;
}

// The answer at kAnswerFd, the broker's socket at kBrokerFd, /dev/null read-only on 0 to 2 (so
// that a stray write fails and a stray number names nothing), nothing else. A sanitized build keeps
// standard error for the sanitizer's reports.
bool arrangeDescriptors(int answerFd, int brokerFd)
{
    // Out of the way first, so that neither lands on the other's number.
    const int answer = fcntl(answerFd, F_DUPFD_CLOEXEC, 16);
    const int broker = brokerFd >= 0 ? fcntl(brokerFd, F_DUPFD_CLOEXEC, 16) : -1;
    if (answer < 0 || (brokerFd >= 0 && broker < 0) || dup2(answer, kAnswerFd) != kAnswerFd) return false;
    if (broker >= 0 ? dup2(broker, kBrokerFd) != kBrokerFd : close(kBrokerFd) != 0 && errno != EBADF) return false;
    const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null < 0) return false;
    const int last = kSanitized ? 1 : 2;
    for (int fd = 0; fd <= last; ++fd)
        if (fd != null && dup2(null, fd) != fd) return false;
    const int first = broker >= 0 ? kBrokerFd + 1 : kAnswerFd + 1;
    if (close_range(static_cast<unsigned>(first), ~0U, 0) == 0) return true;
    // Kernels before 5.9: one by one, as far as the descriptor limit goes.
    const long most = sysconf(_SC_OPEN_MAX);
    for (long fd = first; fd < (most > 0 ? most : 65536); ++fd) close(static_cast<int>(fd));
    return true;
}

bool setLimit(int resource, rlim_t soft, rlim_t hard)
{
    const rlimit limit{soft, hard};
    return setrlimit(resource, &limit) == 0;
}

// Address space only without the sanitizer: its shadow memory alone is terabytes of reservations.
bool applyLimits(const SandboxLimits& limits)
{
    const rlim_t cpu = limits.cpuSeconds > 0 ? static_cast<rlim_t>(limits.cpuSeconds) : 1;
    // SIGXCPU at the soft limit; the hard limit one second on kills a child that ignores it.
    return setLimit(RLIMIT_CPU, cpu, cpu + 1) && setLimit(RLIMIT_FSIZE, 0, 0) && setLimit(RLIMIT_CORE, 0, 0) &&
           setLimit(RLIMIT_NPROC, 0, 0) && setLimit(RLIMIT_NOFILE, 64, 64) &&
           (kSanitized || setLimit(RLIMIT_AS, limits.memoryBytes, limits.memoryBytes));
}

// No capabilities (root's reading of other users' files among them), no way to gain any, and no
// core dump even where core_pattern pipes to a helper that ignores RLIMIT_CORE.
bool dropPrivileges()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[2] = {};
    return syscall(SYS_capset, &header, none) == 0 && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
}

#if ZEM_SANITIZED
uint64_t gHeapBudget = 0;  // bytes of live heap a sanitized child may hold; 0 until it is confined

void checkHeapBudget(const volatile void*, std::size_t)
{
    if (gHeapBudget > 0 && __sanitizer_get_current_allocated_bytes() > gHeapBudget) outOfMemory();
}

void noFree(const volatile void*) {}

// A sanitizer's report ends the child as a crash, as the fault would without the sanitizer.
void crashOnReport()
{
    signal(SIGABRT, SIG_DFL);
    raise(SIGABRT);
}
#endif

// Without the sanitizer the kernel fails allocations past RLIMIT_AS and new's handler turns that
// into the exit code. The sanitizer reserves terabytes of address space at start, so RLIMIT_AS
// cannot be set at all there; its allocator's count of live heap bytes is checked on every
// allocation instead, which keeps the budget a budget.
bool setMemoryBudget([[maybe_unused]] const SandboxLimits& limits)
{
    std::set_new_handler(outOfMemory);
#if ZEM_SANITIZED
    if (__sanitizer_install_malloc_and_free_hooks(checkHeapBudget, noFree) == 0) return false;
    gHeapBudget = limits.memoryBytes;
    __sanitizer_set_death_callback(crashOnReport);
    // GCC's undefined-behaviour runtime is a library of its own, with its own callback.
    if (void* undefined = dlopen("libubsan.so.1", RTLD_LAZY | RTLD_NOLOAD)) {
        using SetCallback = void (*)(void (*)());
        if (auto set = reinterpret_cast<SetCallback>(dlsym(undefined, "__sanitizer_set_death_callback")))
            set(crashOnReport);
        dlclose(undefined);
    }
#endif
    return true;
}

// The parent's mask and handlers are not the child's business: limits must end it as the kernel
// means them to.
void defaultSignals()
{
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int s : {SIGXCPU, SIGPIPE, SIGABRT, SIGSYS}) signal(s, SIG_DFL);
}

[[noreturn]] void sendAnswer(const std::string& answer)
{
    char header[kAnswerHeaderBytes];
    std::memcpy(header, kAnswerMagic, 4);
    putLittleEndian(header + 4, answer.size(), 8);
    if (!writeAll(kAnswerFd, header, sizeof header) || !writeAll(kAnswerFd, answer.data(), answer.size()))
        _exit(kExitNoParent);
    _exit(0);
}

}  // namespace

const char* setupStepWords(uint32_t step)
{
    switch (static_cast<SetupStep>(step)) {
    case SetupStep::parentWatch:
        return "could not tie the reader to this process";
    case SetupStep::descriptors:
        return "could not close the reader's inherited files";
    case SetupStep::limits:
        return "could not set the reader's limits";
    case SetupStep::privileges:
        return "could not drop the reader's privileges";
    case SetupStep::memoryBudget:
        return "could not set the reader's memory budget";
    case SetupStep::filter:
        return "could not install the system call filter";
    case SetupStep::session:
        return "could not detach the reader from the terminal";
    }
    return nullptr;
}

void runChild(const SandboxJob& job, const SandboxLimits& limits, int answerFd, int brokerFd, pid_t parent,
              volatile uint32_t* stage)
{
    gStage = stage;
    gHasBroker = brokerFd >= 0;
    if (!watchParent(parent)) setupFailed(answerFd, SetupStep::parentWatch, errno);
    // A session of its own has no controlling terminal: /dev/tty names nothing for it, and the
    // terminal's signals to the parent's group no longer reach it.
    if (setsid() < 0) setupFailed(answerFd, SetupStep::session, errno);
    if (!arrangeDescriptors(answerFd, brokerFd)) setupFailed(answerFd, SetupStep::descriptors, errno);
    defaultSignals();
    if (!applyLimits(limits)) setupFailed(kAnswerFd, SetupStep::limits, errno);
    if (!dropPrivileges()) setupFailed(kAnswerFd, SetupStep::privileges, errno);
    if (!setMemoryBudget(limits)) setupFailed(kAnswerFd, SetupStep::memoryBudget, errno);
    int error = 0;
    if (!installSyscallFilter(error)) setupFailed(kAnswerFd, SetupStep::filter, error);
    std::string answer;
    try {
        answer = job();
    } catch (const std::bad_alloc&) {
        outOfMemory();
    } catch (...) {
        _exit(kExitJobFailed);
    }
    sendAnswer(answer);
}

}  // namespace sandbox_detail

void sandboxStage(uint32_t stage)
{
    if (sandbox_detail::gStage) *sandbox_detail::gStage = stage;
}
