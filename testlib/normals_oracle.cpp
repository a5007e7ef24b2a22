// The literal vertex-by-vertex normal computation, compiled once for tests, benchmarks and the fuzzer.
#include "testlib/normals_oracle.h"

#include <cstdint>
#include <cstring>

LiteralNormals literalNormals(const Shape& shape)
{
    LiteralNormals out;
    out.face.resize(static_cast<std::size_t>(shape.polygonCount));
    out.vertex.resize(static_cast<std::size_t>(shape.vertexCount));
    for (int32_t p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& polygon = shape.polygons[p];
        if (polygon.count < 3) continue;
        const ShapeVertex& a = shape.vertices[polygon.indices[0]];
        const ShapeVertex& b = shape.vertices[polygon.indices[1]];
        const ShapeVertex& c = shape.vertices[polygon.indices[2]];
        const Vector3 p0(a.x, a.y, a.z), p1(b.x, b.y, b.z), p2(c.x, c.y, c.z);
        Vector3 n = cross(p0 - p1, p1 - p2);
        n.normalize();
        out.face[static_cast<std::size_t>(p)] = n;
    }
    for (int32_t i = 0; i < shape.vertexCount; ++i) {
        const ShapeVertex& v = shape.vertices[i];
        Vector3 sum;
        int32_t matches = 0;
        for (int32_t p = 0; p < shape.polygonCount; ++p) {
            const ShapePolygon& polygon = shape.polygons[p];
            for (int k = 0; k < polygon.count; ++k) {
                const ShapeVertex& w = shape.vertices[polygon.indices[k]];
                if (w.x == v.x && w.y == v.y && w.z == v.z) {
                    sum = sum + out.face[static_cast<std::size_t>(p)];
                    ++matches;
                }
            }
        }
        if (matches == 0) continue;
        sum = sum * static_cast<float>(1.0 / matches);
        sum.normalize();
        out.vertex[static_cast<std::size_t>(i)] = sum;
    }
    return out;
}

bool sameBits(const Vector3& a, const Vector3& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

long firstNormalMismatch(const Shape& shape, const LiteralNormals& oracle)
{
    for (int32_t p = 0; p < shape.polygonCount; ++p)
        if (!sameBits(shape.polygons[p].faceNormal, oracle.face[static_cast<std::size_t>(p)])) return p;
    for (int32_t i = 0; i < shape.vertexCount; ++i)
        if (!sameBits(shape.vertexNormals[i], oracle.vertex[static_cast<std::size_t>(i)]))
            return static_cast<long>(shape.polygonCount) + i;
    return -1;
}
