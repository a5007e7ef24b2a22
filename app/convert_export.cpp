// runExport: the ZEM model loaded with the project's loader, exported, and every file of the run
// committed only once all of them are written.
#include <memory>
#include <string>
#include <vector>

#include "app/convert_options.h"
#include "cli/output_file.h"
#include "formats/export.h"
#include "cli/tool_messages.h"
#include "model/shape.h"

namespace {

void failLine(const std::string& what, const std::string& why) { toolLine(what + ": " + why); }

bool writeAll(const std::vector<ExportedFile>& files)
{
    std::vector<std::unique_ptr<OutputFile>> outputs;
    for (const ExportedFile& file : files) {
        outputs.push_back(std::make_unique<OutputFile>());
        OutputFile& output = *outputs.back();
        if (!output.open(file.path) || !output.write(file.bytes)) {
            toolLine(output.error());
            return false;
        }
    }
    // Companions first: the output appears last, and only with what it refers to beside it.
    for (std::size_t i = outputs.size(); i-- > 0;) {
        if (!outputs[i]->commit()) {
            toolLine(outputs[i]->error());
            return false;
        }
    }
    return true;
}

}  // namespace

int runExport(const ConvertOptions& options, ExportFormat format)
{
    Shape shape;
    if (!shape.load(options.input == "-" ? "/dev/stdin" : options.input.c_str())) {
        failLine(options.input, "the model could not be loaded");
        return 1;
    }

    ExportOptions exportOptions;
    exportOptions.flat = options.flat;
    const ExportResult result = exportShape(shape, format, options.output, exportOptions);
    if (!result.error.empty()) {
        failLine(options.output, result.error);
        return 1;
    }
    if (!writeAll(result.files)) return 1;
    // Notes describe what was written, so a run that wrote nothing has none.
    if (shape.polygonCount == 0) failLine(options.input, "note: the model is empty; an empty scene is written");
    for (const std::string& note : result.notes) failLine(options.output, "note: " + note);
    return 0;
}
