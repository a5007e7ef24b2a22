// MeshView: the loaded Shape as every exporter writes it: positions as the viewer shows them, normals
// as its shading uses them, and polygons with their palette entry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/shape.h"

// The name as the exporters write it: well-formed UTF-8 without control characters.
std::string exportedName(const char* name);

struct MeshPolygon {
    uint32_t first = 0;  // its first corner in MeshView::corners
    uint8_t count = 0;   // 2 is a segment, 3 to 5 a face; never fewer
    uint8_t colour = 0;  // palette entry, already taken modulo 32
    Vector3 faceNormal;  // zero for a segment and for a face without area
};

struct MeshView {
    std::string name;
    std::vector<ShapeVertex> positions;  // the stored coordinates: y is already negated
    std::vector<Vector3> normals;        // one per position
    std::vector<int32_t> corners;        // the polygons' vertex indices, polygon after polygon
    std::vector<MeshPolygon> polygons;   // in the model's order, but those left out
    std::vector<uint8_t> colours;        // the palette entries of those polygons, ascending
    int32_t faceCount = 0;
    int32_t segmentCount = 0;
    int32_t leftOutCount = 0;  // polygons of 0 or 1 index, which the viewer draws nothing for

    // Smooth: the model's vertices with their vertex normals. Flat: every polygon corner a vertex
    // of its own with its polygon's face normal (a segment's corners get a zero normal). The shape
    // must have been loaded, normals included. May throw std::bad_alloc.
    void build(const Shape& shape, bool flat);
};
