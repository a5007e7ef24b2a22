// PLY extras: what the importer library leaves out of a PLY file, read by our own reader.
#pragma once

#include <string>
#include <vector>

#include "formats/import/import.h"

// What the importer library leaves out of a PLY file: the face colours (red,
// green and blue properties of the face element), in file order, and the edge element's segments
// (vertex1 and vertex2, with colours where given). An edge that names a vertex the file does not
// have is left out and counted. False, with what was read so far, when the file is not PLY or ends
// early.
struct PlyExtras {
    std::vector<SourceColour> faceColours;  // one per face, or none
    std::vector<SourcePoint> edgeEnds;      // two per edge
    std::vector<SourceColour> edgeColours;  // one per edge
    std::size_t edgesDropped = 0;           // edges naming a vertex that is not there
};
bool readPlyExtras(const std::string& path, PlyExtras& extras);

namespace Assimp {
class IOSystem;
}
// The same, with the file opened through io, as the reader opens it.
bool readPlyExtras(Assimp::IOSystem& io, const std::string& path, PlyExtras& extras);
