// Rounding an imported model to whole units and welding the corners that rounding brings together.
#include <cmath>
#include <unordered_map>

#include "formats/import/fit_steps.h"

std::size_t roundAndWeld(const WorkMesh& mesh, std::vector<TextVertex>& vertices, std::vector<TextPolygon>& polygons)
{
    vertices.clear();
    polygons.clear();
    std::unordered_map<uint64_t, int> numbered;
    const auto key = [](const TextVertex& v) {
        return static_cast<uint64_t>(v.x + 32768) << 34 | static_cast<uint64_t>(v.y + 32768) << 17 |
               static_cast<uint64_t>(v.z + 32768);
    };
    std::vector<TextVertex> rounded(mesh.positions.size());
    std::vector<char> done(mesh.positions.size(), 0);
    std::vector<TextVertex> corners;
    std::vector<SourcePoint> exact;
    std::vector<uint32_t> order;
    std::size_t dropped = 0;
    for (const WorkMesh::Polygon& polygon : mesh.polygons) {
        corners.clear();
        for (int k = 0; k < polygon.count; ++k) {
            const uint32_t i = mesh.indices[polygon.first + k];
            if (!done[i]) {
                const SourcePoint& p = mesh.positions[i];
                rounded[i] = TextVertex{static_cast<int>(std::lround(p.x)), -static_cast<int>(std::lround(p.y)),
                                        static_cast<int>(std::lround(p.z))};
                done[i] = 1;
            }
            const TextVertex& v = rounded[i];
            if (corners.empty() || key(corners.back()) != key(v)) corners.push_back(v);
        }
        while (corners.size() > 1 && key(corners.front()) == key(corners.back())) corners.pop_back();
        bool keep = polygon.count == 2 ? corners.size() == 2 : corners.size() >= 3;
        // A face without area in the source has none to lose; one that had area and lost it here
        // is a sliver of rounding.
        if (polygon.count > 2 && keep && !polygon.flat) {
            exact.clear();
            order.clear();
            for (const TextVertex& v : corners) {
                order.push_back(static_cast<uint32_t>(exact.size()));
                exact.push_back(SourcePoint{double(v.x), double(v.y), double(v.z)});
            }
            keep = hasArea(exact, order.data(), order.size());
        }
        if (!keep) {
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
