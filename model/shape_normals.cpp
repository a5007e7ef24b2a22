// Shape::computeNormals: face normals, and vertex normals averaged per position in linear time.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "model/allocate.h"
#include "model/shape.h"

namespace {

Vector3 position(const ShapeVertex& v)
{
    return Vector3(static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z));
}

uint64_t positionKey(const ShapeVertex& v)
{
    return static_cast<uint64_t>(static_cast<uint16_t>(v.x)) | static_cast<uint64_t>(static_cast<uint16_t>(v.y)) << 16 |
           static_cast<uint64_t>(static_cast<uint16_t>(v.z)) << 32;
}

// Numbers every vertex by its position: vertices at equal coordinates share one group, since a
// vertex normal gathers the faces of every polygon corner that stands where the vertex stands.
struct PositionGroups {
    Array<int32_t> groupOf;  // per vertex
    int32_t groupCount = 0;

    bool build(const ShapeVertex* vertices, int32_t vertexCount)
    {
        std::size_t slots = 16;
        while (slots < 2 * static_cast<std::size_t>(vertexCount)) slots *= 2;
        // A slot holds the key plus one, so that zero marks it free.
        Array<uint64_t> keys = allocateArray<uint64_t>(slots, "vertex normals");
        Array<int32_t> groups = allocateArray<int32_t>(slots, "vertex normals");
        groupOf = allocateArray<int32_t>(static_cast<std::size_t>(vertexCount), "vertex normals");
        if (!keys || !groups || !groupOf) return false;
        std::fill(keys.get(), keys.get() + slots, 0);
        for (int32_t i = 0; i < vertexCount; ++i) {
            const uint64_t key = positionKey(vertices[i]) + 1;
            std::size_t slot = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 20) & (slots - 1);
            while (keys[slot] != 0 && keys[slot] != key) slot = (slot + 1) & (slots - 1);
            if (keys[slot] == 0) {
                keys[slot] = key;
                groups[slot] = groupCount++;
            }
            groupOf[i] = groups[slot];
        }
        return true;
    }
};

void computeFaceNormals(const ShapeVertex* vertices, ShapePolygon* polygons, int32_t polygonCount)
{
    for (int32_t p = 0; p < polygonCount; ++p) {
        ShapePolygon& polygon = polygons[p];
        if (polygon.count < 3) continue;
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
    computeFaceNormals(vertexTable, polygons.get(), usedPolygons);

    Array<Vector3> normals = allocateArray<Vector3>(static_cast<std::size_t>(usedVertices), "vertex normals");
    PositionGroups groups;
    if (!normals || !groups.build(vertexTable, usedVertices)) return false;
    Array<Vector3> sums = allocateArray<Vector3>(static_cast<std::size_t>(groups.groupCount), "vertex normals");
    Array<int32_t> matches = allocateArray<int32_t>(static_cast<std::size_t>(groups.groupCount), "vertex normals");
    if (!sums || !matches) return false;
    std::fill(matches.get(), matches.get() + groups.groupCount, 0);

    // Polygon by polygon and index by index, as a vertex-by-vertex search would meet them: float
    // addition is not associative, so this order is part of the result.
    for (int32_t p = 0; p < usedPolygons; ++p) {
        const ShapePolygon& polygon = polygons[p];
        for (int k = 0; k < polygon.count; ++k) {
            const int32_t g = groups.groupOf[polygon.indices[k]];
            sums[g] = sums[g] + polygon.faceNormal;
            ++matches[g];
        }
    }
    for (int32_t g = 0; g < groups.groupCount; ++g) {
        // A position that no polygon names keeps the zero vector rather than 0 * (1 / 0), a NaN.
        if (matches[g] == 0) continue;
        sums[g] = sums[g] * static_cast<float>(1.0 / matches[g]);
        sums[g].normalize();
    }
    for (int32_t i = 0; i < usedVertices; ++i) normals[i] = sums[groups.groupOf[i]];
    vertexNormals = std::move(normals);
    return true;
}
