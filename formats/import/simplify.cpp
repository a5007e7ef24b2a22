// Simplification of an imported mesh beyond the format's limits, with meshoptimizer, colour by colour, within a
// time budget.
#include <meshoptimizer.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "formats/import/work_mesh.h"
#include "sandbox/sandbox.h"

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

// The child's answer: for each colour its count of corners (4 bytes) and the corners (4 bytes each).
std::string encode(const ByColour& byColour)
{
    std::string bytes;
    for (const Triangles& triangles : byColour) {
        const uint32_t count = static_cast<uint32_t>(triangles.size());
        bytes.append(reinterpret_cast<const char*>(&count), 4);
        if (count > 0) bytes.append(reinterpret_cast<const char*>(triangles.data()), triangles.size() * 4);
    }
    return bytes;
}

// The answer read back, trusting nothing: no colour grows, corners name positions that exist.
bool decode(const std::string& bytes, const ByColour& input, std::size_t vertices, ByColour& result)
{
    result.assign(kColours, Triangles());
    std::size_t at = 0;
    for (int colour = 0; colour < kColours; ++colour) {
        uint32_t count = 0;
        if (bytes.size() - at < 4) return false;
        std::memcpy(&count, bytes.data() + at, 4);
        at += 4;
        if (count > input[colour].size() || count % 3 != 0 || (bytes.size() - at) / 4 < count) return false;
        result[colour].resize(count);
        if (count > 0) std::memcpy(result[colour].data(), bytes.data() + at, std::size_t(count) * 4);
        at += std::size_t(count) * 4;
        for (unsigned int corner : result[colour])
            if (corner >= vertices) return false;
    }
    return at == bytes.size();
}

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string secondsWords(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g s", seconds);
    return text;
}

std::string failureLine(const SandboxOutcome& outcome, const SimplifyBudget& budget)
{
    switch (outcome.end) {
    case SandboxEnd::timeLimit:
        return "simplifying took more than " + secondsWords(budget.seconds) + " (see --time-limit)";
    case SandboxEnd::outOfMemory:
        return "simplifying ran out of memory";
    case SandboxEnd::notStarted:
        return "could not simplify it safely: " + outcome.detail;
    default:
        return "the simplifier failed on this model (it crashed or gave no answer)";
    }
}

// The simplification in a child that is ended at the budget's deadline; false with the budget's
// failure set when it is.
bool simplifyInChild(const ByColour& byColour, const std::vector<std::size_t>& wanted,
                     const std::vector<float>& positions, bool sloppy, SimplifyBudget& budget, ByColour& result)
{
    if (budget.deadline == 0) budget.deadline = now() + budget.seconds;
    SandboxLimits limits;
    limits.memoryBytes = UINT64_MAX;  // the input's size bounds the simplifier's memory: time is what runs away
    limits.wallSeconds = budget.deadline - now();
    limits.cpuSeconds = static_cast<int>(std::min(1e6, std::max(1.0, std::ceil(limits.wallSeconds))));
    limits.maxAnswerBytes = 4 * kColours;
    for (const Triangles& triangles : byColour) limits.maxAnswerBytes += 4 * triangles.size();
    SandboxOutcome outcome;
    if (limits.wallSeconds <= 0) {
        outcome.end = SandboxEnd::timeLimit;
    } else {
        outcome = runSandboxed([&] { return encode(simplifyAll(byColour, wanted, positions, sloppy)); }, limits);
        if (outcome.end == SandboxEnd::answered && !decode(outcome.answer, byColour, positions.size() / 3, result))
            outcome.end = SandboxEnd::noAnswer;
    }
    if (outcome.end == SandboxEnd::answered) return true;
    budget.failure = failureLine(outcome, budget);
    return false;
}

}  // namespace

bool simplifyFaces(const WorkMesh& mesh, double keep, bool sloppy, SimplifyBudget* budget, WorkMesh& result)
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
    result = WorkMesh();
    result.positions = mesh.positions;
    for (const WorkMesh::Polygon& polygon : mesh.polygons) {
        const uint32_t* corner = mesh.indices.data() + polygon.first;
        if (polygon.count == 2) {
            result.add(corner, 2, polygon.colour);
            continue;
        }
        Triangles& triangles = byColour[polygon.colour];
        for (int k = 1; k + 1 < polygon.count; ++k)
            triangles.insert(triangles.end(), {corner[0], corner[k], corner[k + 1]});
    }
    // The targets count what the faces were, so that dropping repeats is part of the reduction.
    const std::vector<std::size_t> wanted = targets(byColour, keep);
    for (Triangles& triangles : byColour) dropRepeatsAndFlat(positions, triangles);

    ByColour simplified;
    if (!budget)
        simplified = simplifyAll(byColour, wanted, positions, sloppy);
    else if (!simplifyInChild(byColour, wanted, positions, sloppy, *budget, simplified))
        return false;
    for (int colour = 0; colour < kColours; ++colour)
        for (std::size_t t = 0; t + 2 < simplified[colour].size(); t += 3) result.add(&simplified[colour][t], 3, colour);
    return true;
}
