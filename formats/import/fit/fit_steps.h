// The steps of fitting an imported model, each a function of its own that the tests call directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/import/fit/work_mesh.h"
#include "formats/import/fit/fit.h"
#include "formats/import/import.h"

// Newell's normal: the polygon's area vector, zero exactly when it has no area.
SourcePoint newellNormal(const std::vector<SourcePoint>& positions, const uint32_t* corner, std::size_t n);
bool hasArea(const std::vector<SourcePoint>& positions, const uint32_t* corner, std::size_t n);

// corners as triangles appended to triangles: ear clipping in the plane the polygon faces, a fan
// where no ear is left (a polygon that crosses itself) or where the corners are too many (over 256).
void triangulate(const std::vector<SourcePoint>& positions, const std::vector<uint32_t>& corners,
                 std::vector<uint32_t>& triangles);

// What cleaning the source left out or split.
struct CleanCounts {
    std::size_t faces = 0;               // fewer than 3 different corners
    std::size_t lines = 0;               // no length
    std::size_t largeFaces = 0;          // faces of more than 5 corners, triangulated
    std::size_t largeFaceTriangles = 0;  // the triangles they became
};

// The source's polygons on positions welded where they are equal, with palette entries (colour, or
// the nearest to each polygon's own when colour is -1); large faces triangulated, faces without area
// marked flat, and faces of fewer than 3 different corners and lines of no length dropped and counted.
void cleanSource(const SourceModel& source, int colour, WorkMesh& work, CleanCounts& counts);

// Whole units in the file's own axes (y negated), welded where they coincide, numbered in the
// order the polygons first use them. Polygons that rounding leaves without area or length are
// dropped, but for flat faces, which keep their place unless rounding brings their corners down
// to fewer than 3; returns how many. The positions must already be within the coordinate range.
std::size_t roundAndWeld(const WorkMesh& mesh, std::vector<TextVertex>& vertices, std::vector<TextPolygon>& polygons);

// How many of mesh's positions its polygons use.
std::size_t usedVertexCount(const WorkMesh& mesh);

bool withinLimits(const ImportedModel& model, const ImportOptions& options);

// Simplifies work until its rounded form is within the limits, into result; false when even the
// roughest simplification leaves too much. droppedByRounding counts what the last rounding dropped.
bool simplifyIntoLimits(const WorkMesh& work, const ImportOptions& options, ImportedModel& result,
                        std::size_t& droppedByRounding);
