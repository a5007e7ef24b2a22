// The records the page reads out of the WebAssembly memory after a load, at fixed offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "model/vector3.h"

// One vertex of the solid drawing: 28 bytes, interleaved for one vertex buffer. Every attribute is
// a float, the format the renderer fetches fastest (and exactly, for 16-bit coordinates).
// Plain floats with no initialisers: an array is sized for every triangle corner and only the
// vertices made are written, so that memory never used is never touched.
struct WebVertex {
    float position[3];  // x, y as drawn (the file's y negated), z
    float colour;       // palette entry, already taken modulo 32
    float normal[3];    // the vertex normal (smooth set) or the face normal (flat set)
};

// The faces as indexed triangles over shared vertices, for one choice of normals.
struct WebTriangles {
    uint32_t vertexCount = 0;
    const WebVertex* vertices = nullptr;
    const void* indices = nullptr;  // WebModel::indexCount of them, three per triangle
    uint32_t indexBytes = 4;        // 2 (16-bit indices) when every vertex number is below 65,535, else 4
};

// What a load gives the page; every pointer stays valid until the next load begins, and is null
// for a part not built yet.
struct WebModel {
    const char* name = nullptr;                 // the shape name, ended by a zero
    uint32_t indexCount = 0;                    // solid triangles times 3
    WebTriangles smooth;                        // with vertex normals
    WebTriangles flat;                          // with face normals
    uint32_t segmentEnds = 0;                   // segments times 2
    const float* segmentPositions = nullptr;    // x, y, z and colour per end, as in WebVertex
    uint32_t tableVertices = 0;                 // the vertex table's first 32,768 entries at most
    const float* tablePositions = nullptr;      // x, y, z per vertex
    uint32_t edgeEnds = 0;                      // outline lines times 2
    const uint16_t* edges = nullptr;            // vertex table indices
    uint32_t hasFace = 0;                       // whether lastNormals holds a face's normals
    float lastNormals[6] = {0, 0, 0, 0, 0, 0};  // the segments' normal: smooth, then flat
};

// Where the page reads each field of a WebModel, in 32-bit words from the record's start (wasm32:
// 4-byte pointers), and of a WebTriangles from its own start. web/js/loader.js names the same words
// with the same names, and the web tests hold its numbers to these.
enum WebModelWord : uint32_t {
    kWordName = 0,
    kWordIndexCount = 1,
    kWordSmooth = 2,
    kWordFlat = 6,
    kWordSegmentEnds = 10,
    kWordSegmentPositions = 11,
    kWordTableVertices = 12,
    kWordTablePositions = 13,
    kWordEdgeEnds = 14,
    kWordEdges = 15,
    kWordHasFace = 16,
    kWordLastNormals = 17,
};
enum WebTrianglesWord : uint32_t {
    kWordVertexCount = 0,
    kWordVertices = 1,
    kWordIndices = 2,
    kWordIndexBytes = 3,
};

// The page's reading of these records depends on this layout.
static_assert(sizeof(WebVertex) == 28, "vertex layout");
static_assert(offsetof(WebVertex, colour) == 12 && offsetof(WebVertex, normal) == 16, "vertex layout");
static_assert(std::is_trivially_default_constructible<WebVertex>::value, "vertex arrays are left unwritten");
#if defined(__EMSCRIPTEN__)
static_assert(sizeof(WebModel) == 92, "model record layout");
static_assert(offsetof(WebModel, name) == 4 * kWordName, "model record layout");
static_assert(offsetof(WebModel, indexCount) == 4 * kWordIndexCount, "model record layout");
static_assert(offsetof(WebModel, smooth) == 4 * kWordSmooth, "model record layout");
static_assert(offsetof(WebModel, flat) == 4 * kWordFlat, "model record layout");
static_assert(offsetof(WebModel, segmentEnds) == 4 * kWordSegmentEnds, "model record layout");
static_assert(offsetof(WebModel, segmentPositions) == 4 * kWordSegmentPositions, "model record layout");
static_assert(offsetof(WebModel, tableVertices) == 4 * kWordTableVertices, "model record layout");
static_assert(offsetof(WebModel, tablePositions) == 4 * kWordTablePositions, "model record layout");
static_assert(offsetof(WebModel, edgeEnds) == 4 * kWordEdgeEnds, "model record layout");
static_assert(offsetof(WebModel, edges) == 4 * kWordEdges, "model record layout");
static_assert(offsetof(WebModel, hasFace) == 4 * kWordHasFace, "model record layout");
static_assert(offsetof(WebModel, lastNormals) == 4 * kWordLastNormals, "model record layout");
static_assert(offsetof(WebTriangles, vertexCount) == 4 * kWordVertexCount, "triangles record layout");
static_assert(offsetof(WebTriangles, vertices) == 4 * kWordVertices, "triangles record layout");
static_assert(offsetof(WebTriangles, indices) == 4 * kWordIndices, "triangles record layout");
static_assert(offsetof(WebTriangles, indexBytes) == 4 * kWordIndexBytes, "triangles record layout");
#endif

extern "C" {
// Room for a model text of size bytes (and a zero after it) in the module's memory; null when
// memory runs out, after the loader's own line for it. Clears the model on show and its lines.
char* zemTextBuffer(std::size_t size);

// Parses the first length bytes (at most the size asked for) of the text put into the buffer,
// computes the normals and builds the streams of the first view: the faces with vertex normals
// and the segments. Null after the loader's lines say why. The buffer is released either way.
const WebModel* zemLoad(std::size_t length);

// Parts of the drawing that zemBuild makes when they are first needed.
enum WebParts : uint32_t {
    kFlatFaces = 1,  // WebModel::flat
    kOutlines = 2,   // WebModel::tablePositions and edges
};

// Builds the parts asked for (WebParts) of the model loaded last, where not built yet: the record
// again, or null after the loader's lines say why (or when no model is loaded). The model stays
// loaded either way.
const WebModel* zemBuild(uint32_t parts);

// Where the model loaded last must stand to be seen whole in a picture of width x height turned by
// rotX and rotY, as zemrender --fit places it (render/framing.h), and its extent: eleven numbers,
// the shift (3), distance, near and far plane of that framing, the centre of the model's bounding
// box (3), and the largest distance of a vertex from the origin and from that centre.
const double* zemFrame(int width, int height, int rotX, int rotY);

// How many times over the faces of the model loaded last cover a picture of width x height seen
// from the view given (a turn, then the eye-space shift and distance): render/framing.h's measure.
double zemCoverage(int width, int height, int rotX, int rotY, double shiftX, double shiftY, double shiftZ,
                   double distance);

// How the viewer's first view, at width x height, shows the model loaded last.
enum WebStartView : int {
    kStartViewWhole = 0,     // every vertex within the picture, spanning a tenth of its height or more
    kStartViewCut = 1,       // some vertex outside the picture or the depth range
    kStartViewTooSmall = 2,  // within it, but smaller than that (or no vertex at all)
};
int zemStartView(int width, int height);

// The lines written since the last zemTextBuffer, each ended by a newline.
const char* zemLines();

// The palette as the renderer takes it, 32 times red, green, blue in single precision.
const float* zemPalette();
}
