// Shape::computeNormals: face normals, and vertex normals averaged per position in linear time.
#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "model/allocate.h"
#include "model/console.h"
#include "model/position_groups.h"
#include "model/shape.h"

namespace {

Vector3 position(const ShapeVertex& v)
{
    return Vector3(static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z));
}

void computeFaceNormals(const ShapeVertex* vertices, int32_t vertexCount, ShapePolygon* polygons, int32_t polygonCount)
{
    for (int32_t p = 0; p < polygonCount; ++p) {
        ShapePolygon& polygon = polygons[p];
        assert(polygon.count <= kMaxPolygonIndices);
        if (polygon.count < 3) continue;
        for (int k = 0; k < 3; ++k) assert(polygon.indices[k] >= 0 && polygon.indices[k] < vertexCount);
        (void)vertexCount;
        const Vector3 p0 = position(vertices[polygon.indices[0]]);
        const Vector3 p1 = position(vertices[polygon.indices[1]]);
        const Vector3 p2 = position(vertices[polygon.indices[2]]);
        polygon.faceNormal = cross(p0 - p1, p1 - p2);
        polygon.faceNormal.normalize();
    }
}

}  // namespace

bool Shape::computeNormals()
{
    const ShapeVertex* vertexTable = vertices.get();
    const int32_t usedVertices = vertexTable ? vertexCount : 0;
    const int32_t usedPolygons = vertexTable && polygons ? polygonCount : 0;
    computeFaceNormals(vertexTable, usedVertices, polygons.get(), usedPolygons);

    // Every table at once, so that a model too large for memory gets one line that names its size.
    const std::size_t n = static_cast<std::size_t>(usedVertices);
    GroupTables t;
    Array<Vector3> normals = tryAllocateArray<Vector3>(n);
    Array<Vector3> sums = tryAllocateArray<Vector3>(n);
    Array<int32_t> matches = tryAllocateArray<int32_t>(n);
    t.order = tryAllocateArray<int32_t>(n);
    t.groupOf = tryAllocateArray<int32_t>(n);
    if (usedVertices >= kRadixFrom) {
        t.scratch = tryAllocateArray<int32_t>(n);
        t.buckets = tryAllocateArray<int32_t>(kBuckets);
    }
    const bool radixTables = usedVertices < kRadixFrom || (t.scratch && t.buckets);
    if (!normals || !sums || !matches || !t.order || !t.groupOf || !radixTables) {
        char what[100];
        std::snprintf(what, sizeof what, "the normals of the model's %d vertices", static_cast<int>(usedVertices));
        reportOutOfMemory(what, static_cast<double>(n * (2 * sizeof(Vector3) + 4 * sizeof(int32_t)) +
                                                    kBuckets * sizeof(int32_t)));
        return false;
    }

    const int32_t groupCount = groupByPosition(vertexTable, usedVertices, t);
    std::fill(matches.get(), matches.get() + groupCount, 0);
    // Polygon by polygon and index by index, as a vertex-by-vertex search would meet them: float
    // addition is not associative, so this order is part of the result.
    for (int32_t p = 0; p < usedPolygons; ++p) {
        const ShapePolygon& polygon = polygons[p];
        for (int k = 0; k < polygon.count; ++k) {
            assert(polygon.indices[k] >= 0 && polygon.indices[k] < usedVertices);
            const int32_t g = t.groupOf[polygon.indices[k]];
            sums[g] = sums[g] + polygon.faceNormal;
            ++matches[g];
        }
    }
    for (int32_t g = 0; g < groupCount; ++g) {
        // A position that no polygon names keeps the zero vector rather than 0 * (1 / 0), a NaN.
        if (matches[g] == 0) continue;
        sums[g] = sums[g] * static_cast<float>(1.0 / matches[g]);
        sums[g].normalize();
    }
    for (int32_t i = 0; i < usedVertices; ++i) normals[i] = sums[t.groupOf[i]];
    vertexNormals = std::move(normals);
    return true;
}
