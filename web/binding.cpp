// The page's way into the model library: a text handed over from JavaScript, loaded with the loader
// as it is, and turned into the vertex streams WebGL draws, with every loader line kept for the page.
// The faces become indexed triangles whose corners share one vertex where they are equal, as the
// desktop renderer's display lists merge identical vertices: each vertex is then lit once, not once
// for every triangle it is a corner of.
#include "web/binding.h"

#include <emscripten/emscripten.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "model/allocate.h"
#include "model/console.h"
#include "model/shape.h"
#include "render/framing.h"
#include "render/palette.h"
#include "render/scene.h"
#include "render/shape_drawing.h"

namespace {

Shape gLoaded;      // the model on show, or being loaded
WebModel gModel;    // the streams and counts the page reads
Array<char> gText;  // the text JavaScript fills in, until it is loaded
std::size_t gTextSize = 0;
std::string gLines;  // the loader's lines since the last load began, each ended by '\n'
float gPalette[Palette::kSize][3];
double gFraming[11];  // zemFrame's answer, laid out as its comment in web/binding.h says

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
        const ShapePolygon& polygon = shape.polygons[p];
        c += 3u * static_cast<unsigned>(triangleCount(polygon));
        if (isSegment(polygon)) s += 2;
        e += 2u * static_cast<unsigned>(outlineEdgeCount(polygon));
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

// Corners merged into shared vertices, as the desktop renderer's display lists merge identical
// ones, so that each vertex is lit once rather than once per triangle. The vertices made at each
// table vertex are chained, and a corner takes the one equal to it in every byte (colour and
// normal, the position being the same) or starts a new one: a few looks per corner, since few
// colours and normals meet at one vertex, and no table to clear in proportion to the corners.
class VertexMerger {
    // Equal in every byte, compared a word at a time: a byte-wise compare took most of the merging.
    static bool sameBytes(const WebVertex& a, const WebVertex& b)
    {
        constexpr std::size_t kWords = sizeof(WebVertex) / sizeof(uint32_t);
        uint32_t x[kWords], y[kWords];
        std::memcpy(x, &a, sizeof x);
        std::memcpy(y, &b, sizeof y);
        uint32_t differ = 0;
        for (std::size_t i = 0; i < kWords; ++i) differ |= x[i] ^ y[i];
        return differ == 0;
    }

public:
    bool start(uint32_t corners, int32_t tableVertices, Triangles& out)
    {
        head_ = tryAllocateArray<uint32_t>(static_cast<std::size_t>(tableVertices));
        next_ = tryAllocateArray<uint32_t>(corners);
        out.vertices = tryAllocateArray<WebVertex>(corners);
        out.indices = tryAllocateArray<uint32_t>(corners);
        if (!head_ || !next_ || !out.vertices || !out.indices) return false;
        std::memset(head_.get(), 0, static_cast<std::size_t>(tableVertices) * sizeof(uint32_t));
        vertices_ = out.vertices.get();
        count_ = 0;
        return true;
    }

    // The number of the vertex equal to v, a corner at table vertex index, made when it is new.
    uint32_t add(int index, const WebVertex& v)
    {
        for (uint32_t at = head_[index]; at != 0; at = next_[at - 1])
            if (sameBytes(vertices_[at - 1], v)) return at - 1;
        vertices_[count_] = v;
        next_[count_] = head_[index];
        head_[index] = ++count_;
        return count_ - 1;
    }

    uint32_t count() const { return count_; }

private:
    // Numbers plus one (0 ends a chain): per table vertex the last vertex made there, per vertex the
    // one made there before it.
    Array<uint32_t> head_;
    Array<uint32_t> next_;
    WebVertex* vertices_ = nullptr;
    uint32_t count_ = 0;
};

void putPosition(float* to, const ShapeVertex& v)
{
    to[0] = v.x;
    to[1] = v.y;
    to[2] = v.z;
}

// Indices of 16 bits where every vertex number fits below 65,535, which WebGL 2 keeps for
// restarting primitives: half the memory to upload and to read. Narrowed in place.
uint32_t narrowIndices(uint32_t* indices, uint32_t count, uint32_t vertexCount)
{
    if (vertexCount > 65535) return 4;
    uint16_t* narrow = reinterpret_cast<uint16_t*>(indices);
    for (uint32_t i = 0; i < count; ++i) narrow[i] = static_cast<uint16_t>(indices[i]);
    return 2;
}

// Faces split into triangles as the window splits them, in table order, with vertex or face normals.
bool buildTriangles(const Shape& shape, uint32_t corners, bool smooth, Triangles& out, WebTriangles& record)
{
    VertexMerger merger;
    if (!merger.start(corners, shape.vertexCount, out)) {
        char what[120];
        std::snprintf(what, sizeof what, "the drawing of the model's %u triangle corners", corners);
        reportOutOfMemory(what, static_cast<double>(corners) * (sizeof(WebVertex) + 8));
        return false;
    }
    uint32_t n = 0;
    for (int32_t p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& polygon = shape.polygons[p];
        if (!isFace(polygon)) continue;
        forEachTriangleCorner(polygon, [&](int i) {
            WebVertex v;
            putPosition(v.position, shape.vertices[i]);
            v.colour = static_cast<float>(polygon.colourIndex % Palette::kSize);
            const Vector3& normal = smooth ? shape.vertexNormals[i] : polygon.faceNormal;
            v.normal[0] = normal.x;
            v.normal[1] = normal.y;
            v.normal[2] = normal.z;
            out.indices[n++] = merger.add(i, v);
        });
    }
    record.vertexCount = merger.count();
    record.vertices = out.vertices.get();
    record.indices = out.indices.get();
    record.indexBytes = narrowIndices(out.indices.get(), n, merger.count());
    return true;
}

// Segments, and the normal that lights them: the last one the faces gave.
void fillSegments(const Shape& shape, float* ends)
{
    uint32_t n = 0;
    for (int32_t p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& polygon = shape.polygons[p];
        if (!isSegment(polygon)) continue;
        for (int k = 0; k < 2; ++k, ++n) {
            putPosition(ends + 4 * n, shape.vertices[polygon.indices[k]]);
            ends[4 * n + 3] = static_cast<float>(polygon.colourIndex % Palette::kSize);
        }
    }
    const ShapePolygon* last = lastFace(shape);
    gModel.hasFace = last != nullptr;
    if (last) {
        const Vector3 smooth = segmentNormal(shape, *last, true);
        const Vector3 flat = segmentNormal(shape, *last, false);
        const float normals[6] = {smooth.x, smooth.y, smooth.z, flat.x, flat.y, flat.z};
        std::memcpy(gModel.lastNormals, normals, sizeof normals);
    }
}

// Every outline line as the window draws it, as indices into the vertex table.
void fillEdges(const Shape& shape, uint16_t* ends)
{
    uint32_t n = 0;
    for (int32_t p = 0; p < shape.polygonCount; ++p) {
        forEachOutlineEdge(shape.polygons[p], [&](int from, int to) {
            ends[n++] = static_cast<uint16_t>(from);
            ends[n++] = static_cast<uint16_t>(to);
        });
    }
}

// What the first view draws: the faces with vertex normals and the segments. The rest is built when
// first drawn (buildFlat, buildOutlines), so that a model is shown sooner.
bool buildStreams(const Shape& shape)
{
    uint32_t corners = 0, segmentEnds = 0, edgeEnds = 0;
    if (!countStreams(shape, corners, segmentEnds, edgeEnds)) return false;
    Streams s;
    if (!buildTriangles(shape, corners, true, s.smooth, gModel.smooth)) return false;
    s.segmentPositions = allocateArray<float>(4u * segmentEnds, "the drawing of the model's segments");
    if (!s.segmentPositions) return false;
    fillSegments(shape, s.segmentPositions.get());

    gModel.name = shape.name;
    gModel.indexCount = corners;
    gModel.segmentEnds = segmentEnds;
    gModel.segmentPositions = s.segmentPositions.get();
    // Indices are 16-bit and never negative: only the first 32,768 vertices can be drawn.
    gModel.tableVertices = static_cast<uint32_t>(std::min<int32_t>(shape.vertexCount, 32768));
    gModel.edgeEnds = edgeEnds;
    gStreams = std::move(s);
    return true;
}

bool buildFlat(const Shape& shape)
{
    return gStreams.flat.vertices || buildTriangles(shape, gModel.indexCount, false, gStreams.flat, gModel.flat);
}

bool buildOutlines(const Shape& shape)
{
    if (gStreams.edges) return true;
    Array<float> table = allocateArray<float>(3u * gModel.tableVertices, "the outlines' vertices");
    Array<uint16_t> edges = allocateArray<uint16_t>(gModel.edgeEnds, "the outlines' edges");
    if (!table || !edges) return false;
    for (uint32_t i = 0; i < gModel.tableVertices; ++i) putPosition(table.get() + 3 * i, shape.vertices[i]);
    fillEdges(shape, edges.get());
    gModel.tablePositions = table.get();
    gModel.edges = edges.get();
    gStreams.tablePositions = std::move(table);
    gStreams.edges = std::move(edges);
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

EMSCRIPTEN_KEEPALIVE const WebModel* zemLoad(std::size_t length)
{
    if (!gText || length > gTextSize) return nullptr;
    gText[length] = '\0';
    const bool parsed = gLoaded.parse(gText.get(), gText.get() + length);
    // Released before the normals, whose tables then take memory the text has used already: the
    // browser's first touch of a page of memory costs more than the normals computed on it.
    gText.reset();
    if (!parsed || !gLoaded.computeNormals() || !buildStreams(gLoaded)) {
        clearModel();
        return nullptr;
    }
    return &gModel;
}

EMSCRIPTEN_KEEPALIVE const WebModel* zemBuild(uint32_t parts)
{
    if (!gModel.name) return nullptr;
    if ((parts & kFlatFaces) && !buildFlat(gLoaded)) return nullptr;
    if ((parts & kOutlines) && !buildOutlines(gLoaded)) return nullptr;
    return &gModel;
}

EMSCRIPTEN_KEEPALIVE const double* zemFrame(int width, int height, int rotX, int rotY)
{
    const Framing framing = frameShape(gLoaded, width, height, rotX, rotY);
    double low[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, high[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (int32_t i = 0; i < gLoaded.vertexCount; ++i) {
        const ShapeVertex& v = gLoaded.vertices[i];
        const double p[3] = {double(v.x), double(v.y), double(v.z)};
        for (int k = 0; k < 3; ++k) {
            low[k] = std::min(low[k], p[k]);
            high[k] = std::max(high[k], p[k]);
        }
    }
    double centre[3] = {0, 0, 0};
    if (gLoaded.vertexCount > 0)
        for (int k = 0; k < 3; ++k) centre[k] = (low[k] + high[k]) / 2.0;
    double fromOrigin = 0.0, fromCentre = 0.0;
    for (int32_t i = 0; i < gLoaded.vertexCount; ++i) {
        const ShapeVertex& v = gLoaded.vertices[i];
        fromOrigin = std::max(fromOrigin, std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z));
        const double d[3] = {v.x - centre[0], v.y - centre[1], v.z - centre[2]};
        fromCentre = std::max(fromCentre, std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]));
    }
    const double values[11] = {framing.shift[0],  framing.shift[1], framing.shift[2], framing.distance,
                               framing.nearPlane, framing.farPlane, centre[0],        centre[1],
                               centre[2],         fromOrigin,       fromCentre};
    std::memcpy(gFraming, values, sizeof values);
    return gFraming;
}

EMSCRIPTEN_KEEPALIVE double zemCoverage(int width, int height, int rotX, int rotY, double shiftX, double shiftY,
                                        double shiftZ, double distance)
{
    Framing framing;
    framing.shift[0] = shiftX;
    framing.shift[1] = shiftY;
    framing.shift[2] = shiftZ;
    framing.distance = distance;
    return pictureCoverage(gLoaded, framing, width, height, rotX, rotY);
}

EMSCRIPTEN_KEEPALIVE int zemStartView(int width, int height)
{
    if (gLoaded.vertexCount <= 0) return kStartViewTooSmall;
    const SceneView start;
    const double focal = 1.0 / std::tan(kFieldOfView / 2.0 * 3.14159265358979323846 / 180.0);
    const double aspect = static_cast<double>(width) / (height > 0 ? height : 1);
    double top = -HUGE_VAL, bottom = HUGE_VAL;
    for (int32_t i = 0; i < gLoaded.vertexCount; ++i) {
        const ShapeVertex& v = gLoaded.vertices[i];
        const double depth = -(v.z + start.distance);
        if (!(depth > kNearPlane && depth < kFarPlane)) return kStartViewCut;
        const double x = focal / aspect * v.x / depth, y = focal * v.y / depth;
        if (std::fabs(x) > 1.0 || std::fabs(y) > 1.0) return kStartViewCut;
        top = std::max(top, y);
        bottom = std::min(bottom, y);
    }
    // The picture spans 2 in normalised device coordinates: a tenth of its height is 0.2.
    return top - bottom >= 0.2 ? kStartViewWhole : kStartViewTooSmall;
}

EMSCRIPTEN_KEEPALIVE const char* zemLines() { return gLines.c_str(); }

EMSCRIPTEN_KEEPALIVE const float* zemPalette()
{
    for (int i = 0; i < Palette::kSize; ++i)
        for (int c = 0; c < 3; ++c) gPalette[i][c] = static_cast<float>(Palette::colours[i][c]);
    return &gPalette[0][0];
}

}  // extern "C"
