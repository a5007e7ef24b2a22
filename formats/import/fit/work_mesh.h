// The import's working mesh: welded positions and palette-coloured polygons, shared by the fitting
// and the simplifier.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/import/import.h"

struct WorkMesh {
    struct Polygon {
        uint32_t first;  // into indices
        uint8_t count;   // 2 for a line segment, 3 to 5 for a face
        uint8_t colour;  // palette entry
        bool flat;       // a face that had no area in the source, kept as the source had it
    };
    std::vector<SourcePoint> positions;
    std::vector<uint32_t> indices;
    std::vector<Polygon> polygons;

    void add(const uint32_t* polygonIndices, std::size_t count, int colour, bool flat = false)
    {
        polygons.push_back(Polygon{static_cast<uint32_t>(indices.size()), static_cast<uint8_t>(count),
                                   static_cast<uint8_t>(colour), flat});
        indices.insert(indices.end(), polygonIndices, polygonIndices + count);
    }
};

// The faces of mesh brought down to about keep times their triangles, colour by colour (so that
// every triangle keeps its face's colour, and a colour keeps at least one), as triangles; its line
// segments and the faces that had no area in the source as they are, since they are no part of the
// surface. Repeated triangles and those that welding left without area go first: they add nothing
// to the picture, and many faces on the same corners make the simplifier's time grow with the
// square of their number. sloppy gives up the surface's topology to reach the target where the
// careful way stops short.
WorkMesh simplifyFaces(const WorkMesh& mesh, double keep, bool sloppy);
