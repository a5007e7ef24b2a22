// MeshView::build: the shared view of a loaded Shape, smooth or with vertices split per face.
#include "formats/export/mesh_view.h"

#include <algorithm>
#include <cstring>

#include "base/utf8.h"
#include "render/palette.h"

// A stored name may hold any byte but zero; every format here writes it on one line, and JSON
// only as UTF-8, so control characters and broken sequences become '_'.
std::string exportedName(const char* name)
{
    std::string out;
    const std::size_t size = std::strlen(name);
    const unsigned char* text = reinterpret_cast<const unsigned char*>(name);
    for (std::size_t i = 0; i < size;) {
        uint32_t code = 0;
        const std::size_t length = utf8Character(text + i, size - i, code);
        if (length == 0 || text[i] < 0x20 || text[i] == 0x7F) {
            out.push_back('_');
            i += length == 0 ? 1 : length;
        } else {
            out.append(name + i, length);
            i += length;
        }
    }
    return out;
}

// The viewer draws nothing for a polygon of fewer than 2 indices, and no format would read one
// back as the model has it: it is left out, and only counted.
void MeshView::build(const Shape& shape, bool flat)
{
    name = exportedName(shape.name);
    const int32_t vertexCount = shape.vertices ? shape.vertexCount : 0;
    const int32_t polygonCount = shape.vertices && shape.polygons ? shape.polygonCount : 0;
    std::vector<const ShapePolygon*> sources;
    sources.reserve(static_cast<std::size_t>(polygonCount));
    polygons.clear();
    polygons.reserve(static_cast<std::size_t>(polygonCount));
    bool used[Palette::kSize] = {};
    uint32_t cornerCount = 0;
    faceCount = segmentCount = leftOutCount = 0;
    for (int32_t p = 0; p < polygonCount; ++p) {
        const ShapePolygon& source = shape.polygons[p];
        if (source.count < 2) {
            ++leftOutCount;
            continue;
        }
        MeshPolygon polygon;
        polygon.first = cornerCount;
        polygon.count = source.count;
        polygon.colour = static_cast<uint8_t>(source.colourIndex % Palette::kSize);
        polygon.faceNormal = source.faceNormal;
        polygons.push_back(polygon);
        sources.push_back(&source);
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
        for (std::size_t p = 0; p < polygons.size(); ++p)
            std::copy(sources[p]->indices, sources[p]->indices + polygons[p].count, &corners[polygons[p].first]);
        return;
    }
    positions.resize(cornerCount);
    normals.resize(cornerCount);
    for (std::size_t p = 0; p < polygons.size(); ++p) {
        const ShapePolygon& source = *sources[p];
        const uint32_t first = polygons[p].first;
        for (int k = 0; k < source.count; ++k) {
            positions[first + k] = shape.vertices[source.indices[k]];
            normals[first + k] = source.faceNormal;
            corners[first + k] = static_cast<int32_t>(first + k);
        }
    }
}
