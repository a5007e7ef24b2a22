// libFuzzer target: parse and normals on any bytes, with the record's bounds and the literal normals as oracles.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "model/shape.h"
#include "testlib/normals_oracle.h"

namespace {

bool finite(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

void checkLoadedShape(const Shape& shape)
{
    long corners = 0;
    for (int32_t p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& polygon = shape.polygons[p];
        if (polygon.count > kMaxPolygonIndices || !finite(polygon.faceNormal)) std::abort();
        for (int k = 0; k < polygon.count; ++k)
            if (polygon.indices[k] < 0 || polygon.indices[k] >= shape.vertexCount) std::abort();
        corners += polygon.count;
    }
    for (int32_t i = 0; i < shape.vertexCount; ++i)
        if (!finite(shape.vertexNormals[i])) std::abort();
    // The literal loop is quadratic: compare on the inputs small enough for it.
    if (static_cast<long>(shape.vertexCount) * corners <= 200000 &&
        firstNormalMismatch(shape, literalNormals(shape)) >= 0)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    // An allocation of exactly the input's size, so that a look past its end is caught.
    std::unique_ptr<char[]> text(new char[size]);
    if (size > 0) std::memcpy(text.get(), data, size);
    Shape shape;
    if (!shape.parse(text.get(), text.get() + size)) return 0;
    if (!shape.computeNormals()) std::abort();
    checkLoadedShape(shape);
    return 0;
}
