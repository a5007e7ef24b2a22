// The page's way into the model library: a text handed over from JavaScript, loaded with the loader
// as it is, and turned into the vertex streams WebGL draws, with every loader line kept for the page.
// The faces become indexed triangles over vertices that are all different, as the desktop
// renderer's display lists merge identical vertices: each vertex is then lit once, not once for
// every triangle it is a corner of.
#include "web/binding.h"

#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "model/allocate.h"
#include "model/console.h"
#include "model/shape.h"
#include "render/palette.h"

namespace {

Shape gLoaded;      // the model on show, or being loaded
WebModel gModel;    // the streams and counts the page reads
Array<char> gText;  // the text JavaScript fills in, until it is loaded
std::size_t gTextSize = 0;
std::string gLines;  // the loader's lines since the last load began, each ended by '\n'
float gPalette[Palette::kSize][3];

// The lines the viewer writes on its console, kept in the same words. A line that carries its own
// newline (the file error does) is not given a second one.
void keepLine(const char* line)
{
    gLines += line;
    if (gLines.empty() || gLines.back() != '\n') gLines += '\n';
}

// The streams are owned here and outlive each call; a new load releases the previous ones.
struct Triangles {
    Array<WebVertex> vertices;
    Array<uint32_t> indices;
};
struct Streams {
    Triangles smooth;
    Triangles flat;
    Array<float> segmentPositions;
    Array<float> tablePositions;
    Array<uint16_t> edges;
};
Streams gStreams;

void clearModel()
{
    gStreams = Streams();
    gModel = WebModel();
    gLoaded = Shape();
}

// How many corners, segment ends and outline ends the drawing needs; false (after a message) when
// a count is beyond what 32-bit offsets can address.
bool countStreams(const Shape& shape, uint32_t& corners, uint32_t& segments, uint32_t& edgeEnds)
{
    uint64_t c = 0, s = 0, e = 0;
    for (int32_t p = 0; p < shape.polygonCount; ++p) {
        const int count = shape.polygons[p].count;
        if (count >= 3) c += 3u * static_cast<unsigned>(count - 2);
        if (count == 2) s += 2;
        if (count >= 2) e += count == 2 ? 2 : 2u * static_cast<unsigned>(count);
    }
    if (c > UINT32_MAX / sizeof(WebVertex) || e > UINT32_MAX / 2) {
        reportOutOfMemory("the drawing of the model's polygons", static_cast<double>(c) * sizeof(WebVertex));
        return false;
    }
    corners = static_cast<uint32_t>(c);
    segments = static_cast<uint32_t>(s);
    edgeEnds = static_cast<uint32_t>(e);
    return true;
}

// Vertices by content: an open-addressed table of vertex numbers plus one (0 is empty), at most
// half full, so that merging takes time in proportion to the corners whatever the model holds.
class VertexMerger {
public:
    bool start(uint32_t corners, Triangles& out)
    {
        capacity_ = 16;
        while (capacity_ < 2 * static_cast<uint64_t>(corners)) capacity_ *= 2;
        slots_ = tryAllocateArray<uint32_t>(capacity_);
        out.vertices = tryAllocateArray<WebVertex>(corners);
        out.indices = tryAllocateArray<uint32_t>(corners);
        if (!slots_ || !out.vertices || !out.indices) return false;
        std::memset(slots_.get(), 0, capacity_ * sizeof(uint32_t));
        vertices_ = out.vertices.get();
        count_ = 0;
        return true;
    }

    // The number of the vertex equal to v, added when it is new.
    uint32_t add(const WebVertex& v)
    {
        uint32_t hash = 2166136261u;
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&v);
        for (std::size_t i = 0; i < sizeof v; ++i) hash = (hash ^ bytes[i]) * 16777619u;
        for (std::size_t at = hash & (capacity_ - 1);; at = (at + 1) & (capacity_ - 1)) {
            if (slots_[at] == 0) {
                vertices_[count_] = v;
                slots_[at] = ++count_;
                return count_ - 1;
            }
            if (std::memcmp(&vertices_[slots_[at] - 1], &v, sizeof v) == 0) return slots_[at] - 1;
        }
    }

    uint32_t count() const { return count_; }

private:
    Array<uint32_t> slots_;
    std::size_t capacity_ = 0;
    WebVertex* vertices_ = nullptr;
    uint32_t count_ = 0;
};

void putPosition(float* to, const ShapeVertex& v)
{
    to[0] = v.x;
    to[1] = v.y;
    to[2] = v.z;
}

// Faces split into the triangles (k, k + 1, 0), in table order, with vertex or face normals.
bool buildTriangles(const Shape& shape, uint32_t corners, bool smooth, Triangles& out, WebTriangles& record)
{
    VertexMerger merger;
    if (!merger.start(corners, out)) {
        char what[120];
        std::snprintf(what, sizeof what, "the drawing of the model's %u triangle corners", corners);
        reportOutOfMemory(what, static_cast<double>(corners) * (sizeof(WebVertex) + 12));
        return false;
    }
    uint32_t n = 0;
    for (int32_t p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& polygon = shape.polygons[p];
        if (polygon.count < 3) continue;
        const int first = polygon.indices[0];
        for (int k = 1; k + 1 < polygon.count; ++k) {
            const int triangle[3] = {polygon.indices[k], polygon.indices[k + 1], first};
            for (int i : triangle) {
                WebVertex v{};
                putPosition(v.position, shape.vertices[i]);
                v.normal = smooth ? shape.vertexNormals[i] : polygon.faceNormal;
                v.colour = static_cast<float>(polygon.colourIndex % Palette::kSize);
                out.indices[n++] = merger.add(v);
            }
        }
    }
    record.vertexCount = merger.count();
    record.vertices = out.vertices.get();
    record.indices = out.indices.get();
    return true;
}

// Segments, and the normal that lights them: the last one the faces gave.
void fillSegments(const Shape& shape, float* ends)
{
    uint32_t n = 0;
    const ShapePolygon* last = nullptr;
    for (int32_t p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& polygon = shape.polygons[p];
        if (polygon.count >= 3) last = &polygon;
        if (polygon.count != 2) continue;
        for (int k = 0; k < 2; ++k, ++n) {
            putPosition(ends + 4 * n, shape.vertices[polygon.indices[k]]);
            ends[4 * n + 3] = static_cast<float>(polygon.colourIndex % Palette::kSize);
        }
    }
    gModel.hasFace = last != nullptr;
    if (last) {
        const Vector3 smooth = shape.vertexNormals[last->indices[last->count - 1]];
        const Vector3 flat = last->faceNormal;
        const float normals[6] = {smooth.x, smooth.y, smooth.z, flat.x, flat.y, flat.z};
        std::memcpy(gModel.lastNormals, normals, sizeof normals);
    }
}

// Every edge of every polygon in the direction its loop runs, as indices into the vertex table.
void fillEdges(const Shape& shape, uint16_t* ends)
{
    uint32_t n = 0;
    for (int32_t p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& polygon = shape.polygons[p];
        if (polygon.count < 2) continue;
        const int edges = polygon.count == 2 ? 1 : polygon.count;
        for (int k = 0; k < edges; ++k) {
            ends[n++] = static_cast<uint16_t>(polygon.indices[k]);
            ends[n++] = static_cast<uint16_t>(polygon.indices[(k + 1) % polygon.count]);
        }
    }
}

bool buildStreams(const Shape& shape)
{
    uint32_t corners = 0, segmentEnds = 0, edgeEnds = 0;
    if (!countStreams(shape, corners, segmentEnds, edgeEnds)) return false;
    // Indices are 16-bit and never negative: only the first 32,768 vertices can be drawn.
    const uint32_t tableVertices = static_cast<uint32_t>(std::min<int32_t>(shape.vertexCount, 32768));
    Streams s;
    if (!buildTriangles(shape, corners, true, s.smooth, gModel.smooth) ||
        !buildTriangles(shape, corners, false, s.flat, gModel.flat))
        return false;
    s.segmentPositions = allocateArray<float>(4u * segmentEnds, "the drawing of the model's segments");
    s.tablePositions = allocateArray<float>(3u * tableVertices, "the outlines' vertices");
    s.edges = allocateArray<uint16_t>(edgeEnds, "the outlines' edges");
    if (!s.segmentPositions || !s.tablePositions || !s.edges) return false;
    fillSegments(shape, s.segmentPositions.get());
    for (uint32_t i = 0; i < tableVertices; ++i) putPosition(s.tablePositions.get() + 3 * i, shape.vertices[i]);
    fillEdges(shape, s.edges.get());

    gModel.name = shape.name;
    gModel.indexCount = corners;
    gModel.segmentEnds = segmentEnds;
    gModel.segmentPositions = s.segmentPositions.get();
    gModel.tableVertices = tableVertices;
    gModel.tablePositions = s.tablePositions.get();
    gModel.edgeEnds = edgeEnds;
    gModel.edges = s.edges.get();
    gStreams = std::move(s);
    return true;
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE char* zemTextBuffer(std::size_t size)
{
    gLines.clear();
    clearModel();
    gText.reset();
    gTextSize = 0;
    messageSink() = keepLine;
    // The same words as the viewer's own read of a file of that size.
    char what[80];
    std::snprintf(what, sizeof what, "the model file's %zu bytes", size);
    gText = size < SIZE_MAX ? allocateArray<char>(size + 1, what) : nullptr;
    if (!gText) return nullptr;
    gText[size] = '\0';
    gTextSize = size;
    return gText.get();
}

EMSCRIPTEN_KEEPALIVE const WebModel* zemLoad()
{
    if (!gText) return nullptr;
    const bool loaded = gLoaded.parse(gText.get(), gText.get() + gTextSize) && gLoaded.computeNormals();
    gText.reset();
    if (!loaded || !buildStreams(gLoaded)) {
        clearModel();
        return nullptr;
    }
    return &gModel;
}

EMSCRIPTEN_KEEPALIVE const char* zemLines() { return gLines.c_str(); }

EMSCRIPTEN_KEEPALIVE const float* zemPalette()
{
    for (int i = 0; i < Palette::kSize; ++i)
        for (int c = 0; c < 3; ++c) gPalette[i][c] = static_cast<float>(Palette::colours[i][c]);
    return &gPalette[0][0];
}

}  // extern "C"
