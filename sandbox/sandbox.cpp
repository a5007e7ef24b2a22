// The parent of a sandboxed call: fork, the answer read under a deadline and a cap, the verdict on the end.
#include "sandbox/sandbox.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>

#include "base/bytes.h"
#include "sandbox/child.h"

using namespace sandbox_detail;

namespace {

using Clock = std::chrono::steady_clock;

enum class Killed { no, deadline, oversize, unwatchable };

// What the parent saw of the child: its bytes, why it killed it, how it ended.
struct Watch {
    std::string bytes;
    Killed killed = Killed::no;
    bool reaped = false;
    int status = 0;
    rusage usage{};
    bool sized = false;     // room made for the answer its header announced
    uint64_t requests = 0;  // the broker's answers
};

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void reset()
    {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// Room for the whole answer once its header says how long it is, rather than growth step by step:
// up to a quarter of a gigabyte, so that a child that lies costs the parent no more than that.
void makeRoom(uint64_t cap, Watch& watch)
{
    if (watch.sized || watch.bytes.size() < kAnswerHeaderBytes) return;
    watch.sized = true;
    if (std::memcmp(watch.bytes.data(), kAnswerMagic, 4) != 0) return;
    const uint64_t total = littleEndian64(watch.bytes.data(), 4) + kAnswerHeaderBytes;
    if (total <= cap && total <= (uint64_t(1) << 28)) watch.bytes.reserve(static_cast<std::size_t>(total));
}

enum class Pipe { more, ended, empty };

// Reads what the pipe has now. Past the cap the child is killed and the pipe counts as ended.
Pipe readSome(int fd, pid_t child, uint64_t cap, Watch& watch)
{
    char buffer[65536];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0) return errno == EINTR ? Pipe::more : errno == EAGAIN ? Pipe::empty : Pipe::ended;
    if (got == 0) return Pipe::ended;
    if (watch.bytes.size() + static_cast<std::size_t>(got) > cap) {
        kill(child, SIGKILL);
        watch.killed = Killed::oversize;
        return Pipe::ended;
    }
    watch.bytes.append(buffer, static_cast<std::size_t>(got));
    makeRoom(cap, watch);
    return Pipe::more;
}

bool reapNow(pid_t child, int flags, Watch& watch)
{
    pid_t got;
    do got = wait4(child, &watch.status, flags, &watch.usage);
    while (got < 0 && errno == EINTR);
    watch.reaped = got == child;
    return watch.reaped;
}

// Kills the child when the deadline has passed, or when it cannot be watched any longer.
bool stopAt(Clock::time_point deadline, pid_t child, Watch& watch, int& waitMs)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left > 0) {
        waitMs = static_cast<int>(std::min<long long>(left, waitMs));
        return false;
    }
    kill(child, SIGKILL);
    watch.killed = Killed::deadline;
    return true;
}

// The pipe read while the child runs, until the child ends or the deadline passes. A pidfd tells
// of the end even when something else holds the pipe open; without one (kernels before 5.3) the
// child is polled for every 20 ms.
void watchChild(pid_t child, int pipe, int socket, const SandboxBroker& broker, const SandboxLimits& limits,
                uint64_t cap, Watch& watch)
{
    const Descriptor pidfd(static_cast<int>(syscall(SYS_pidfd_open, child, 0)));
    const std::chrono::duration<double> wall(std::min(std::max(0.0, limits.wallSeconds), 1e9));
    const Clock::time_point deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(wall);
    bool pipeOpen = true, socketOpen = socket >= 0;
    for (;;) {
        int waitMs = pidfd.get() >= 0 ? 1000 : 20;
        if (stopAt(deadline, child, watch, waitMs)) return;
        pollfd watched[3] = {
            {pipeOpen ? pipe : -1, POLLIN, 0}, {pidfd.get(), POLLIN, 0}, {socketOpen ? socket : -1, POLLIN, 0}};
        if (poll(watched, 3, waitMs) < 0 && errno != EINTR) {
            kill(child, SIGKILL);
            watch.killed = Killed::unwatchable;
            return;
        }
        if (pipeOpen && (watched[0].revents & (POLLIN | POLLHUP | POLLERR)))
            pipeOpen = readSome(pipe, child, cap, watch) != Pipe::ended;
        if (watch.killed != Killed::no) return;
        if (socketOpen && (watched[2].revents & (POLLIN | POLLHUP | POLLERR)))
            socketOpen = serveRequest(socket, broker, watch.requests);
        if (pidfd.get() >= 0 ? (watched[1].revents & POLLIN) != 0 : reapNow(child, WNOHANG, watch)) break;
    }
    // The child has ended: what it wrote is in the pipe, unless another process holds it open.
    fcntl(pipe, F_SETFL, O_NONBLOCK);
    while (pipeOpen && readSome(pipe, child, cap, watch) == Pipe::more) {
    }
}

double cpuSeconds(const rusage& usage)
{
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A library that takes a failed allocation for success (an unchecked malloc, an assertion on what
// it could not build) ends in a crash at the budget rather than in the allocator's failure. Such a
// child had touched at least half its budget: a peak that no crash of a damaged file comes near.
// Without the sanitizer only, whose shadow memory counts in the peak but not in its budget.
bool crashedAtTheBudget(const Watch& watch, const SandboxLimits& limits)
{
    const uint64_t peak = static_cast<uint64_t>(std::max(0L, watch.usage.ru_maxrss)) * 1024;
    return !kSanitized && peak >= limits.memoryBytes / 2;
}

void killedBySignal(int signal, const Watch& watch, const SandboxLimits& limits, SandboxOutcome& outcome)
{
    outcome.signal = signal;
    if (signal == SIGSYS) {
        outcome.end = SandboxEnd::forbidden;
    } else if (signal == SIGXCPU || (signal == SIGKILL && cpuSeconds(watch.usage) >= limits.cpuSeconds)) {
        // SIGKILL at the hard limit, a second past the soft one, for a child that ignored SIGXCPU.
        outcome.end = SandboxEnd::timeLimit;
    } else {
        outcome.end = crashedAtTheBudget(watch, limits) ? SandboxEnd::outOfMemory : SandboxEnd::crashed;
    }
}

void takeAnswer(const std::string& bytes, SandboxOutcome& outcome)
{
    outcome.end = SandboxEnd::noAnswer;
    if (bytes.size() < kAnswerHeaderBytes || std::memcmp(bytes.data(), kAnswerMagic, 4) != 0) {
        outcome.detail = bytes.empty() ? "it sent nothing" : "it sent something other than an answer";
        return;
    }
    const uint64_t length = littleEndian64(bytes.data(), 4);
    if (length != bytes.size() - kAnswerHeaderBytes) {
        outcome.detail = "its answer was cut short or ran on";
        return;
    }
    outcome.end = SandboxEnd::answered;
    outcome.answer.assign(bytes, kAnswerHeaderBytes, std::string::npos);
}

void takeSetupFailure(const std::string& bytes, SandboxOutcome& outcome)
{
    const char* step = nullptr;
    if (bytes.size() == kSetupMessageBytes && std::memcmp(bytes.data(), kSetupMagic, 4) == 0)
        step = setupStepWords(littleEndian32(bytes.data(), 4));
    if (!step) {
        outcome.end = SandboxEnd::noAnswer;
        outcome.detail = "it ended without an answer";
        return;
    }
    outcome.end = SandboxEnd::notStarted;
    outcome.detail = std::string(step) + ": " + std::strerror(static_cast<int>(littleEndian32(bytes.data(), 8)));
}

void exited(int code, const Watch& watch, SandboxOutcome& outcome)
{
    outcome.exitStatus = code;
    if (code == 0) {
        takeAnswer(watch.bytes, outcome);
    } else if (code == kExitOutOfMemory) {
        outcome.end = SandboxEnd::outOfMemory;
    } else if (code == kExitSetupFailed) {
        takeSetupFailure(watch.bytes, outcome);
    } else {
        outcome.end = SandboxEnd::noAnswer;
        outcome.detail = "it ended without an answer (exit status " + std::to_string(code) + ")";
    }
}

SandboxOutcome verdict(const Watch& watch, const SandboxLimits& limits, uint64_t cap)
{
    SandboxOutcome outcome;
    if (watch.killed == Killed::deadline) {
        outcome.end = SandboxEnd::timeLimit;
        outcome.wallClock = true;
        outcome.signal = SIGKILL;
    } else if (watch.killed == Killed::oversize) {
        outcome.end = SandboxEnd::noAnswer;
        outcome.detail = "it sent more than " + memoryWords(cap);
    } else if (watch.killed == Killed::unwatchable || !watch.reaped) {
        outcome.end = SandboxEnd::noAnswer;
        outcome.detail = "it could not be waited for";
    } else if (WIFSIGNALED(watch.status)) {
        killedBySignal(WTERMSIG(watch.status), watch, limits, outcome);
    } else {
        exited(WEXITSTATUS(watch.status), watch, outcome);
    }
    return outcome;
}

SandboxOutcome notStarted(const char* what)
{
    SandboxOutcome outcome;
    outcome.detail = std::string(what) + ": " + std::strerror(errno);
    return outcome;
}

// A page that the child writes its stage to, and that outlives it for the parent.
class SharedStage {
public:
    SharedStage() : page_(mmap(nullptr, sizeof(uint32_t), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0)) {}
    ~SharedStage()
    {
        if (page_ != MAP_FAILED) munmap(page_, sizeof(uint32_t));
    }
    SharedStage(const SharedStage&) = delete;
    SharedStage& operator=(const SharedStage&) = delete;
    volatile uint32_t* get() const { return page_ == MAP_FAILED ? nullptr : static_cast<volatile uint32_t*>(page_); }

private:
    void* page_;
};

SandboxOutcome forkAndWatch(const SandboxJob& job, const SandboxLimits& limits, const SandboxBroker& broker)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return notStarted("could not make the reader's pipe");
    Descriptor readEnd(ends[0]), writeEnd(ends[1]);
    int sockets[2] = {-1, -1};
    if (broker && socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sockets) != 0)
        return notStarted("could not make the reader's socket");
    Descriptor parentSocket(sockets[0]), childSocket(sockets[1]);
    const SharedStage stage;
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) return notStarted("could not start the reader");
    if (child == 0) {
        readEnd.reset();
        parentSocket.reset();
        runChild(job, limits, ends[1], childSocket.get(), parent, stage.get());
    }
    writeEnd.reset();
    childSocket.reset();
    // The header's bytes come on top of the answer's.
    const uint64_t cap =
        std::min<uint64_t>(limits.maxAnswerBytes, UINT64_MAX - kAnswerHeaderBytes) + kAnswerHeaderBytes;
    Watch watch;
    watchChild(child, readEnd.get(), parentSocket.get(), broker, limits, cap, watch);
    if (!watch.reaped) reapNow(child, 0, watch);
    SandboxOutcome outcome = verdict(watch, limits, cap - kAnswerHeaderBytes);
    if (stage.get()) outcome.stage = *stage.get();
    outcome.requests = watch.requests;
    return outcome;
}

}  // namespace

SandboxLimits sandboxLimitsFor(uint64_t inputBytes)
{
    SandboxLimits limits;
    const uint64_t scaled = inputBytes > UINT64_MAX / 16 ? UINT64_MAX : inputBytes * 16;
    limits.memoryBytes = std::max(limits.memoryBytes, scaled);
    limits.maxAnswerBytes = limits.memoryBytes;
    return limits;
}

SandboxOutcome runSandboxed(const SandboxJob& job, const SandboxLimits& limits, const SandboxBroker& broker)
{
    try {
        return forkAndWatch(job, limits, broker);
    } catch (const std::bad_alloc&) {
        SandboxOutcome outcome;
        outcome.detail = "out of memory for the reader's answer";
        return outcome;
    }
}
