// exportShape: the format chosen by name or extension, the shared view built, and the writer run,
// with every failure (memory included) turned into a message.
#include "formats/export/export.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <exception>
#include <new>

#include "base/paths.h"
#include "base/words.h"
#include "formats/export/companions.h"
#include "formats/export/mesh_view.h"
#include "formats/export/page_export.h"
#include "formats/export/writers.h"

namespace {

std::string lowered(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void noteWhatIsLeftOut(const MeshView& mesh, ExportFormat format, std::vector<std::string>& notes)
{
    if (mesh.leftOutCount > 0)
        notes.push_back(counted(mesh.leftOutCount, "polygon", "polygons") +
                        " of fewer than 2 indices left out: the viewer draws nothing for " +
                        (mesh.leftOutCount == 1 ? "it" : "them"));
    if (format == ExportFormat::Stl && mesh.segmentCount > 0)
        notes.push_back(counted(mesh.segmentCount, "segment", "segments") + " left out: STL has no lines");
}

// The output and its companion in the format chosen: exportShape's work, which may throw (memory).
bool writeFormatFiles(const Shape& shape, ExportFormat format, const std::string& outputPath,
                      const ExportOptions& options, ExportResult& result, std::string& error)
{
    MeshView mesh;
    mesh.build(shape, options.flat);
    const bool toStandardOutput = outputPath == "-";
    result.files.push_back({outputPath, std::string()});
    std::string& bytes = result.files[0].bytes;
    switch (format) {
    case ExportFormat::Obj: {
        std::string mtl;
        const std::string mtlPath = unstampedCompanion(outputPath, ".mtl");
        writeObj(mesh, toStandardOutput ? std::string() : lastName(mtlPath), bytes, mtl);
        if (toStandardOutput)
            result.notes.push_back("standard output gets no MTL file: the materials are only named");
        else if (!addCompanion(format, mtlPath, std::move(mtl), "MTL file", result, error))
            return false;
        break;
    }
    case ExportFormat::Gltf:
    case ExportFormat::Glb: {
        const bool binary = format == ExportFormat::Glb;
        const std::string binPath = unstampedCompanion(outputPath, ".bin");
        std::string bin;
        const std::string binName = binary || toStandardOutput ? std::string() : lastName(binPath);
        if (!writeGltf(mesh, binary, binName, bytes, bin, error)) return false;
        // A model without polygons has no buffer to put beside the output.
        if (!binName.empty() && !bin.empty() && !addCompanion(format, binPath, std::move(bin), "buffer", result, error))
            return false;
        break;
    }
    case ExportFormat::PlyAscii:
    case ExportFormat::PlyBinary:
        writePly(mesh, format == ExportFormat::PlyAscii, bytes);
        break;
    case ExportFormat::Stl:
        writeStl(mesh, bytes);
        break;
    case ExportFormat::Html:
        if (!writeModelPage(shape, bytes, error)) return false;
        break;
    }
    noteWhatIsLeftOut(mesh, format, result.notes);
    return true;
}

}  // namespace

bool exportFormatFor(const std::string& formatWord, const std::string& outputPath, bool ascii, ExportFormat& format)
{
    std::string word = lowered(formatWord);
    if (word.empty()) {
        const std::string base = lastName(outputPath);
        const std::size_t dot = base.rfind('.');
        if (dot == std::string::npos || dot == 0) return false;
        word = lowered(base.substr(dot + 1));
    }
    if (word == "obj")
        format = ExportFormat::Obj;
    else if (word == "gltf")
        format = ExportFormat::Gltf;
    else if (word == "glb")
        format = ExportFormat::Glb;
    else if (word == "ply")
        format = ascii ? ExportFormat::PlyAscii : ExportFormat::PlyBinary;
    else if (word == "stl")
        format = ExportFormat::Stl;
    else if (word == "html")
        format = ExportFormat::Html;
    else
        return false;
    return true;
}

bool exportShape(const Shape& shape, ExportFormat format, const std::string& outputPath, const ExportOptions& options,
                 ExportResult& result, std::string& error)
{
    result = ExportResult();
    bool done = false;
    try {
        done = writeFormatFiles(shape, format, outputPath, options, result, error);
    } catch (const std::bad_alloc&) {
        error = "out of memory";
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (!done) result.files.clear();
    return done;
}
