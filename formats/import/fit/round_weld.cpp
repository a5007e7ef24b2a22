// Rounding an imported model to whole units and welding the corners that rounding brings together.
#include <cmath>
#include <unordered_map>

#include "formats/import/fit/fit_steps.h"

namespace {

uint64_t key(const TextVertex& v)
{
    return static_cast<uint64_t>(v.x + 32768) << 34 | static_cast<uint64_t>(v.y + 32768) << 17 |
           static_cast<uint64_t>(v.z + 32768);
}

// Each position rounded once, the first time a polygon uses it, in the file's axes (y negated).
class RoundedPositions {
public:
    explicit RoundedPositions(const std::vector<SourcePoint>& positions)
        : positions_(positions), rounded_(positions.size()), done_(positions.size(), 0)
    {
    }

    const TextVertex& operator[](uint32_t i)
    {
        if (!done_[i]) {
            const SourcePoint& p = positions_[i];
            rounded_[i] = TextVertex{static_cast<int>(std::lround(p.x)), -static_cast<int>(std::lround(p.y)),
                                     static_cast<int>(std::lround(p.z))};
            done_[i] = 1;
        }
        return rounded_[i];
    }

private:
    const std::vector<SourcePoint>& positions_;
    std::vector<TextVertex> rounded_;
    std::vector<char> done_;
};

// The polygon's rounded corners, without a corner repeated at once (the last before the first too).
void roundedCorners(const WorkMesh& mesh, const WorkMesh::Polygon& polygon, RoundedPositions& rounded,
                    std::vector<TextVertex>& corners)
{
    corners.clear();
    for (int k = 0; k < polygon.count; ++k) {
        const TextVertex& v = rounded[mesh.indices[polygon.first + k]];
        if (corners.empty() || key(corners.back()) != key(v)) corners.push_back(v);
    }
    while (corners.size() > 1 && key(corners.front()) == key(corners.back())) corners.pop_back();
}

// Whether the rounded polygon is still what it was: a segment with two ends, a face with three
// corners or more, and area where it had some. A face without area in the source has none to lose;
// one that had area and lost it here is a sliver of rounding.
// exact and order are scratch space, kept by the caller from polygon to polygon.
bool survives(const WorkMesh::Polygon& polygon, const std::vector<TextVertex>& corners, std::vector<SourcePoint>& exact,
              std::vector<uint32_t>& order)
{
    if (polygon.count == 2) return corners.size() == 2;
    if (corners.size() < 3) return false;
    if (polygon.flat) return true;
    exact.clear();
    order.clear();
    for (const TextVertex& v : corners) {
        order.push_back(static_cast<uint32_t>(exact.size()));
        exact.push_back(SourcePoint{double(v.x), double(v.y), double(v.z)});
    }
    return hasArea(exact, order.data(), order.size());
}

}  // namespace

std::size_t roundAndWeld(const WorkMesh& mesh, std::vector<TextVertex>& vertices, std::vector<TextPolygon>& polygons)
{
    vertices.clear();
    polygons.clear();
    std::unordered_map<uint64_t, int> numbered;
    RoundedPositions rounded(mesh.positions);
    std::vector<TextVertex> corners;
    std::vector<SourcePoint> exact;
    std::vector<uint32_t> order;
    std::size_t dropped = 0;
    for (const WorkMesh::Polygon& polygon : mesh.polygons) {
        roundedCorners(mesh, polygon, rounded, corners);
        if (!survives(polygon, corners, exact, order)) {
            ++dropped;
            continue;
        }
        TextPolygon text{polygon.colour, {}};
        for (const TextVertex& v : corners) {
            const auto found = numbered.emplace(key(v), static_cast<int>(vertices.size()));
            if (found.second) vertices.push_back(v);
            text.indices.push_back(found.first->second);
        }
        polygons.push_back(std::move(text));
    }
    return dropped;
}
