// The table of temporary files, its signal handler, and the calls that change it with the
// stopping signals held off.
#include "cli/temporary_files.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

static_assert(ATOMIC_BOOL_LOCK_FREE == 2, "the handler reads the table's flags");

// A run writes at most an output and its companion at once; the rest is room to spare.
constexpr int kSlots = 8;

struct Slot {
    std::atomic<bool> used{false};  // set once path holds a whole name, cleared before it changes
    char path[PATH_MAX];
};

Slot gSlots[kSlots];

const int kStoppingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Keeps the stopping signals (and zemrender's time limit, whose handler empties the table too) from
// this thread while a file and its entry change together. The drawing library's threads block every
// signal, so none of them arrives meanwhile.
class SignalsHeld {
public:
    SignalsHeld()
    {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : kStoppingSignals) sigaddset(&held, signal);
        sigaddset(&held, SIGALRM);
        pthread_sigmask(SIG_BLOCK, &held, &saved_);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t saved_;
};

// The files go, then the signal is raised again with its default action (restored on entry by
// SA_RESETHAND), so that the exit status tells which signal ended the process.
void onStoppingSignal(int signal)
{
    const int savedErrno = errno;
    removeTemporaryFiles();
    raise(signal);
    errno = savedErrno;
}

void installHandlers()
{
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (const int signal : kStoppingSignals) {
        struct sigaction current;
        if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = onStoppingSignal;
        action.sa_flags = SA_RESETHAND | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
}

Slot* freeSlot()
{
    for (Slot& slot : gSlots)
        if (!slot.used.load()) return &slot;
    return nullptr;
}

void unlist(const std::string& path)
{
    for (Slot& slot : gSlots)
        if (slot.used.load() && path == slot.path) slot.used.store(false);
}

}  // namespace

int makeTemporaryFile(std::string& pattern)
{
    const SignalsHeld held;
    installHandlers();
    Slot* slot = freeSlot();
    if (!slot || pattern.size() >= sizeof slot->path) {
        errno = slot ? ENAMETOOLONG : EMFILE;
        return -1;
    }
    const int fd = mkostemp(&pattern[0], O_CLOEXEC);
    if (fd < 0) return -1;
    std::memcpy(slot->path, pattern.c_str(), pattern.size() + 1);
    slot->used.store(true);
    return fd;
}

bool renameTemporaryFile(const std::string& path, const std::string& target)
{
    const SignalsHeld held;
    if (rename(path.c_str(), target.c_str()) != 0) return false;
    unlist(path);
    return true;
}

void removeTemporaryFile(const std::string& path)
{
    const SignalsHeld held;
    const int savedErrno = errno;
    unlink(path.c_str());
    unlist(path);
    errno = savedErrno;
}

void removeTemporaryFiles()
{
    for (Slot& slot : gSlots)
        if (slot.used.load()) unlink(slot.path);
}
