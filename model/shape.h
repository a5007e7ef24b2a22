// Shape: the in-memory model record, its loader and parser, and its normals and drawing operations.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/allocate.h"
#include "model/vector3.h"

constexpr int kMaxPolygonIndices = 5;   // index slots of a ShapePolygon
constexpr std::size_t kNameSize = 204;  // name buffer, terminating zero included

struct ShapeVertex {
    int16_t x;
    int16_t y;  // the file's y, negated
    int16_t z;
};

struct ShapePolygon {
    uint8_t count = 0;        // indices in use: 2 is a line segment, 3 to 5 a face
    uint8_t colourIndex = 0;  // palette entry, taken modulo 32 when drawn
    // Vertex indices in the order written; the slots from count on hold 0.
    int16_t indices[kMaxPolygonIndices] = {0, 0, 0, 0, 0};
    Vector3 faceNormal;  // zero until computeNormals, and for fewer than 3 indices
};

// A loaded Shape always holds polygons of at most 5 indices that name existing vertices:
// the parser refuses anything else, so computeNormals and the drawing need no checks.
struct Shape {
    char name[kNameSize] = {};
    int32_t vertexCount = 0;
    int32_t polygonCount = 0;
    Array<ShapeVertex> vertices;   // vertexCount entries, or null
    Array<Vector3> vertexNormals;  // vertexCount entries once normals are computed
    Array<ShapePolygon> polygons;  // polygonCount entries, or null

    // Reads, parses and computes normals; false after one message on standard error. A file of
    // more than maxBytes is refused, a regular one before its text is allocated.
    bool load(const char* fileName, std::size_t maxBytes = SIZE_MAX);

    // Parses [text, end); the text also ends at its first zero byte. Never reads at or past end.
    bool parse(const char* text, const char* end);

    // Face normals, then vertex normals averaged over every polygon corner at the same position.
    // False (after a message) only when memory runs out.
    bool computeNormals();

    // Drawing needs a current OpenGL context; defined in the render library.
    bool compileList(unsigned int list, bool lighting, bool smooth) const;
    void drawSolid(bool lighting, bool smooth) const;
    void drawWireframe() const;
};

extern Shape gShape;  // the program's one model, loaded once by main
