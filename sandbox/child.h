// What the two sides of a sandboxed call share: the child's descriptor, exit codes and messages.
#pragma once

#include <sys/types.h>

#include <cstdint>

#include "sandbox/sandbox.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZEM_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZEM_SANITIZED 1
#endif
#endif
#ifndef ZEM_SANITIZED
#define ZEM_SANITIZED 0
#endif

namespace sandbox_detail {

// The child's one writable descriptor: its answer to the parent.
constexpr int kAnswerFd = 3;
// Its socket to the parent's broker, which opens files for it (closed when there is no broker).
constexpr int kBrokerFd = 4;

// Exit codes that say why a child ended without an answer; unusual, so that a library's own
// exit(1) is not mistaken for one of them (and a child that lies only picks the parent's words).
constexpr int kExitOutOfMemory = 90;
constexpr int kExitSetupFailed = 91;
constexpr int kExitJobFailed = 92;
constexpr int kExitNoParent = 93;

// Messages on the pipe: a magic word, then for an answer its length (8 bytes, little-endian) and
// its bytes; for a failed set-up the step and the errno (4 bytes each, little-endian).
constexpr char kAnswerMagic[4] = {'Z', 'S', 'B', 'A'};
constexpr char kSetupMagic[4] = {'Z', 'S', 'B', 'S'};
constexpr std::size_t kAnswerHeaderBytes = 12;
constexpr std::size_t kSetupMessageBytes = 12;

enum class SetupStep : uint32_t {
    parentWatch = 1,
    descriptors,
    limits,
    privileges,
    memoryBudget,
    filter,
    session,
};

// "could not install the system call filter", for a step number the child sent; null when no step
// has that number.
const char* setupStepWords(uint32_t step);

// The child's whole life after the fork: confinement, the job, the answer. stage is the page shared
// with the parent where sandboxStage writes. Never returns.
// brokerFd is the child's end of the broker's socket, or -1.
[[noreturn]] void runChild(const SandboxJob& job, const SandboxLimits& limits, int answerFd, int brokerFd, pid_t parent,
                           volatile uint32_t* stage);

// Whether the child's parent answers requests (sandboxAsk); set in the child before its job runs.
extern bool gHasBroker;

// Serves one request from the socket, if one is there: reads it, asks broker, sends the answer
// without waiting, and counts it in served. False once the child's end is closed.
bool serveRequest(int socket, const SandboxBroker& broker, uint64_t& served);

// Installs the allow-list of system calls (sandbox/syscall_filter.cpp). False with errno's value
// in error when the kernel or the library refuses it.
bool installSyscallFilter(int& error);

// Whether this build carries AddressSanitizer, whose runtime needs some things relaxed.
constexpr bool kSanitized = ZEM_SANITIZED != 0;

}  // namespace sandbox_detail
