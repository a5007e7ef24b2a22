// A confined read's two sides: checks, reader and encoding in the child; the words for its end in the parent.
#include "formats/import/confined_read.h"

#include <unistd.h>

#include <cstdio>
#include <memory>

#include "formats/import/checks/declared_sizes.h"
#include "formats/import/confined_io.h"
#include "formats/import/read_failure.h"
#include "formats/import/texture/texture_read.h"

namespace {

// What was read, fitted in place of it: the fitted model, or the refusal that says why there is none.
void fitInPlace(const ConfinedFit& fit, ReadAnswer& answer)
{
    sandboxStage(static_cast<uint32_t>(ConfinedStage::fitting));
    std::string error;
    if (fit(answer.model, answer.fitted, answer.notes, error)) {
        answer.kind = ReadAnswer::Kind::fitted;
        answer.fitted.name = answer.model.name;
    } else {
        answer.kind = ReadAnswer::Kind::refused;
        answer.refusal = error;
    }
    answer.model = SourceModel();
}

}  // namespace

std::string confinedReadAnswer(const std::string& path, const FileSource& files, const ConfinedReader& reader,
                               const ConfinedFit& fit)
{
    ReadAnswer answer;
    const HandedFile model = files(FileAsk::model, path);
    if (model.fd >= 0) close(model.fd);
    if (model.answer != FileAnswer::given) {
        answer.kind = ReadAnswer::Kind::refused;
        answer.refusal = model.answer == FileAnswer::refused ? model.why : "it could not be opened";
        return encodeReadAnswer(answer);
    }
    std::string message;
    auto io = std::make_unique<ConfinedIOSystem>(path, files, answer.notes);
    if (!reader(path, std::move(io), answer.model, answer.notes, message)) {
        answer.kind = ReadAnswer::Kind::failed;
        answer.failure = classifyReaderMessage(message);
    } else if (fit) {
        fitInPlace(fit, answer);
    }
    return encodeReadAnswer(answer);
}

std::string confinedReadAnswer(const std::string& path, bool allowOutside, const ConfinedReader& reader,
                               const ConfinedFit& fit)
{
    const auto files = std::make_shared<ModelFiles>(path, allowOutside);
    return confinedReadAnswer(
        path, [files](FileAsk ask, const std::string& name) { return files->answer(ask, name); }, reader, fit);
}

SandboxOutcome runConfinedRead(const std::string& path, bool allowOutside, const SandboxLimits& limits,
                               const ConfinedReader& reader, const ConfinedFit& fit)
{
    ModelFiles files(path, allowOutside);
    return runSandboxed([&] { return confinedReadAnswer(path, parentFiles(), reader, fit); }, limits,
                        [&](const std::string& request) { return files.serve(request); });
}

namespace {

std::string seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g s", value);
    return text;
}

}  // namespace

namespace {

// "WHO needed more than 2 GB (see --max-memory)" or "WHO took more than 60 s (see --time-limit)"
// for a child that ran into a limit; empty for any other end.
std::string limitLine(const std::string& who, const SandboxOutcome& outcome, const SandboxLimits& limits)
{
    if (outcome.end == SandboxEnd::outOfMemory)
        return who + " needed more than " + memoryWords(limits.memoryBytes) + " (see --max-memory)";
    if (outcome.end == SandboxEnd::timeLimit)
        return who + " took more than " + seconds(outcome.wallClock ? limits.wallSeconds : limits.cpuSeconds) +
               " (see --time-limit)";
    return std::string();
}

// The end of a child that was fitting what it had read: the fault is the import's, not the file's.
std::string fittingEndLine(const SandboxOutcome& outcome, const SandboxLimits& limits)
{
    const std::string fitting = "fitting it to the format";
    const std::string limit = limitLine(fitting, outcome, limits);
    if (!limit.empty()) return limit;
    return fitting +
           (outcome.end == SandboxEnd::crashed ? " failed (it crashed)" : " failed (it ended without an answer)");
}

}  // namespace

std::string sandboxEndLine(const std::string& reader, const SandboxOutcome& outcome, const SandboxLimits& limits)
{
    const bool fitting = outcome.stage == static_cast<uint32_t>(ConfinedStage::fitting) &&
                         outcome.end != SandboxEnd::notStarted && outcome.end != SandboxEnd::forbidden &&
                         outcome.end != SandboxEnd::answered;
    if (fitting) return fittingEndLine(outcome, limits);
    const std::string failed = reader + " failed on this file (";
    switch (outcome.end) {
    case SandboxEnd::crashed:
        return failed + "it crashed: the file is damaged or hostile)";
    case SandboxEnd::forbidden:
        return failed + "it tried what no reader may do: the file is hostile)";
    case SandboxEnd::outOfMemory:
    case SandboxEnd::timeLimit:
        return limitLine(reader, outcome, limits);
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

bool readConfined(const std::string& path, bool allowOutside, const SandboxLimits& limits, const ConfinedReader& reader,
                  const ConfinedFit& fit, ReadAnswer& answer, std::string& error)
{
    const std::string name = readerName(path);
    answer = ReadAnswer();
    const SandboxOutcome outcome = runConfinedRead(path, allowOutside, limits, reader, fit);
    if (outcome.end != SandboxEnd::answered) {
        error = sandboxEndLine(name, outcome, limits);
        return false;
    }
    std::string malformation;
    const ReadAnswer::Kind expected = fit ? ReadAnswer::Kind::fitted : ReadAnswer::Kind::model;
    if (!decodeReadAnswer(outcome.answer.data(), outcome.answer.size(), answer, malformation) ||
        (answer.kind != expected && answer.kind != ReadAnswer::Kind::refused &&
         answer.kind != ReadAnswer::Kind::failed)) {
        answer.notes.clear();  // no part of a malformed answer is shown
        error = malformedAnswerLine(name);
        return false;
    }
    if (answer.kind == ReadAnswer::Kind::refused) {
        error = answer.refusal;
        return false;
    }
    if (answer.kind == ReadAnswer::Kind::failed) {
        error = readerFailureLine(name, answer.failure, memoryWords(limits.memoryBytes));
        return false;
    }
    return true;
}

ConfinedReader sourceReader(const SceneColourOptions& colours)
{
    return [colours](const std::string& path, std::unique_ptr<Assimp::IOSystem> io, SourceModel& model,
                     std::vector<std::string>& notes, std::string& libraryMessage) {
        return readSourceModel(path, std::move(io), colours, model, notes, libraryMessage);
    };
}
