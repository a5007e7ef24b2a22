// A confined read's two sides: checks, reader and encoding in the child; the words for its end in the parent.
#include "formats/import/confined_read.h"

#include <cstdio>

#include "formats/import/confined_io.h"
#include "formats/import/declared_sizes.h"
#include "formats/import/read_failure.h"

std::string confinedReadAnswer(const std::string& path, bool allowOutside, const ConfinedReader& reader)
{
    ReadAnswer answer;
    if (!checkDeclaredSizes(path, answer.refusal)) {
        answer.kind = ReadAnswer::Kind::refused;
        return encodeReadAnswer(answer);
    }
    std::string message;
    auto io = std::make_unique<ConfinedIOSystem>(path, allowOutside, answer.notes);
    if (!reader(path, std::move(io), answer.model, message)) {
        answer.kind = ReadAnswer::Kind::failed;
        answer.failure = classifyReaderMessage(message);
    }
    return encodeReadAnswer(answer);
}

namespace {

std::string seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g s", value);
    return text;
}

}  // namespace

std::string sandboxEndLine(const std::string& reader, const SandboxOutcome& outcome, const SandboxLimits& limits)
{
    const std::string failed = reader + " failed on this file (";
    switch (outcome.end) {
    case SandboxEnd::crashed:
        return failed + "it crashed: the file is damaged or hostile)";
    case SandboxEnd::forbidden:
        return failed + "it tried what no reader may do: the file is hostile)";
    case SandboxEnd::outOfMemory:
        return reader + " needed more than " + memoryWords(limits.memoryBytes) + " (see --max-memory)";
    case SandboxEnd::timeLimit:
        return reader + " took more than " + seconds(outcome.wallClock ? limits.wallSeconds : limits.cpuSeconds) +
               " (see --time-limit)";
    case SandboxEnd::notStarted:
        return "could not read it safely: " + outcome.detail;
    case SandboxEnd::noAnswer:
        return failed + "it ended without an answer: the file is damaged or hostile)";
    case SandboxEnd::answered:
        break;
    }
    return malformedAnswerLine(reader);
}

std::string malformedAnswerLine(const std::string& reader)
{
    return reader + " failed on this file (its answer was malformed: the file is damaged or hostile)";
}
