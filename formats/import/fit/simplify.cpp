// Simplification of an imported mesh beyond the format's limits, with meshoptimizer, colour by colour.
#include <meshoptimizer.h>

#include <algorithm>
#include <unordered_set>

#include "formats/import/fit/work_mesh.h"

namespace {

constexpr int kColours = 256;

using Triangles = std::vector<unsigned int>;  // three corners each
using ByColour = std::vector<Triangles>;      // kColours lists

struct Triangle {
    unsigned int a, b, c;
    bool operator==(const Triangle& other) const { return a == other.a && b == other.b && c == other.c; }
};

struct TriangleHash {
    std::size_t operator()(const Triangle& t) const
    {
        return std::hash<uint64_t>()((uint64_t(t.a) * 0x9E3779B97F4A7C15ull) ^ (uint64_t(t.b) << 32 | t.c));
    }
};

// The same face whichever corner it starts from; turned the other way it is the other side, and kept.
Triangle canonical(const unsigned int* t)
{
    const int first = t[0] <= t[1] && t[0] <= t[2] ? 0 : t[1] <= t[2] ? 1 : 2;
    return Triangle{t[first], t[(first + 1) % 3], t[(first + 2) % 3]};
}

bool flat(const std::vector<float>& positions, const unsigned int* t)
{
    const float* a = &positions[3 * std::size_t(t[0])];
    const float* b = &positions[3 * std::size_t(t[1])];
    const float* c = &positions[3 * std::size_t(t[2])];
    const float u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const float v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    return u[1] * v[2] - u[2] * v[1] == 0 && u[2] * v[0] - u[0] * v[2] == 0 && u[0] * v[1] - u[1] * v[0] == 0;
}

// Repeated triangles and those without area (as the simplifier sees them, in float) dropped: many
// faces on the same corners make the simplifier's cost grow with the square of their number, and
// add nothing to what is drawn.
void dropRepeatsAndFlat(const std::vector<float>& positions, Triangles& triangles)
{
    std::unordered_set<Triangle, TriangleHash> seen;
    seen.reserve(triangles.size() / 3);
    std::size_t kept = 0;
    for (std::size_t t = 0; t < triangles.size(); t += 3) {
        const unsigned int* corner = &triangles[t];
        if (flat(positions, corner) || !seen.insert(canonical(corner)).second) continue;
        std::copy(corner, corner + 3, &triangles[kept]);
        kept += 3;
    }
    triangles.resize(kept);
}

// The wanted triangles of each colour, as many as keep of what it had, and never none of a colour
// that had some.
std::vector<std::size_t> targets(const ByColour& byColour, double keep)
{
    std::vector<std::size_t> wanted(kColours, 0);
    for (int colour = 0; colour < kColours; ++colour)
        if (!byColour[colour].empty())
            wanted[colour] = std::max<std::size_t>(1, std::size_t(double(byColour[colour].size() / 3) * keep)) * 3;
    return wanted;
}

Triangles simplifyList(const Triangles& triangles, std::size_t target, const std::vector<float>& positions, bool sloppy)
{
    if (triangles.size() <= target) return triangles;
    Triangles simplified(triangles.size());
    const std::size_t vertices = positions.size() / 3;
    // An error bound of 1 (the whole mesh's extent) leaves the triangle count as the only goal.
    const std::size_t kept =
        sloppy ? meshopt_simplifySloppy(simplified.data(), triangles.data(), triangles.size(), positions.data(),
                                        vertices, sizeof(float) * 3, target, 1.0f, nullptr)
               : meshopt_simplify(simplified.data(), triangles.data(), triangles.size(), positions.data(), vertices,
                                  sizeof(float) * 3, target, 1.0f, 0, nullptr);
    simplified.resize(kept - kept % 3);
    // A collapse takes two faces at once: the simplifier may pass a target of one. The colour stays.
    if (simplified.empty()) simplified.assign(triangles.begin(), triangles.begin() + 3);
    return simplified;
}

ByColour simplifyAll(const ByColour& byColour, const std::vector<std::size_t>& wanted,
                     const std::vector<float>& positions, bool sloppy)
{
    ByColour result(kColours);
    for (int colour = 0; colour < kColours; ++colour)
        if (!byColour[colour].empty())
            result[colour] = simplifyList(byColour[colour], wanted[colour], positions, sloppy);
    return result;
}

}  // namespace

WorkMesh simplifyFaces(const WorkMesh& mesh, double keep, bool sloppy)
{
    std::vector<float> positions;
    positions.reserve(mesh.positions.size() * 3);
    for (const SourcePoint& p : mesh.positions) {
        positions.push_back(static_cast<float>(p.x));
        positions.push_back(static_cast<float>(p.y));
        positions.push_back(static_cast<float>(p.z));
    }

    // Faces as the triangles of their fans, one list per colour; segments as they are.
    ByColour byColour(kColours);
    WorkMesh result;
    result.positions = mesh.positions;
    for (const WorkMesh::Polygon& polygon : mesh.polygons) {
        const uint32_t* corner = mesh.indices.data() + polygon.first;
        if (polygon.count == 2 || polygon.flat) {
            result.add(corner, polygon.count, polygon.colour, polygon.flat);
            continue;
        }
        Triangles& triangles = byColour[polygon.colour];
        for (int k = 1; k + 1 < polygon.count; ++k)
            triangles.insert(triangles.end(), {corner[0], corner[k], corner[k + 1]});
    }
    // The targets count what the faces were, so that dropping repeats is part of the reduction.
    const std::vector<std::size_t> wanted = targets(byColour, keep);
    for (Triangles& triangles : byColour) dropRepeatsAndFlat(positions, triangles);

    const ByColour simplified = simplifyAll(byColour, wanted, positions, sloppy);
    for (int colour = 0; colour < kColours; ++colour)
        for (std::size_t t = 0; t + 2 < simplified[colour].size(); t += 3)
            result.add(&simplified[colour][t], 3, colour);
    return result;
}
