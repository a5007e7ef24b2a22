// runExport: the ZEM model loaded with the project's loader, exported, every file of the run
// committed only once all of them are written, and the earlier output's companion removed after.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/zemconvert/options.h"
#include "cli/output_file.h"
#include "cli/tool_messages.h"
#include "formats/export/companions.h"
#include "model/shape.h"

namespace {

// An earlier output names its companion near its start: the first mebibyte is plenty, and reading
// no further keeps a large output cheap to replace.
constexpr std::size_t kEarlierHead = 1 << 20;

// The start of the regular file at path, or nothing: a pipe or a device is not read.
std::string earlierHead(const std::string& path)
{
    std::string head;
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    if (fd < 0) return head;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        head.resize(kEarlierHead);
        const ssize_t got = read(fd, &head[0], head.size());
        head.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    close(fd);
    return head;
}

bool refuseInput(const std::string& input, const std::vector<ExportedFile>& files)
{
    std::string error;
    for (const ExportedFile& file : files) {
        if (refuseInputAsOutput(input, file.path, error)) continue;
        toolLine(error);
        return false;
    }
    return true;
}

bool writeAll(const std::vector<ExportedFile>& files)
{
    std::vector<std::unique_ptr<OutputFile>> outputs;
    std::string error;
    for (const ExportedFile& file : files) {
        outputs.push_back(std::make_unique<OutputFile>());
        OutputFile& output = *outputs.back();
        // A companion follows the output's permissions and owner, since it carries half the model.
        const std::string like = outputs.size() == 1 ? std::string() : files[0].path;
        if (!output.open(file.path, error, like) || !output.write(file.bytes, error)) {
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

// The companion that the replaced output named goes once nothing names it: only a regular file,
// never a link, and never the input.
void removeEarlierCompanion(const std::string& path, const std::string& input)
{
    struct stat info;
    std::string error;
    if (path.empty() || lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
    if (!refuseInputAsOutput(input, path, error)) return;
    if (unlink(path.c_str()) != 0 && errno != ENOENT)
        toolLine(path + ": note: the earlier output's companion was left: " + std::strerror(errno));
}

}  // namespace

int runExport(const ConvertOptions& options)
{
    std::string error;
    if (!refuseInputAsOutput(options.input, options.output, error)) {
        toolLine(error);
        return 1;
    }
    Shape shape;
    if (!shape.load(options.input == "-" ? "/dev/stdin" : options.input.c_str()))
        return reportFailure(options.input, "the model could not be loaded");

    ExportOptions exportOptions;
    exportOptions.flat = options.flat;
    ExportResult result;
    if (!exportShape(shape, options.exportFormat, options.output, exportOptions, result, error))
        return reportFailure(options.output, error);
    if (!refuseInput(options.input, result.files)) return 1;
    const std::string earlier = options.output == "-"
                                    ? std::string()
                                    : earlierCompanion(options.exportFormat, result, earlierHead(options.output));
    if (!writeAll(result.files)) return 1;
    removeEarlierCompanion(earlier, options.input);
    // Notes describe what was written, so a run that wrote nothing has none.
    if (shape.polygonCount == 0) toolLine(options.input + ": note: the model is empty; an empty scene is written");
    // The page draws either shading: the option that chose one has nothing to change in it.
    if (options.flat && options.exportFormat == ExportFormat::Html)
        toolLine(options.output + ": note: --flat does not apply to a page: its viewer switches with the s key");
    for (const std::string& note : result.notes) toolLine(options.output + ": note: " + note);
    return 0;
}
