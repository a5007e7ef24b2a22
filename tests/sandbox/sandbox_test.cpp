// The sandbox with real forks: each way a child can end gives its class, in time, and nothing is written.
#include "sandbox/sandbox.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "sandbox/child.h"
#include "testlib/temp_dir.h"

namespace {

constexpr uint64_t kMegabyte = uint64_t(1) << 20;

SandboxLimits testLimits()
{
    SandboxLimits limits;
    limits.memoryBytes = 512 * kMegabyte;
    limits.cpuSeconds = 5;
    limits.wallSeconds = 30;  // generous: a loaded machine must not turn another class into a time limit
    return limits;
}

std::string tempPath(const std::string& name) { return privateTempDir("zem-sandbox") + "/" + name; }

bool exists(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Timed {
    SandboxOutcome outcome;
    double seconds = 0;
};

Timed timedRun(const SandboxJob& job, const SandboxLimits& limits = testLimits())
{
    const auto start = std::chrono::steady_clock::now();
    Timed timed;
    timed.outcome = runSandboxed(job, limits);
    timed.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return timed;
}

// Skips where the kernel cannot confine a child, with the reason.
#define REQUIRE_CONFINEMENT()                                                                                          \
    do {                                                                                                               \
        const SandboxOutcome probe = runSandboxed([] { return std::string("up"); }, testLimits());                     \
        if (probe.end == SandboxEnd::notStarted) GTEST_SKIP() << "no confinement here: " << probe.detail;              \
    } while (0)

std::string errnoName(int error) { return error == EBADF ? "EBADF" : error == EPERM ? "EPERM" : std::to_string(error); }

TEST(SandboxAnswers, arriveWholeAndUnchanged)
{
    REQUIRE_CONFINEMENT();
    // More than a pipe holds at once, with every byte value, so that the parent must read while the
    // child writes and nothing is taken for text.
    std::string sent(3 * kMegabyte + 17, '\0');
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>((i * 131) >> 3);
    const SandboxOutcome outcome = runSandboxed([&] { return sent; }, testLimits());
    ASSERT_EQ(outcome.end, SandboxEnd::answered) << outcome.detail;
    EXPECT_TRUE(outcome.answer == sent);
    EXPECT_EQ(outcome.exitStatus, 0);

    const SandboxOutcome empty = runSandboxed([] { return std::string(); }, testLimits());
    EXPECT_EQ(empty.end, SandboxEnd::answered);
    EXPECT_TRUE(empty.answer.empty());
}

// What a descriptor holds, read to its end (in the child, where nothing can be opened by name).
std::string descriptorText(int fd)
{
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(got));
    close(fd);
    return text;
}

// The broker's descriptor for the word the child sends.
int askFor(const std::string& what)
{
    std::string words;
    int fd = -1;
    return sandboxAsk(what, words, fd) ? fd : -1;
}

TEST(SandboxAnswers, childReadsWhatItIsHandedAndHoldsNothingElse)
{
    REQUIRE_CONFINEMENT();
    const std::string path = tempPath("readable.txt");
    std::ofstream(path) << "model text";
    // No O_CLOEXEC: a fork keeps it. Above the broker's descriptor, which a fresh one might be.
    const int first = open(path.c_str(), O_RDONLY);
    ASSERT_GE(first, 0);
    const int inherited = fcntl(first, F_DUPFD, 40);
    close(first);
    ASSERT_GE(inherited, 40);
    std::vector<std::string> requests;
    const SandboxOutcome outcome = runSandboxed(
        [&] {
            std::string report = descriptorText(askFor("readable")) + "|";
            report += fcntl(inherited, F_GETFD) < 0 && errno == EBADF ? "closed" : "open";
            const int byName = open(path.c_str(), O_RDONLY);
            report += byName < 0 && errno == EACCES ? "|refused" : "|opened";
            for (int fd = 0; fd < 64; ++fd)
                if (fd > sandbox_detail::kBrokerFd && fcntl(fd, F_GETFD) >= 0) report += " " + std::to_string(fd);
            return report;
        },
        testLimits(),
        [&](const std::string& request) {
            requests.push_back(request);
            SandboxReply reply;
            reply.words = "here";
            reply.fd = request == "readable" ? open(path.c_str(), O_RDONLY | O_CLOEXEC) : -1;
            return reply;
        });
    close(inherited);
    ASSERT_EQ(outcome.end, SandboxEnd::answered) << outcome.detail;
    EXPECT_EQ(outcome.answer, "model text|closed|refused");
    EXPECT_EQ(requests, std::vector<std::string>{"readable"});
    EXPECT_EQ(outcome.requests, 1u);
}

// What the kernel says of the confined child itself: no new privileges, a filter, no capabilities,
// no core files, no file to grow, and (without the sanitizer) the address space budget. Its own
// entries in /proc, opened by the parent for it.
TEST(SandboxAnswers, childIsConfined)
{
    REQUIRE_CONFINEMENT();
    const SandboxOutcome outcome = runSandboxed(
        [] {
            const std::string self = "/proc/" + std::to_string(getpid());
            return descriptorText(askFor(self + "/status")) + descriptorText(askFor(self + "/limits"));
        },
        testLimits(),
        [](const std::string& request) {
            SandboxReply reply;
            reply.fd = open(request.c_str(), O_RDONLY | O_CLOEXEC);
            return reply;
        });
    ASSERT_EQ(outcome.end, SandboxEnd::answered) << outcome.detail;
    const std::string& text = outcome.answer;
    EXPECT_NE(text.find("NoNewPrivs:\t1"), std::string::npos) << text;
    EXPECT_NE(text.find("Seccomp:\t2"), std::string::npos);
    EXPECT_NE(text.find("CapEff:\t0000000000000000"), std::string::npos);
    EXPECT_NE(text.find("CapPrm:\t0000000000000000"), std::string::npos);
    const auto limitLine = [&](const char* name) {
        const std::size_t at = text.find(name);
        return at == std::string::npos ? std::string() : text.substr(at, text.find('\n', at) - at);
    };
    EXPECT_NE(limitLine("Max core file size").find(" 0 "), std::string::npos) << limitLine("Max core file size");
    EXPECT_NE(limitLine("Max file size").find(" 0 "), std::string::npos) << limitLine("Max file size");
    EXPECT_NE(limitLine("Max cpu time").find(" 5 "), std::string::npos) << limitLine("Max cpu time");
    if (!sandbox_detail::kSanitized) {
        EXPECT_NE(limitLine("Max address space").find(" 536870912 "), std::string::npos)
            << limitLine("Max address space");
    }
}

// By name the child learns nothing: not whether a file is there, nor its size, nor where a link leads.
TEST(SandboxAnswers, namesTellTheChildNothing)
{
    REQUIRE_CONFINEMENT();
    const std::string path = tempPath("named.txt");
    std::ofstream(path) << "text";
    symlink(path.c_str(), tempPath("link.txt").c_str());
    const SandboxOutcome outcome = runSandboxed(
        [&] {
            struct stat info;
            char target[256];
            std::string report;
            report += stat(path.c_str(), &info) == 0 ? "s" : "-";
            report += lstat(path.c_str(), &info) == 0 ? "l" : "-";
            report += access(path.c_str(), R_OK) == 0 ? "a" : "-";
            report += readlink(tempPath("link.txt").c_str(), target, sizeof target) >= 0 ? "r" : "-";
            report += syscall(SYS_openat, AT_FDCWD, path.c_str(), O_RDONLY) >= 0 ? "o" : "-";
            report += std::fopen(path.c_str(), "r") ? "f" : "-";
            return report;
        },
        testLimits());
    ASSERT_EQ(outcome.end, SandboxEnd::answered) << outcome.detail;
    EXPECT_EQ(outcome.answer, "------");
}

TEST(SandboxEnds, abortsSegfaultsAndHeapCorruptionAreCrashes)
{
    REQUIRE_CONFINEMENT();
    const Timed aborted = timedRun([]() -> std::string { std::abort(); });
    EXPECT_EQ(aborted.outcome.end, SandboxEnd::crashed);
    EXPECT_EQ(aborted.outcome.signal, SIGABRT);

    const Timed segfault = timedRun([]() -> std::string {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
        return "survived";
    });
    EXPECT_EQ(segfault.outcome.end, SandboxEnd::crashed);
    // The sanitizer reports the fault first and then aborts (sandbox/child.cpp).
    if (!sandbox_detail::kSanitized) {
        EXPECT_EQ(segfault.outcome.signal, SIGSEGV);
    }
    // Heap corruption as a damaged file brings it about: the allocator's own check ends the child.
    const Timed doubleFree = timedRun([]() -> std::string {
        char* volatile block = new char[64];
        delete[] block;
        delete[] block;
        return "survived";
    });
    EXPECT_EQ(doubleFree.outcome.end, SandboxEnd::crashed);
    EXPECT_EQ(doubleFree.outcome.signal, SIGABRT);
    EXPECT_LT(aborted.seconds + segfault.seconds + doubleFree.seconds, 10);
}

TEST(SandboxEnds, processorLoopIsATimeLimit)
{
    REQUIRE_CONFINEMENT();
    SandboxLimits limits = testLimits();
    limits.cpuSeconds = 1;
    limits.wallSeconds = 30;
    const Timed timed = timedRun(
        []() -> std::string {
            volatile unsigned long spin = 0;
            for (;;) spin = spin + 1;
        },
        limits);
    EXPECT_EQ(timed.outcome.end, SandboxEnd::timeLimit);
    EXPECT_FALSE(timed.outcome.wallClock);
    EXPECT_EQ(timed.outcome.signal, SIGXCPU);
    EXPECT_LT(timed.seconds, 15);
}

TEST(SandboxEnds, childBlockedOnAFifoIsKilledAtTheDeadline)
{
    REQUIRE_CONFINEMENT();
    const std::string fifo = tempPath("blocking.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    SandboxLimits limits = testLimits();
    limits.wallSeconds = 1;
    const auto start = std::chrono::steady_clock::now();
    Timed timed;
    timed.outcome = runSandboxed(
        [&] {
            char byte;
            // Waits for bytes that never come: the parent holds the writing end open.
            return std::string(read(askFor("fifo"), &byte, 1) >= 0 ? "read" : "refused");
        },
        limits,
        [&](const std::string&) {
            SandboxReply reply;
            reply.fd = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
            return reply;
        });
    timed.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(timed.outcome.end, SandboxEnd::timeLimit);
    EXPECT_TRUE(timed.outcome.wallClock);
    EXPECT_GE(timed.seconds, 0.9);
    EXPECT_LT(timed.seconds, 5);
}

TEST(SandboxEnds, allocationPastTheBudgetIsOutOfMemory)
{
    REQUIRE_CONFINEMENT();
    SandboxLimits limits = testLimits();
    limits.memoryBytes = 256 * kMegabyte;
    // Step by step, each block used, as a reader fills what it allocates.
    const Timed growing = timedRun(
        [] {
            std::vector<std::vector<char>> blocks;
            for (int i = 0; i < 256; ++i) blocks.emplace_back(16 * kMegabyte, char(i));
            return std::string("kept 4 GB");
        },
        limits);
    EXPECT_EQ(growing.outcome.end, SandboxEnd::outOfMemory) << growing.outcome.detail;
    // At once, as a reader trusting a declared count does: four times the budget (not more, for the
    // sanitizer clears a shadow an eighth of its size before the budget's check sees it).
    const Timed atOnce = timedRun(
        [&] {
            std::vector<char> values(4 * limits.memoryBytes);
            return std::to_string(values.size());
        },
        limits);
    EXPECT_EQ(atOnce.outcome.end, SandboxEnd::outOfMemory) << atOnce.outcome.detail;
    EXPECT_LT(growing.seconds + atOnce.seconds, 60);
}

// A library that takes a failed allocation for success and crashes on it (a null pointer written to,
// an assertion on what it could not build) has run out of memory, not into a damaged file.
TEST(SandboxEnds, crashOnAnUncheckedAllocationAtTheBudgetIsOutOfMemory)
{
    REQUIRE_CONFINEMENT();
    if (sandbox_detail::kSanitized) GTEST_SKIP() << "the sanitizer's budget counts live heap, and ends the child first";
    SandboxLimits limits = testLimits();
    limits.memoryBytes = 256 * kMegabyte;
    const Timed unchecked = timedRun(
        [] {
            for (;;) {
                volatile char* block = static_cast<char*>(std::malloc(16 * kMegabyte));
                for (std::size_t k = 0; k < 16 * kMegabyte; k += 4096) block[k] = 1;  // a null block faults here
            }
            return std::string("survived");
        },
        limits);
    EXPECT_EQ(unchecked.outcome.end, SandboxEnd::outOfMemory);
    EXPECT_EQ(unchecked.outcome.signal, SIGSEGV);
    // The same crash early on is a crash.
    const Timed early = timedRun(
        [] {
            volatile char* block = static_cast<char*>(std::malloc(16 * kMegabyte));
            for (std::size_t k = 0; k < 16 * kMegabyte; k += 4096) block[k] = 1;
            volatile int* nowhere = nullptr;
            *nowhere = 1;
            return std::string("survived");
        },
        limits);
    EXPECT_EQ(early.outcome.end, SandboxEnd::crashed);
}

TEST(SandboxForbidden, openingForWritingEndsTheChildAndWritesNothing)
{
    REQUIRE_CONFINEMENT();
    const std::string existing = tempPath("existing.txt");
    std::ofstream(existing) << "kept";
    struct Case {
        const char* name;
        int flags;
    };
    // O_CREAT and O_TRUNC act even on a read-only open.
    const Case cases[] = {{"created-w.txt", O_WRONLY | O_CREAT},
                          {"created-rw.txt", O_RDWR | O_CREAT},
                          {"created-r.txt", O_RDONLY | O_CREAT},
                          {"existing.txt", O_RDONLY | O_TRUNC},
                          {"existing.txt", O_WRONLY},
                          {"existing.txt", O_RDWR | O_APPEND}};
    for (const Case& c : cases) {
        const std::string path = tempPath(c.name);
        const Timed timed = timedRun([&] {
            const int fd = open(path.c_str(), c.flags, 0600);
            return std::string(fd >= 0 ? "opened" : "refused");
        });
        EXPECT_EQ(timed.outcome.end, SandboxEnd::forbidden) << c.name << " " << c.flags << " " << timed.outcome.answer;
        EXPECT_EQ(timed.outcome.signal, SIGSYS);
        EXPECT_LT(timed.seconds, 5);
    }
    EXPECT_FALSE(exists(tempPath("created-w.txt")));
    EXPECT_FALSE(exists(tempPath("created-rw.txt")));
    EXPECT_FALSE(exists(tempPath("created-r.txt")));
    EXPECT_EQ(fileText(existing), "kept");
    const Timed viaStdio = timedRun([&] {
        std::FILE* file = std::fopen(tempPath("stdio.txt").c_str(), "w");
        return std::string(file ? "opened" : "refused");
    });
    EXPECT_EQ(viaStdio.outcome.end, SandboxEnd::forbidden);
    EXPECT_FALSE(exists(tempPath("stdio.txt")));
}

// The older call, and the calls that change files without opening them.
TEST(SandboxForbidden, changingFilesEndsTheChild)
{
    REQUIRE_CONFINEMENT();
    const std::string existing = tempPath("unchanged.txt");
    std::ofstream(existing) << "kept";
    const std::string legacy = tempPath("legacy.txt");
    const std::vector<std::function<void()>> changes = {
        [&] { syscall(SYS_open, legacy.c_str(), O_WRONLY | O_CREAT, 0600); },
        [&] { creat(legacy.c_str(), 0600); },
        [&] { unlink(existing.c_str()); },
        [&] { rename(existing.c_str(), legacy.c_str()); },
        [&] { truncate(existing.c_str(), 0); },
        [&] { mkdir(legacy.c_str(), 0700); },
    };
    for (const auto& change : changes) {
        const SandboxOutcome outcome = runSandboxed(
            [&] {
                change();
                return std::string("changed");
            },
            testLimits());
        EXPECT_EQ(outcome.end, SandboxEnd::forbidden);
    }
    EXPECT_FALSE(exists(legacy));
    EXPECT_EQ(fileText(existing), "kept");
}

TEST(SandboxForbidden, socketsEndTheChild)
{
    REQUIRE_CONFINEMENT();
    for (int domain : {AF_INET, AF_INET6, AF_UNIX}) {
        const Timed timed = timedRun([domain] {
            const int fd = socket(domain, SOCK_STREAM, 0);
            return std::string(fd >= 0 ? "connected" : "refused");
        });
        EXPECT_EQ(timed.outcome.end, SandboxEnd::forbidden) << domain;
        EXPECT_LT(timed.seconds, 5);
    }
}

// Without the sanitizer, a child that starts a program or a process is ended for it; the
// sanitizer's runtime starts a symbolizer for its reports, so there the call fails with EPERM
// instead (sandbox/syscall_filter.cpp). Either way no process starts: the marker stays unwritten.
void expectNoProcess(const SandboxJob& job, const std::string& marker)
{
    const Timed timed = timedRun(job);
    if (sandbox_detail::kSanitized) {
        EXPECT_EQ(timed.outcome.end, SandboxEnd::answered) << timed.outcome.detail;
        EXPECT_EQ(timed.outcome.answer, "refused EPERM");
    } else {
        EXPECT_EQ(timed.outcome.end, SandboxEnd::forbidden);
        EXPECT_EQ(timed.outcome.signal, SIGSYS);
    }
    EXPECT_LT(timed.seconds, 5);
    usleep(100000);
    EXPECT_FALSE(exists(marker));
}

TEST(SandboxForbidden, startingAProgramOrAProcessIsRefused)
{
    REQUIRE_CONFINEMENT();
    const std::string marker = tempPath("started.txt");
    expectNoProcess(
        [&] {
            execl("/bin/sh", "sh", "-c", ("echo started > " + marker).c_str(), static_cast<char*>(nullptr));
            return "refused " + errnoName(errno);
        },
        marker);
    expectNoProcess(
        [&] {
            const pid_t child = fork();
            if (child == 0) {
                execl("/bin/sh", "sh", "-c", ("echo started > " + marker).c_str(), static_cast<char*>(nullptr));
                _exit(1);
            }
            return "refused " + errnoName(errno);
        },
        marker);
}

// fcntl for a descriptor's own flags only: whatever reaches another process or the file itself
// (signals on input, leases, watching a folder) ends the child.
TEST(SandboxForbidden, fcntlKeepsToTheDescriptorsOwnFlags)
{
    REQUIRE_CONFINEMENT();
    const SandboxOutcome own = runSandboxed(
        [] {
            const int flags = fcntl(0, F_GETFL);
            const bool done = fcntl(0, F_GETFD) >= 0 && fcntl(0, F_SETFD, FD_CLOEXEC) == 0 && flags >= 0 &&
                              fcntl(0, F_SETFL, flags | O_NONBLOCK) == 0;
            return std::string(done ? "done" : "refused");
        },
        testLimits());
    ASSERT_EQ(own.end, SandboxEnd::answered) << own.detail;
    EXPECT_EQ(own.answer, "done");
    const struct {
        const char* name;
        int command;
        long argument;
    } reaching[] = {
        {"F_SETFL with O_ASYNC", F_SETFL, O_ASYNC}, {"F_SETOWN", F_SETOWN, 1},         {"F_SETSIG", F_SETSIG, SIGKILL},
        {"F_SETLEASE", F_SETLEASE, F_RDLCK},        {"F_NOTIFY", F_NOTIFY, DN_CREATE}, {"F_DUPFD", F_DUPFD, 10}};
    for (const auto& call : reaching) {
        const SandboxOutcome outcome = runSandboxed(
            [&] {
                fcntl(sandbox_detail::kAnswerFd, call.command, call.argument);
                return std::string("called");
            },
            testLimits());
        EXPECT_EQ(outcome.end, SandboxEnd::forbidden) << call.name << ": " << outcome.answer;
    }
}

TEST(SandboxForbidden, writesBeyondTheAnswerFail)
{
    REQUIRE_CONFINEMENT();
    const SandboxOutcome outcome = runSandboxed(
        [] {
            const bool out = write(1, "x", 1) < 0;
            const int outError = errno;
            std::string report = out ? errnoName(outError) : "written";
            if (!sandbox_detail::kSanitized) report += write(2, "x", 1) < 0 ? " " + errnoName(errno) : " written";
            return report;
        },
        testLimits());
    ASSERT_EQ(outcome.end, SandboxEnd::answered);
    EXPECT_EQ(outcome.answer, sandbox_detail::kSanitized ? "EBADF" : "EBADF EBADF");
}

TEST(SandboxEnds, noAnswerInItsForms)
{
    REQUIRE_CONFINEMENT();
    const SandboxOutcome silent = runSandboxed([]() -> std::string { _exit(0); }, testLimits());
    EXPECT_EQ(silent.end, SandboxEnd::noAnswer);
    EXPECT_EQ(silent.detail, "it sent nothing");

    const SandboxOutcome exited = runSandboxed([]() -> std::string { _exit(7); }, testLimits());
    EXPECT_EQ(exited.end, SandboxEnd::noAnswer);
    EXPECT_EQ(exited.exitStatus, 7);

    const SandboxOutcome threw = runSandboxed([]() -> std::string { throw std::runtime_error("x"); }, testLimits());
    EXPECT_EQ(threw.end, SandboxEnd::noAnswer);

    // Bytes that are not a framed answer, straight to the pipe.
    const SandboxOutcome garbage = runSandboxed(
        []() -> std::string {
            const char bytes[] = "ZSBA\xff\xff\xff\xff\xff\xff\xff\x7f tail";
            if (write(sandbox_detail::kAnswerFd, bytes, sizeof bytes - 1) < 0) _exit(3);
            _exit(0);
        },
        testLimits());
    EXPECT_EQ(garbage.end, SandboxEnd::noAnswer);
    EXPECT_EQ(garbage.detail, "its answer was cut short or ran on");

    SandboxLimits small = testLimits();
    small.maxAnswerBytes = 1000;
    const SandboxOutcome tooLong = runSandboxed([] { return std::string(5000, 'x'); }, small);
    EXPECT_EQ(tooLong.end, SandboxEnd::noAnswer);
    EXPECT_EQ(tooLong.detail, "it sent more than 1000 bytes");
    const SandboxOutcome justFits = runSandboxed([] { return std::string(1000, 'x'); }, small);
    EXPECT_EQ(justFits.end, SandboxEnd::answered);
}

TEST(SandboxWords, budgetsAsTheUserWritesThem)
{
    EXPECT_EQ(memoryWords(uint64_t(2) << 30), "2 GB");
    EXPECT_EQ(memoryWords(uint64_t(3) << 29), "1.5 GB");
    EXPECT_EQ(memoryWords(512 * kMegabyte), "512 MB");
    EXPECT_EQ(memoryWords(1000), "1000 bytes");
    EXPECT_EQ(sandboxLimitsFor(226).memoryBytes, uint64_t(2) << 30);
    EXPECT_EQ(sandboxLimitsFor(uint64_t(1) << 30).memoryBytes, uint64_t(16) << 30);
    EXPECT_EQ(sandboxLimitsFor(UINT64_MAX).memoryBytes, UINT64_MAX);
}

}  // namespace
