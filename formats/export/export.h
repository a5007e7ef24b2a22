// Export: a loaded Shape turned into the bytes of another format's files, with no file written here.
#pragma once

#include <string>
#include <vector>

struct Shape;

enum class ExportFormat { Obj, Gltf, Glb, PlyAscii, PlyBinary, Stl, Html };

// The format a --format word names (obj, gltf, glb, ply, stl, html), or else the output's extension,
// compared without regard to case. PLY is binary little-endian unless ascii is set. False when
// the word or extension names no export format.
bool exportFormatFor(const std::string& formatWord, const std::string& outputPath, bool ascii, ExportFormat& format);

struct ExportOptions {
    bool flat = false;  // face normals, each face with vertices of its own
};

struct ExportedFile {
    std::string path;   // the output itself, or a companion file beside it
    std::string bytes;  // its whole content
};

struct ExportResult {
    // The output first, then its companion if it has one (the OBJ's MTL, the glTF's binary buffer).
    std::vector<ExportedFile> files;
    std::vector<std::string> notes;  // what the format could not carry, one line each
};

// The model as the format holds it. A companion lies beside outputPath, named after it with a hash
// of the companion's content before its extension ("model.0123456789abcdef.mtl" for "model.obj"),
// so that an output never names a companion that another run changed. "-" (standard output) gets
// a self-contained file where the format allows one. False with error saying why, and no files.
// Never throws.
bool exportShape(const Shape& shape, ExportFormat format, const std::string& outputPath, const ExportOptions& options,
                 ExportResult& result, std::string& error);
