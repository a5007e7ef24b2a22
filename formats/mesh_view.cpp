// MeshView::build: the shared view of a loaded Shape, smooth or with vertices split per face.
#include "formats/mesh_view.h"

#include "render/palette.h"

void MeshView::build(const Shape& shape, bool flat)
{
    name = shape.name;
    const int32_t vertexCount = shape.vertices ? shape.vertexCount : 0;
    const int32_t polygonCount = shape.vertices && shape.polygons ? shape.polygonCount : 0;
    polygons.resize(static_cast<std::size_t>(polygonCount));
    bool used[Palette::kSize] = {};
    uint32_t cornerCount = 0;
    faceCount = segmentCount = 0;
    for (int32_t p = 0; p < polygonCount; ++p) {
        const ShapePolygon& source = shape.polygons[p];
        MeshPolygon& polygon = polygons[static_cast<std::size_t>(p)];
        polygon.first = cornerCount;
        polygon.count = source.count;
        polygon.colour = static_cast<uint8_t>(source.colourIndex % Palette::kSize);
        polygon.faceNormal = source.faceNormal;
        cornerCount += source.count;
        used[polygon.colour] = true;
        ++(source.count == 2 ? segmentCount : faceCount);
    }
    colours.clear();
    for (int c = 0; c < Palette::kSize; ++c)
        if (used[c]) colours.push_back(static_cast<uint8_t>(c));

    corners.resize(cornerCount);
    if (!flat) {
        positions.assign(shape.vertices.get(), shape.vertices.get() + vertexCount);
        normals.assign(shape.vertexNormals.get(), shape.vertexNormals.get() + vertexCount);
        for (int32_t p = 0; p < polygonCount; ++p) {
            const ShapePolygon& source = shape.polygons[p];
            int32_t* out = &corners[polygons[static_cast<std::size_t>(p)].first];
            for (int k = 0; k < source.count; ++k) out[k] = source.indices[k];
        }
        return;
    }
    positions.resize(cornerCount);
    normals.resize(cornerCount);
    for (int32_t p = 0; p < polygonCount; ++p) {
        const ShapePolygon& source = shape.polygons[p];
        const uint32_t first = polygons[static_cast<std::size_t>(p)].first;
        for (int k = 0; k < source.count; ++k) {
            positions[first + k] = shape.vertices[source.indices[k]];
            normals[first + k] = source.faceNormal;
            corners[first + k] = static_cast<int32_t>(first + k);
        }
    }
}
