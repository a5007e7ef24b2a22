// runExport: the ZEM model loaded with the project's loader, exported, and every file of the run
// committed only once all of them are written.
#include <memory>
#include <string>
#include <vector>

#include "app/zemconvert/options.h"
#include "cli/output_file.h"
#include "cli/tool_messages.h"
#include "model/shape.h"

namespace {

bool writeAll(const std::vector<ExportedFile>& files)
{
    std::vector<std::unique_ptr<OutputFile>> outputs;
    std::string error;
    for (const ExportedFile& file : files) {
        outputs.push_back(std::make_unique<OutputFile>());
        OutputFile& output = *outputs.back();
        if (!output.open(file.path, error) || !output.write(file.bytes, error)) {
            toolLine(error);
            return false;
        }
    }
    // Companions first: the output appears last, and only with what it refers to beside it.
    for (std::size_t i = outputs.size(); i-- > 0;) {
        if (!outputs[i]->commit(error)) {
            toolLine(error);
            return false;
        }
    }
    return true;
}

}  // namespace

int runExport(const ConvertOptions& options)
{
    Shape shape;
    if (!shape.load(options.input == "-" ? "/dev/stdin" : options.input.c_str()))
        return reportFailure(options.input, "the model could not be loaded");

    ExportOptions exportOptions;
    exportOptions.flat = options.flat;
    ExportResult result;
    std::string error;
    if (!exportShape(shape, options.exportFormat, options.output, exportOptions, result, error))
        return reportFailure(options.output, error);
    if (!writeAll(result.files)) return 1;
    // Notes describe what was written, so a run that wrote nothing has none.
    if (shape.polygonCount == 0) toolLine(options.input + ": note: the model is empty; an empty scene is written");
    for (const std::string& note : result.notes) toolLine(options.output + ": note: " + note);
    return 0;
}
