// A model read in the sandbox: the child's steps to an answer, and the parent's line for each way it ends without a
// model.
#pragma once

#include <assimp/IOSystem.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "formats/import/file_broker.h"
#include "formats/import/import.h"
#include "formats/import/wire.h"
#include "sandbox/sandbox.h"

// Reads the model at path into model, opening every file through io, which it hands to its
// importer (Assimp::Importer::SetIOHandler(io.release())). False with the library's own message,
// which is classed (read_failure.h) and never shown; a scene with no mesh is a message that says
// "no meshes". Lines for the user about what it left out go to notes. readSourceModel (import.h)
// is the import's.
using ConfinedReader =
    std::function<bool(const std::string& path, std::unique_ptr<Assimp::IOSystem> io, SourceModel& model,
                       std::vector<std::string>& notes, std::string& libraryMessage)>;

// readSourceModel (import.h) as the child's reader, each face coloured as colours says.
ConfinedReader sourceReader(const SceneColourOptions& colours);

// Fits what the reader read into model, in the child: fitModel (fit/fit.h) under the import's
// options. False with error in the tool's words.
using ConfinedFit = std::function<bool(const SourceModel& source, ImportedModel& model, std::vector<std::string>& notes,
                                       std::string& error)>;

// How far the child's job got, as its number in SandboxOutcome::stage (sandboxStage), so that its
// end is told in the right words; a job starts at 0, reading.
enum class ConfinedStage : uint32_t { reading = 0, fitting = 1 };

// The child's job: the model asked of files (a refusal, of its declared sizes among others, is the
// answer), then reader run with a ConfinedIOSystem on files (its refusals are the answer's notes),
// then, when fit is given, what was read fitted to the format where it was read (a model that
// cannot be fitted is refused), and the answer encoded (wire.h).
std::string confinedReadAnswer(const std::string& path, const FileSource& files, const ConfinedReader& reader,
                               const ConfinedFit& fit = nullptr);

// The same job with the files opened in this process, as the parent would open them.
std::string confinedReadAnswer(const std::string& path, bool allowOutside, const ConfinedReader& reader,
                               const ConfinedFit& fit = nullptr);

// The job run in a child under limits, with its files opened by this process (ModelFiles) and
// handed over; the outcome as it ended, its answer still to be checked.
SandboxOutcome runConfinedRead(const std::string& path, bool allowOutside, const SandboxLimits& limits,
                               const ConfinedReader& reader, const ConfinedFit& fit = nullptr);

// The parent's line after "zemconvert: FILE: " when the child ended without an answer:
// "the PLY reader failed on this file (it crashed: the file is damaged or hostile)", "the PLY
// reader needed more than 2 GB (see --max-memory)", "the PLY reader took more than 60 s (see
// --time-limit)"; "fitting it to the format took more than 60 s (see --time-limit)" once the
// child was fitting. reader is readerName(path).
std::string sandboxEndLine(const std::string& reader, const SandboxOutcome& outcome, const SandboxLimits& limits);

// The line when the answer came but decodeReadAnswer refused it.
std::string malformedAnswerLine(const std::string& reader);

// The parent's whole side: runs confinedReadAnswer with reader and fit in a child under limits,
// and checks its answer. answer's notes are the child's, whatever the end. True when answer holds
// a model (fitted when fit is given); false with error set to what follows "zemconvert: FILE: "
// when it does not (a refusal, the reader's failure or how the child ended, in the tool's words).
bool readConfined(const std::string& path, bool allowOutside, const SandboxLimits& limits, const ConfinedReader& reader,
                  const ConfinedFit& fit, ReadAnswer& answer, std::string& error);
