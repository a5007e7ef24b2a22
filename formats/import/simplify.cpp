// Simplification of an imported mesh beyond the format's limits, with meshoptimizer, colour by colour.
#include <meshoptimizer.h>

#include <algorithm>

#include "formats/import/work_mesh.h"

WorkMesh simplifyFaces(const WorkMesh& mesh, double keep, bool sloppy)
{
    std::vector<float> positions;
    positions.reserve(mesh.positions.size() * 3);
    for (const SourcePoint& p : mesh.positions) {
        positions.push_back(static_cast<float>(p.x));
        positions.push_back(static_cast<float>(p.y));
        positions.push_back(static_cast<float>(p.z));
    }

    // Faces as the triangles of their fans, one list per colour.
    std::vector<std::vector<unsigned int>> byColour(256);
    WorkMesh result;
    result.positions = mesh.positions;
    for (const WorkMesh::Polygon& polygon : mesh.polygons) {
        const uint32_t* corner = mesh.indices.data() + polygon.first;
        if (polygon.count == 2 || polygon.flat) {
            result.add(corner, polygon.count, polygon.colour, polygon.flat);
            continue;
        }
        std::vector<unsigned int>& triangles = byColour[polygon.colour];
        for (int k = 1; k + 1 < polygon.count; ++k)
            triangles.insert(triangles.end(), {corner[0], corner[k], corner[k + 1]});
    }

    std::vector<unsigned int> simplified;
    for (int colour = 0; colour < 256; ++colour) {
        const std::vector<unsigned int>& triangles = byColour[colour];
        if (triangles.empty()) continue;
        const std::size_t target = static_cast<std::size_t>(static_cast<double>(triangles.size() / 3) * keep) * 3;
        simplified.resize(triangles.size());
        // An error bound of 1 (the whole mesh's extent) leaves the triangle count as the only goal.
        const std::size_t kept =
            sloppy ? meshopt_simplifySloppy(simplified.data(), triangles.data(), triangles.size(), positions.data(),
                                            mesh.positions.size(), sizeof(float) * 3, target, 1.0f, nullptr)
                   : meshopt_simplify(simplified.data(), triangles.data(), triangles.size(), positions.data(),
                                      mesh.positions.size(), sizeof(float) * 3, target, 1.0f, 0, nullptr);
        for (std::size_t t = 0; t + 2 < kept; t += 3) result.add(&simplified[t], 3, colour);
    }
    return result;
}
