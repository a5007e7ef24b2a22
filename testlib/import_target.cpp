// One input of the import's fuzz target: a file of any format read through the confined child, its answer checked,
// fitted, sent over the wire, formatted and parsed back; our own parsers of foreign bytes and the fit run in this
// process, where their coverage counts.
#include "testlib/import_target.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "formats/import/checks/declared_sizes.h"
#include "formats/import/checks/printable_text.h"
#include "formats/import/confined_read.h"
#include "formats/import/fit/fit.h"
#include "formats/import/import.h"
#include "formats/import/ply_extras.h"
#include "formats/import/texture/texture_read.h"
#include "model/shape.h"
#include "model/shape_write.h"
#include "testlib/temp_dir.h"

namespace {

bool printable(const std::string& text) { return !text.empty() && isPrintableText(text.data(), text.size()); }

// The reading library's and C++'s own words, which must never reach the user.
bool internal(const std::string& line)
{
    for (const char* word : {"aiMesh", "aiScene", "Validation", "bad_alloc", "std::", "GLTF", "ssimp", "ai_assert"})
        if (line.find(word) != std::string::npos) return true;
    return false;
}

// Small limits, from the input's own bytes, so that simplification runs on small models too.
ImportOptions fitOptions(const uint8_t* data, std::size_t size)
{
    uint32_t seed = 2166136261u;
    for (std::size_t k = 0; k < size; ++k) seed = (seed ^ data[k]) * 16777619u;
    ImportOptions options;
    if (seed % 2 == 0) {
        options.maxVertices = 3 + static_cast<int>((seed >> 8) % 64);
        options.maxPolygons = 1 + static_cast<int>((seed >> 16) % 64);
    }
    options.colour = seed % 5 == 0 ? static_cast<int>((seed >> 4) % 32) : -1;
    options.center = seed % 3 != 0;
    return options;
}

// The fit that zemconvert runs in its child, run here where the fuzzer sees what it reaches; its
// model then crosses the wire as the child sends it, and is formatted and parsed back.
void fitAndFormat(const SourceModel& source, const ImportOptions& options)
{
    ReadAnswer sent;
    std::string error;
    const bool fitted = fitModel(source, options, sent.fitted, sent.notes, error);
    for (const std::string& note : sent.notes)
        if (!printable(note) || internal(note)) std::abort();
    if (!fitted) {
        if (!printable(error) || internal(error)) std::abort();
        return;
    }
    sent.kind = ReadAnswer::Kind::fitted;
    sent.fitted.name = source.name;
    const std::string bytes = encodeReadAnswer(sent);
    ReadAnswer answer;
    std::string why;
    if (!decodeReadAnswer(bytes.data(), bytes.size(), answer, why) || answer.kind != ReadAnswer::Kind::fitted)
        std::abort();
    ImportedModel& model = answer.fitted;
    if (model.vertices.size() > static_cast<std::size_t>(options.maxVertices) ||
        model.polygons.size() > static_cast<std::size_t>(options.maxPolygons) || model.polygons.empty())
        std::abort();
    model.name = modelName(model.name, "fuzzed");
    const std::string text = formatModel(model.name, model.vertices, model.polygons);
    if (!loadsBackAs(text, model.name, model.vertices.size(), model.polygons.size(), why)) std::abort();
}

// The child's own parsers of the file, here where the fuzzer sees what they reach.
void readInProcess(const std::string& path)
{
    std::string refusal;
    const bool passed = checkDeclaredSizes(path, refusal);
    if (passed != refusal.empty() || (!passed && (!printable(refusal) || internal(refusal)))) std::abort();
    // The same verdict on the file handed over as a descriptor, but for a glTF file's external buffers.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::string handedOver;
    if (fd < 0) std::abort();
    const bool handedPassed = checkDeclaredContent(fd, path, handedOver);
    close(fd);
    if (handedPassed != passed && !(handedPassed && refusal.compare(0, 7, "buffer ") == 0)) std::abort();
    if (!passed) return;
    PlyExtras extras;
    readPlyExtras(path, extras);
    if (extras.edgeEnds.size() != 2 * extras.edgeColours.size()) std::abort();
}

std::string writeInput(const uint8_t* data, std::size_t size)
{
    static const std::string folder = privateTempDir("zem-import-fuzz");
    const std::string path = folder + "/input." + importInputExtension(data[0]);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    return path;
}

}  // namespace

const char* importInputExtension(uint8_t first)
{
    static const char* const extensions[] = {"ply", "obj", "stl", "off", "gltf", "glb",
                                             "dae", "3mf", "3ds", "x3d", "amf",  "fbx"};
    return extensions[first % (sizeof extensions / sizeof extensions[0])];
}

void importOnce(const uint8_t* data, std::size_t size)
{
    if (size == 0) return;
    const std::string path = writeInput(data, size);
    readInProcess(path);

    SandboxLimits limits;
    limits.memoryBytes = limits.maxAnswerBytes = uint64_t(512) << 20;
    limits.cpuSeconds = 5;
    limits.wallSeconds = 10;
    ReadAnswer answer;
    std::string line;
    const bool read = readConfined(path, false, limits, sourceReader(SceneColourOptions()), nullptr, answer, line);
    for (const std::string& note : answer.notes)
        if (!printable(note) || internal(note)) std::abort();
    if (!read) {
        if (!printable(line) || internal(line)) std::abort();
        return;
    }
    fitAndFormat(answer.model, fitOptions(data, size));
}
