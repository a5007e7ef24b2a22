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
    if (!reader(path, std::move(io), answer.model, answer.notes, message)) {
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

bool readConfined(const std::string& path, bool allowOutside, const SandboxLimits& limits,
                  const ConfinedReader& reader, SourceModel& model, std::vector<std::string>& notes,
                  std::string& line)
{
    const std::string name = readerName(path);
    SandboxOutcome outcome = runSandboxed([&] { return confinedReadAnswer(path, allowOutside, reader); }, limits);
    if (outcome.end != SandboxEnd::answered) {
        line = sandboxEndLine(name, outcome, limits);
        return false;
    }
    ReadAnswer answer;
    std::string why;
    const bool decoded = decodeReadAnswer(outcome.answer.data(), outcome.answer.size(), answer, why);
    std::string().swap(outcome.answer);  // the model is all that is needed of it now
    if (!decoded) {
        line = malformedAnswerLine(name);
        return false;
    }
    notes.insert(notes.end(), answer.notes.begin(), answer.notes.end());
    switch (answer.kind) {
    case ReadAnswer::Kind::refused:
        line = answer.refusal;
        return false;
    case ReadAnswer::Kind::failed:
        line = readerFailureLine(name, answer.failure, memoryWords(limits.memoryBytes));
        return false;
    case ReadAnswer::Kind::model:
        break;
    }
    model = std::move(answer.model);
    return true;
}
