// Triangulation of faces of more than five corners, by ear clipping in the plane they face.
#include <cmath>

#include "formats/import/fit/fit_steps.h"

// A polygon that crosses itself has no ear at some step, and the rest becomes a fan; so does one
// with more corners than the quadratic search is worth, which only a damaged or machine-made file holds.
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
