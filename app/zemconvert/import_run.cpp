// zemconvert's import direction: another tool's model file fitted into a ZEM model and written whole.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "app/zemconvert/options.h"
#include "cli/output_file.h"
#include "cli/tool_messages.h"
#include "formats/import/import.h"
#include "formats/import/texture_image.h"
#include "formats/import/texture_read.h"
#include "model/console.h"
#include "model/shape.h"
#include "model/shape_write.h"

namespace {

// The file's name without its folders and its last extension: the model's name when the file
// gives none.
std::string fileStem(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    std::string stem = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > 0) stem.resize(dot);
    return stem;
}

// The loader's own verdict on the text, before anything is written: what it refuses is a fault
// of the import, never a file for the user to find broken.
bool loadsBack(const std::string& text, const ImportedModel& model, std::string& why)
{
    const CapturedMessages capture;
    Shape shape;
    if (!shape.parse(text.data(), text.data() + text.size())) {
        why = capture.lines().empty() ? "the loader refused it" : capture.lines().front();
        return false;
    }
    if (model.name != shape.name || static_cast<std::size_t>(shape.vertexCount) != model.vertices.size() ||
        static_cast<std::size_t>(shape.polygonCount) != model.polygons.size()) {
        why = "the name or the counts read back differently";
        return false;
    }
    return true;
}

int importModel(const ConvertOptions& options)
{
    if (options.input == "-") return reportFailure(options.input, "importing reads a named file, not standard input");
    SourceModel source;
    std::string error;
    SceneColourOptions colours;
    // One entry for every face: nothing of the model's colours is needed, no texture decoded.
    colours.source = options.colour >= 0 ? ColourSource::material : options.colours;
    colours.textureBudget = textureBudgetFor(uint64_t(2) << 30);
    std::vector<std::string> readNotes;
    const bool read = readSourceModel(options.input, colours, source, readNotes, error);
    for (const std::string& note : readNotes) toolLine("note: " + note);
    if (!read) return reportFailure(options.input, error);

    ImportOptions fit;
    fit.scale = options.scale;
    fit.center = options.center;
    fit.colour = options.colour;
    fit.simplify = options.simplify;
    ImportedModel model;
    std::vector<std::string> notes;
    const bool fitted = fitModel(source, fit, model, notes, error);
    for (const std::string& note : notes) toolLine("note: " + note);
    if (!fitted) return reportFailure(options.input, error);
    model.name = modelName(source.name, fileStem(options.input));

    const std::string text = formatModel(model.name, model.vertices, model.polygons);
    std::string why;
    if (!loadsBack(text, model, why)) return reportFailure(options.input, "the converted model would not load: " + why);

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
