// Fitting an imported model into a ZEM model: clean polygons, palette colours, scale and centre,
// whole-unit positions welded where they meet, and simplification beyond the format's limits.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "formats/import.h"
#include "formats/import_mesh.h"

namespace {

// Newell's normal: the polygon's area vector, zero exactly when it has no area.
SourcePoint newellNormal(const std::vector<SourcePoint>& positions, const uint32_t* corner, std::size_t n)
{
    SourcePoint normal;
    for (std::size_t k = 0; k < n; ++k) {
        const SourcePoint& a = positions[corner[k]];
        const SourcePoint& b = positions[corner[(k + 1) % n]];
        normal.x += (a.y - b.y) * (a.z + b.z);
        normal.y += (a.z - b.z) * (a.x + b.x);
        normal.z += (a.x - b.x) * (a.y + b.y);
    }
    return normal;
}

bool hasArea(const std::vector<SourcePoint>& positions, const uint32_t* corner, std::size_t n)
{
    const SourcePoint normal = newellNormal(positions, corner, n);
    return normal.x != 0 || normal.y != 0 || normal.z != 0;
}

// A corner repeated at once (the last one before the first too) adds nothing to a polygon.
void dropRepeats(std::vector<uint32_t>& corners)
{
    corners.erase(std::unique(corners.begin(), corners.end()), corners.end());
    while (corners.size() > 1 && corners.front() == corners.back()) corners.pop_back();
}

// Ear clipping in the plane the polygon faces. A polygon that crosses itself has no ear at some
// step, and the rest becomes a fan; so does one with more corners than the quadratic search is
// worth, which only a damaged or machine-made file holds.
void triangulate(const std::vector<SourcePoint>& positions, const std::vector<uint32_t>& corners,
                 std::vector<uint32_t>& triangles)
{
    const std::size_t n = corners.size();
    std::vector<std::size_t> remaining(n);
    for (std::size_t k = 0; k < n; ++k) remaining[k] = k;
    if (n <= 256) {
        const SourcePoint normal = newellNormal(positions, corners.data(), n);
        const double ax = std::fabs(normal.x), ay = std::fabs(normal.y), az = std::fabs(normal.z);
        // Plane coordinates (u, v) that keep the winding seen from the normal's side.
        const auto u = [&](std::size_t k) {
            const SourcePoint& p = positions[corners[k]];
            return ax >= ay && ax >= az ? p.y : (ay >= az ? p.z : p.x);
        };
        const auto v = [&](std::size_t k) {
            const SourcePoint& p = positions[corners[k]];
            return ax >= ay && ax >= az ? p.z : (ay >= az ? p.x : p.y);
        };
        const double sign = (ax >= ay && ax >= az ? normal.x : (ay >= az ? normal.y : normal.z)) > 0 ? 1 : -1;
        const auto turn = [&](std::size_t a, std::size_t b, std::size_t c) {
            return sign * ((u(b) - u(a)) * (v(c) - v(a)) - (v(b) - v(a)) * (u(c) - u(a)));
        };
        while (remaining.size() > 3) {
            const std::size_t m = remaining.size();
            bool clipped = false;
            for (std::size_t i = 0; i < m && !clipped; ++i) {
                const std::size_t a = remaining[(i + m - 1) % m], b = remaining[i], c = remaining[(i + 1) % m];
                if (turn(a, b, c) <= 0) continue;
                bool empty = true;
                for (std::size_t j = 0; j < m && empty; ++j) {
                    const std::size_t p = remaining[j];
                    if (p == a || p == b || p == c) continue;
                    empty = !(turn(a, b, p) >= 0 && turn(b, c, p) >= 0 && turn(c, a, p) >= 0);
                }
                if (!empty) continue;
                triangles.insert(triangles.end(), {corners[a], corners[b], corners[c]});
                remaining.erase(remaining.begin() + static_cast<std::ptrdiff_t>(i));
                clipped = true;
            }
            if (!clipped) break;
        }
    }
    for (std::size_t k = 1; k + 1 < remaining.size(); ++k)
        triangles.insert(triangles.end(), {corners[remaining[0]], corners[remaining[k]], corners[remaining[k + 1]]});
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

struct Dropped {
    std::size_t faces = 0;  // no area, or fewer than 3 different corners
    std::size_t lines = 0;  // no length
};

// The source's polygons on positions welded where they are equal, with palette entries; large
// faces triangulated, and what has no area or length dropped.
void cleanSource(const SourceModel& source, const ImportOptions& options, WorkMesh& work, Dropped& dropped,
                 std::size_t& largeFaces, std::size_t& largeFaceTriangles)
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
        const int colour = options.colour >= 0 ? options.colour : nearestPaletteEntry(polygon.colour);
        if (polygon.count == 2) {
            if (corners.size() == 2)
                work.add(corners.data(), 2, colour);
            else
                ++dropped.lines;
        } else if (corners.size() < 3 || !hasArea(work.positions, corners.data(), corners.size())) {
            ++dropped.faces;
        } else if (corners.size() <= 5) {
            work.add(corners.data(), corners.size(), colour);
        } else {
            ++largeFaces;
            triangles.clear();
            triangulate(work.positions, corners, triangles);
            for (std::size_t t = 0; t < triangles.size(); t += 3) {
                if (!hasArea(work.positions, &triangles[t], 3)) continue;
                work.add(&triangles[t], 3, colour);
                ++largeFaceTriangles;
            }
        }
    }
}

struct Box {
    SourcePoint low{INFINITY, INFINITY, INFINITY};
    SourcePoint high{-INFINITY, -INFINITY, -INFINITY};
};

Box usedBox(const WorkMesh& mesh)
{
    Box box;
    for (const uint32_t i : mesh.indices) {
        const SourcePoint& p = mesh.positions[i];
        box.low = SourcePoint{std::min(box.low.x, p.x), std::min(box.low.y, p.y), std::min(box.low.z, p.z)};
        box.high = SourcePoint{std::max(box.high.x, p.x), std::max(box.high.y, p.y), std::max(box.high.z, p.z)};
    }
    return box;
}

// Whole units in the file's own axes (y negated), welded where they coincide, numbered in the
// order the polygons first use them. Polygons that rounding leaves without area or length are
// dropped and counted. The positions must already be within the coordinate range.
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
        if (polygon.count > 2 && keep) {
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

std::size_t usedVertexCount(const WorkMesh& mesh)
{
    std::vector<char> used(mesh.positions.size(), 0);
    std::size_t count = 0;
    for (const uint32_t i : mesh.indices) count += used[i] ? 0 : (used[i] = 1);
    return count;
}

bool withinLimits(const ImportedModel& model, const ImportOptions& options)
{
    return model.vertices.size() <= static_cast<std::size_t>(options.maxVertices) &&
           model.polygons.size() <= static_cast<std::size_t>(options.maxPolygons);
}

std::string counted(std::size_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Simplifies work until its rounded form is within the limits; false when even the roughest
// simplification leaves too much.
bool simplifyIntoLimits(const WorkMesh& work, const ImportOptions& options, ImportedModel& result,
                        std::size_t& droppedByRounding)
{
    double keep = 0.95 * std::min({1.0, double(options.maxPolygons) / double(result.polygons.size()),
                                   double(options.maxVertices) / double(result.vertices.size())});
    for (int attempt = 0; attempt < 12; ++attempt) {
        const WorkMesh simplified = simplifyFaces(work, keep, attempt >= 6);
        droppedByRounding = roundAndWeld(simplified, result.vertices, result.polygons);
        if (withinLimits(result, options)) return true;
        keep *= 0.9 * std::min({1.0, double(options.maxPolygons) / double(result.polygons.size()),
                                double(options.maxVertices) / double(result.vertices.size())});
    }
    return false;
}

}  // namespace

bool fitModel(const SourceModel& source, const ImportOptions& options, ImportedModel& result,
              std::vector<std::string>& notes, std::string& error)
{
    for (const SourcePoint& p : source.positions) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            error = "a vertex position is not a finite number";
            return false;
        }
    }
    if (!(options.scale >= 0) || !std::isfinite(options.scale)) {
        error = "the scale must be a positive number";
        return false;
    }
    if (options.colour < -1 || options.colour > 255) {
        error = "a colour index runs from 0 to 255";
        return false;
    }
    if (source.indices.size() >= UINT32_MAX || source.positions.size() >= UINT32_MAX) {
        error = "more vertices than can be counted";
        return false;
    }

    WorkMesh work;
    Dropped dropped;
    std::size_t largeFaces = 0;
    std::size_t largeFaceTriangles = 0;
    cleanSource(source, options, work, dropped, largeFaces, largeFaceTriangles);
    if (source.pointsDropped > 0)
        notes.push_back(counted(source.pointsDropped, "point", "points") + " dropped: the format has no points");
    if (dropped.faces > 0) notes.push_back(counted(dropped.faces, "degenerate face", "degenerate faces") + " dropped");
    if (dropped.lines > 0) notes.push_back(counted(dropped.lines, "line", "lines") + " of no length dropped");
    if (largeFaces > 0)
        notes.push_back(counted(largeFaces, "face", "faces") + " of more than 5 corners triangulated into " +
                        counted(largeFaceTriangles, "triangle", "triangles"));
    if (work.polygons.empty()) {
        error = "no faces or lines to convert";
        return false;
    }

    const Box box = usedBox(work);
    const double extent = std::max({box.high.x - box.low.x, box.high.y - box.low.y, box.high.z - box.low.z});
    const double scale = options.scale > 0 ? options.scale : kFitExtent / extent;
    const SourcePoint centre = options.center ? SourcePoint{(box.low.x + box.high.x) / 2, (box.low.y + box.high.y) / 2,
                                                            (box.low.z + box.high.z) / 2}
                                              : SourcePoint{};
    for (SourcePoint& p : work.positions)
        p = SourcePoint{(p.x - centre.x) * scale, (p.y - centre.y) * scale, (p.z - centre.z) * scale};
    // y is written negated, and -32768 would read back as itself: it stays within +-32767.
    const auto fits = [](double low, double high, double least) {
        return std::round(low) >= least && std::round(high) <= 32767;
    };
    const Box scaled{
        {(box.low.x - centre.x) * scale, (box.low.y - centre.y) * scale, (box.low.z - centre.z) * scale},
        {(box.high.x - centre.x) * scale, (box.high.y - centre.y) * scale, (box.high.z - centre.z) * scale}};
    if (!fits(scaled.low.x, scaled.high.x, -32768) || !fits(scaled.low.y, scaled.high.y, -32767) ||
        !fits(scaled.low.z, scaled.high.z, -32768)) {
        error = "the model does not fit the coordinate range of -32767 to 32767 at this scale and position";
        return false;
    }

    std::size_t droppedByRounding = roundAndWeld(work, result.vertices, result.polygons);
    if (!withinLimits(result, options)) {
        // The counts the user knows: the source's, before rounding welded or dropped anything.
        const std::string before = counted(usedVertexCount(work), "vertex", "vertices") + " and " +
                                   counted(work.polygons.size(), "polygon", "polygons");
        const std::string limits =
            std::to_string(options.maxVertices) + " vertices and " + std::to_string(options.maxPolygons) + " polygons";
        if (!options.simplify) {
            error = before + " are more than the format's " + limits + " (not simplified: --no-simplify)";
            return false;
        }
        if (!simplifyIntoLimits(work, options, result, droppedByRounding)) {
            error = before + " could not be simplified to the format's " + limits;
            return false;
        }
        notes.push_back("simplified from " + before + " to " + counted(result.vertices.size(), "vertex", "vertices") +
                        " and " + counted(result.polygons.size(), "polygon", "polygons") + ", within the format's " +
                        limits);
    }
    if (droppedByRounding > 0)
        notes.push_back(counted(droppedByRounding, "polygon", "polygons") +
                        " dropped that rounding to whole units left without area or length");
    if (result.polygons.empty()) {
        error = "nothing is left of the model once rounded to whole units";
        return false;
    }
    return true;
}
