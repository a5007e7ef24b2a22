// zemconvert's import direction: another tool's model file read in a confined child, fitted into a ZEM model and
// written whole.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "app/zemconvert/options.h"
#include "base/paths.h"
#include "cli/output_file.h"
#include "cli/tool_messages.h"
#include "formats/import/confined_read.h"
#include "formats/import/fit/fit.h"
#include "formats/import/import.h"
#include "formats/import/read_failure.h"
#include "formats/import/texture/texture_image.h"
#include "formats/import/texture/texture_read.h"
#include "formats/import/wire.h"
#include "model/shape_write.h"

namespace {

// The file's name without its folders and its last extension: the model's name when the file
// gives none.
std::string fileStem(const std::string& path)
{
    std::string stem = lastName(path);
    const std::size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > 0) stem.resize(dot);
    return stem;
}

bool withinLimits(const ImportedModel& model)
{
    return !model.polygons.empty() && model.vertices.size() <= static_cast<std::size_t>(kImportMaxVertices) &&
           model.polygons.size() <= static_cast<std::size_t>(kImportMaxPolygons);
}

// The reader's limits: the default for the input's size, or what the options say.
SandboxLimits readLimits(const ConvertOptions& options)
{
    struct stat info;
    const uint64_t size = stat(options.input.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
    SandboxLimits limits = sandboxLimitsFor(size);
    if (options.maxMemory > 0) limits.memoryBytes = options.maxMemory;
    // The child fits what it read: its answer is bounded by the format, not by its memory.
    limits.maxAnswerBytes = kMaxFittedAnswerBytes;
    limits.wallSeconds = options.timeLimit;
    limits.cpuSeconds = static_cast<int>(std::ceil(options.timeLimit));
    return limits;
}

ImportOptions fitOptions(const ConvertOptions& options)
{
    ImportOptions fit;
    fit.scale = options.scale;
    fit.center = options.center;
    fit.colour = options.colour;
    fit.simplify = options.simplify;
    return fit;
}

// The input read and fitted by a child under limits; its notes are written whatever the end. The
// fit runs where the model was read: the memory the reader used serves the fit again there, and the
// child's limits bound the simplifier's time as well as the reader's.
bool readAndFit(const ConvertOptions& options, ImportedModel& model)
{
    const ImportOptions fit = fitOptions(options);
    const ConfinedFit fitInChild = [&](const SourceModel& source, ImportedModel& fitted,
                                       std::vector<std::string>& notes,
                                       std::string& error) { return fitModel(source, fit, fitted, notes, error); };
    const SandboxLimits limits = readLimits(options);
    SceneColourOptions colours;
    // One entry for every face: nothing of the model's colours is needed, no texture decoded.
    colours.source = options.colour >= 0 ? ColourSource::material : options.colours;
    colours.textureBudget = textureBudgetFor(limits.memoryBytes);
    ReadAnswer answer;
    std::string line;
    const bool read =
        readConfined(options.input, options.allowOutside, limits, sourceReader(colours), fitInChild, answer, line);
    for (const std::string& note : answer.notes) toolLine("note: " + note);
    if (!read) {
        reportFailure(options.input, line);
        return false;
    }
    // The fit promises the format's limits: a model beyond them did not come from it.
    if (!withinLimits(answer.fitted)) {
        reportFailure(options.input, malformedAnswerLine(readerName(options.input)));
        return false;
    }
    model = std::move(answer.fitted);
    model.name = modelName(model.name, fileStem(options.input));
    return true;
}

int importModel(const ConvertOptions& options)
{
    if (options.input == "-") return reportFailure(options.input, "importing reads a named file, not standard input");
    std::string why, error;
    // Checked before the read: a failed import must leave the input as it was, whatever it names,
    // and an output that cannot be written is told before the import's work, not after it.
    if (!refuseInputAsOutput(options.input, options.output, error) || !checkOutputPath(options.output, error)) {
        toolLine(error);
        return 1;
    }
    ImportedModel model;
    if (!readAndFit(options, model)) return 1;

    // The child's model checked again, as the loader will read it, before anything is written: what
    // the loader refuses is a fault of the import, never a file for the user to find broken.
    const std::string text = formatModel(model.name, model.vertices, model.polygons);
    if (!loadsBackAs(text, model.name, model.vertices.size(), model.polygons.size(), why))
        return reportFailure(options.input, "the converted model would not load: " + why);

    OutputFile output;
    if (!output.open(options.output, error) || !output.write(text, error) || !output.commit(error)) {
        toolLine(error);
        return 1;
    }
    return 0;
}

}  // namespace

int runImport(const ConvertOptions& options)
{
    try {
        return importModel(options);
    } catch (const std::bad_alloc&) {
        return reportFailure(options.input, "out of memory");
    }
}
