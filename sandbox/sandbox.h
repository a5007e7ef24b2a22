// Running a function on foreign input in a forked child under limits, and telling how the child ended.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// memoryWords, in which the lines of a blown budget give it.
#include "base/words.h"

// What the child may use. The parent enforces the wall-clock deadline and the answer's size itself;
// the kernel enforces the rest inside the child.
struct SandboxLimits {
    // The child's whole address space, its code and libraries included (about 100 MB of it before
    // any work). Under AddressSanitizer, which reserves terabytes of address space, the budget
    // counts the heap's live bytes instead (sandbox/child.cpp).
    uint64_t memoryBytes = uint64_t(2) << 30;
    int cpuSeconds = 60;      // processor time, whole seconds as the kernel counts them
    double wallSeconds = 60;  // from the fork to the complete answer; a child that waits uses no CPU
    uint64_t maxAnswerBytes = uint64_t(2) << 30;  // a longer answer is no answer
};

// The limits for reading a file of inputBytes: 2 GB of memory, or 16 times the input when that is
// more (a reader holds the file and a mesh several times its size), and 60 seconds.
SandboxLimits sandboxLimitsFor(uint64_t inputBytes);

// How the child ended. Each class has its own line for the user; detail and signal say more.
enum class SandboxEnd {
    answered,     // exited normally after sending a complete answer (still to be checked!)
    crashed,      // killed by a signal of its own making: SIGSEGV, SIGABRT, SIGBUS, SIGILL, SIGFPE...
    forbidden,    // tried a system call outside the allow-list and was killed for it (SIGSYS)
    outOfMemory,  // an allocation failed within memoryBytes, or it crashed having used half of them or more
    timeLimit,    // ran past cpuSeconds, or past wallSeconds and was killed (wallClock says which)
    noAnswer,     // ended with no answer, a cut-short or malformed one, or one over maxAnswerBytes
    notStarted,   // the child or its confinement could not be set up; nothing was read
};

struct SandboxOutcome {
    SandboxEnd end = SandboxEnd::notStarted;
    std::string answer;      // answered only: the child's bytes, which the parent must check before use
    int signal = 0;          // the signal that ended the child, when one did
    int exitStatus = -1;     // the child's exit status, when it exited
    bool wallClock = false;  // timeLimit: killed at the wall-clock deadline rather than by processor time
    // notStarted: which step failed and why ("could not install the system call filter: Invalid
    // argument"); noAnswer: what was wrong with what came back. The parent's own words.
    std::string detail;
    // How far the job had got, as it said with sandboxStage: 0 until it says otherwise. For the
    // words of the verdict only (the child may say anything).
    uint32_t stage = 0;
    uint64_t requests = 0;  // the requests the parent's broker answered
};

// The parent's answer to a request from the child (sandboxAsk): words, and a descriptor passed with
// them, or -1. The parent closes the descriptor once it is sent.
struct SandboxReply {
    std::string words;
    int fd = -1;
};

// Runs in the parent, for each request the child makes while it runs; the request is the child's
// and may be anything.
using SandboxBroker = std::function<SandboxReply(const std::string& request)>;

// Runs in the child; what it returns is sent to the parent as the answer. It may read files but
// not write them, and may not start processes, use the network or write to any descriptor.
// std::bad_alloc out of it ends the child as outOfMemory, any other exception as noAnswer.
using SandboxJob = std::function<std::string()>;

// In a job: the stage the job has reached, which the parent finds in SandboxOutcome::stage however
// the child ends. Does nothing outside a sandboxed child.
void sandboxStage(uint32_t stage);

// In a job: asks the parent's broker, and waits for its answer. False when there is no broker or
// the exchange failed; fd is the descriptor that came with the words, or -1, and the job's to close.
bool sandboxAsk(const std::string& request, std::string& words, int& fd);

// The longest request and answer that sandboxAsk carries; a longer request is refused unsent.
constexpr std::size_t kSandboxMessageBytes = 8192;

// Forks a child for this one call, confines it, runs job in it and reaps it; broker, when given,
// answers the child's requests meanwhile. Call it from a single-threaded process that does not
// ignore SIGCHLD. Never throws.
SandboxOutcome runSandboxed(const SandboxJob& job, const SandboxLimits& limits, const SandboxBroker& broker = nullptr);
