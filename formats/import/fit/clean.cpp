// Cleaning an imported model's polygons: corners welded where positions are equal, palette
// entries chosen, large faces triangulated, and polygons that welding collapses dropped.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "formats/import/fit/fit_steps.h"

namespace {

// A corner repeated at once (the last one before the first too) adds nothing to a polygon.
void dropRepeats(std::vector<uint32_t>& corners)
{
    corners.erase(std::unique(corners.begin(), corners.end()), corners.end());
    while (corners.size() > 1 && corners.front() == corners.back()) corners.pop_back();
}

struct PointHash {
    std::size_t operator()(const SourcePoint& p) const
    {
        uint64_t bits[3];
        std::memcpy(&bits[0], &p.x, 8);
        std::memcpy(&bits[1], &p.y, 8);
        std::memcpy(&bits[2], &p.z, 8);
        return std::hash<uint64_t>()(bits[0] * 0x9E3779B97F4A7C15ull ^ bits[1] * 0xC2B2AE3D27D4EB4Full ^ bits[2]);
    }
};
struct PointEqual {
    bool operator()(const SourcePoint& a, const SourcePoint& b) const { return a.x == b.x && a.y == b.y && a.z == b.z; }
};

// A face of more than 5 corners as triangles. Splitting a face with area leaves out the triangles
// without any (corners in a line along its outline); a face without area keeps every triangle of
// three different corners, as the source had the face.
void addLargeFace(const std::vector<uint32_t>& corners, int colour, WorkMesh& work, CleanCounts& counts,
                  std::vector<uint32_t>& triangles)
{
    const bool flat = !hasArea(work.positions, corners.data(), corners.size());
    ++counts.largeFaces;
    triangles.clear();
    triangulate(work.positions, corners, triangles);
    for (std::size_t t = 0; t < triangles.size(); t += 3) {
        const uint32_t* c = &triangles[t];
        if (flat ? c[0] == c[1] || c[1] == c[2] || c[2] == c[0] : !hasArea(work.positions, c, 3)) continue;
        work.add(c, 3, colour, flat);
        ++counts.largeFaceTriangles;
    }
}

}  // namespace

// Welding joins only equal positions: a face it leaves with fewer than 3 different corners, or a
// line with one, is dropped. A face of 3 or more different corners without area is the source's
// own, and the viewer takes it as it is (drawing nothing): it is kept, marked as such.
void cleanSource(const SourceModel& source, int colourOption, WorkMesh& work, CleanCounts& counts)
{
    std::unordered_map<SourcePoint, uint32_t, PointHash, PointEqual> welded;
    std::vector<uint32_t> weldedIndex(source.positions.size(), UINT32_MAX);
    const auto weld = [&](uint32_t i) {
        if (weldedIndex[i] == UINT32_MAX) {
            // -0 and +0 are one position.
            const SourcePoint p{source.positions[i].x + 0.0, source.positions[i].y + 0.0, source.positions[i].z + 0.0};
            const auto found = welded.emplace(p, static_cast<uint32_t>(work.positions.size()));
            if (found.second) work.positions.push_back(p);
            weldedIndex[i] = found.first->second;
        }
        return weldedIndex[i];
    };

    std::vector<uint32_t> corners;
    std::vector<uint32_t> triangles;
    for (const SourceModel::Polygon& polygon : source.polygons) {
        corners.clear();
        for (std::size_t k = 0; k < polygon.count; ++k) corners.push_back(weld(source.indices[polygon.first + k]));
        dropRepeats(corners);
        const int colour = colourOption >= 0 ? colourOption : nearestPaletteEntry(polygon.colour);
        if (polygon.count == 2) {
            if (corners.size() == 2)
                work.add(corners.data(), 2, colour);
            else
                ++counts.lines;
        } else if (corners.size() < 3) {
            ++counts.faces;
        } else if (corners.size() <= 5) {
            work.add(corners.data(), corners.size(), colour, !hasArea(work.positions, corners.data(), corners.size()));
        } else {
            addLargeFace(corners, colour, work, counts, triangles);
        }
    }
}
