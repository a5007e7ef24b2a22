// The records the page reads out of the WebAssembly memory after a load, at fixed offsets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/vector3.h"

// One corner of a solid triangle, interleaved for one vertex buffer: 36 bytes.
struct WebCorner {
    int16_t position[4];  // x, y as drawn (the file's y negated), z, and 1
    Vector3 smooth;       // the vertex normal
    Vector3 flat;         // the face normal
    uint8_t colour;       // palette entry, already taken modulo 32
    uint8_t padding[3];
};

// What a load gives the page; every pointer stays valid until the next load begins.
struct WebModel {
    const char* name = nullptr;             // the shape name, ended by a zero
    uint32_t cornerCount = 0;               // solid triangles times 3
    const WebCorner* corners = nullptr;
    uint32_t segmentEnds = 0;               // segments times 2
    const int16_t* segmentPositions = nullptr;  // 4 per end, as in WebCorner
    const uint8_t* segmentColours = nullptr;    // 1 per end
    uint32_t tableVertices = 0;             // the vertex table's first 32,768 entries at most
    const int16_t* tablePositions = nullptr;    // 4 per vertex
    uint32_t edgeEnds = 0;                  // outline lines times 2
    const uint16_t* edges = nullptr;        // vertex table indices
    uint32_t hasFace = 0;                   // whether lastNormals holds a face's normals
    float lastNormals[6] = {0, 0, 0, 0, 0, 0};  // the segments' normal: smooth, then flat
};

// The page's reading of these records depends on this layout (wasm32: 4-byte pointers).
static_assert(sizeof(WebCorner) == 36, "corner layout");
static_assert(offsetof(WebCorner, smooth) == 8 && offsetof(WebCorner, flat) == 20 &&
                  offsetof(WebCorner, colour) == 32,
              "corner layout");
#if defined(__EMSCRIPTEN__)
static_assert(sizeof(WebModel) == 68, "model record layout");
#endif

extern "C" {
// Room for a model text of size bytes (and a zero after it) in the module's memory; null when
// memory runs out, after the loader's own line for it. Clears the model on show and its lines.
char* zemTextBuffer(std::size_t size);

// Parses the text put into the buffer, computes the normals and builds the streams; null after the
// loader's lines say why. The buffer is released either way.
const WebModel* zemLoad();

// The lines written since the last zemTextBuffer, each ended by a newline.
const char* zemLines();

// The palette as the renderer takes it, 32 times red, green, blue in single precision.
const float* zemPalette();
}
