// Import: a model read from another tool's file and fitted into what a ZEM model can hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/shape_write.h"

namespace Assimp {
class IOSystem;
}

// Vertex indices are 16-bit and never negative, so 32,768 vertices can be named; the polygon
// limit is that of the largest model the generator writes.
constexpr int kImportMaxVertices = 32768;
constexpr int kImportMaxPolygons = 65534;

// A fitted model's largest extent, in model units. The viewer starts 500 units away with a
// 45-degree vertical field, which shows 414 units of height there: a model of 300 units fills
// about three quarters of it and stays in view as it is turned.
constexpr double kFitExtent = 300.0;

struct ImportOptions {
    double scale = 0.0;  // model units per source unit; 0 fits the largest extent to kFitExtent
    bool center = true;  // move the bounding box's centre to the origin
    int colour = -1;     // one palette entry for every polygon; -1 matches each one's colour
    bool simplify = true;
    int maxVertices = kImportMaxVertices;
    int maxPolygons = kImportMaxPolygons;
};

struct SourceColour {
    float r = 1, g = 1, b = 1;  // 0 to 1, as the source tool shows them
};

struct SourcePoint {
    double x = 0, y = 0, z = 0;
};

// A model as its file holds it: positions in the source's units with every node transform applied,
// and polygons of 2 or more indices into them (2 is a line segment).
struct SourceModel {
    struct Polygon {
        std::size_t first = 0;  // into indices
        std::size_t count = 0;
        SourceColour colour;
    };
    std::string name;  // the scene's own name; empty when it has none
    std::vector<SourcePoint> positions;
    std::vector<uint32_t> indices;
    std::vector<Polygon> polygons;
    std::size_t pointsDropped = 0;  // one-index primitives, which the format cannot show

    void addPolygon(const uint32_t* polygonIndices, std::size_t count, SourceColour colour);
};

struct SceneColourOptions;  // texture_read.h

// Reads any file the importer library knows, opening every file through io (the confined file
// access, confined_io.h), and our own reader's PLY extras; each face with the colour that colours
// says it shows, its textures decoded here too. Runs on foreign bytes: call it in the sandboxed
// child. False with the library's own message in libraryMessage, which quotes files and names the
// library's internals: it is for classifying (read_failure.h), never for the user. A scene that
// the library gives up on part way is "no meshes". What it leaves out or could not use that the
// user should know of is a line in notes.
bool readSourceModel(const std::string& path, std::unique_ptr<Assimp::IOSystem> io, const SceneColourOptions& colours,
                     SourceModel& model, std::vector<std::string>& notes, std::string& libraryMessage);

struct ImportedModel {
    std::string name;
    std::vector<TextVertex> vertices;  // as written: y already negated
    std::vector<TextPolygon> polygons;
};

// A name that the loader reads back exactly: identifier characters only, no table keyword and no
// "_shape" in it, at most 203 bytes; fallback (sanitised the same way) when name leaves nothing.
std::string modelName(const std::string& name, const std::string& fallback);
