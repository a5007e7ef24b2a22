// MeshView::build: the shared view of a loaded Shape, smooth or with vertices split per face.
#include "formats/export/mesh_view.h"

#include <algorithm>
#include <cstring>

#include "render/palette.h"

namespace {

// The length of the well-formed UTF-8 sequence at text, or 0.
std::size_t utf8Length(const unsigned char* text, std::size_t available)
{
    const unsigned char lead = text[0];
    std::size_t length;
    uint32_t code;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (length > available) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80) return 0;
        code = code << 6 | (text[i] & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return overlong || surrogate || code > 0x10FFFF ? 0 : length;
}

}  // namespace

// A stored name may hold any byte but zero; every format here writes it on one line, and JSON
// only as UTF-8, so control characters and broken sequences become '_'.
std::string exportedName(const char* name)
{
    std::string out;
    const std::size_t size = std::strlen(name);
    const unsigned char* text = reinterpret_cast<const unsigned char*>(name);
    for (std::size_t i = 0; i < size;) {
        const std::size_t length = utf8Length(text + i, size - i);
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
