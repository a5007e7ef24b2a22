// Polygon geometry of the import: Newell's area vector, and whether a polygon has any area.
#include "formats/import/fit/fit_steps.h"

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
