// The format writers behind exportShape, each from the shared MeshView into bytes in memory.
#pragma once

#include <string>

#include "formats/export/materials.h"
#include "formats/export/mesh_view.h"

// OBJ text, naming mtlName in mtllib unless it is empty; the MTL text goes to mtl.
void writeObj(const MeshView& mesh, const std::string& mtlName, std::string& obj, std::string& mtl);

// PLY, text or binary little-endian.
void writePly(const MeshView& mesh, bool ascii, std::string& out);

// Binary STL: faces as fans of triangles, each with its polygon's face normal. Segments are not written.
void writeStl(const MeshView& mesh, std::string& out);

// glTF 2.0 through tinygltf. binary: one .glb. Otherwise JSON, with the buffer in bin and named
// binName in the JSON, or embedded in the JSON when binName is empty. False after error says why.
bool writeGltf(const MeshView& mesh, bool binary, const std::string& binName, std::string& out, std::string& bin,
               std::string& error);
