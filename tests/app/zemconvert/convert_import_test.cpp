// zemconvert's import run for real: foreign files read and fitted into models that the loader takes
// back, round trips through the export, large and hostile inputs.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <tuple>

#include "formats/import/fit/fit.h"
#include "formats/import/import.h"
#include "model/shape_write.h"
#include "render/palette.h"
#include "testlib/foreign_files.h"
#include "tests/support/test_support.h"

namespace {

// ---- helpers ----

RunResult convert(std::vector<std::string> words)
{
    words.insert(words.begin(), ZEMCONVERT_PATH);
    return runProgram(ZEMCONVERT_PATH, words);
}

// The same under coreutils' timeout: a reader that never returns fails the test as status 124,
// and leaves no process behind.
RunResult convertWithinSeconds(int seconds, std::vector<std::string> words)
{
    words.insert(words.begin(), {"timeout", std::to_string(seconds), ZEMCONVERT_PATH});
    return runProgram("/usr/bin/timeout", words);
}

struct Imported {
    RunResult run;
    Parsed loaded;
};

// Imports input into a fresh .zem file and loads that with the project's loader.
Imported importFile(const std::string& input, std::vector<std::string> options = {})
{
    static int serial = 0;
    const std::string output = tempDir() + "/imported" + std::to_string(++serial) + ".zem";
    options.push_back(input);
    options.push_back(output);
    Imported result;
    result.run = convert(options);
    if (result.run.exitStatus == 0) result.loaded = loadFile(output);
    return result;
}

using Position = std::tuple<int, int, int>;

Position positionOf(const Shape& shape, int index)
{
    const ShapeVertex& v = shape.vertices[index];
    return Position{v.x, v.y, v.z};
}

// A model as what it shows: each polygon its colour and its corners' positions in order, sorted,
// so that two models compare equal whatever order their tables are in.
using PolygonView = std::pair<int, std::vector<Position>>;
std::vector<PolygonView> polygonsOf(const Shape& shape)
{
    std::vector<PolygonView> polygons;
    for (int p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& polygon = shape.polygons[p];
        PolygonView view{polygon.colourIndex % Palette::kSize, {}};
        for (int k = 0; k < polygon.count; ++k) view.second.push_back(positionOf(shape, polygon.indices[k]));
        polygons.push_back(view);
    }
    std::sort(polygons.begin(), polygons.end());
    return polygons;
}

std::vector<Position> positionsOf(const Shape& shape)
{
    std::vector<Position> positions;
    for (int i = 0; i < shape.vertexCount; ++i) positions.push_back(positionOf(shape, i));
    std::sort(positions.begin(), positions.end());
    return positions;
}

std::map<int, int> polygonsByCount(const Shape& shape)
{
    std::map<int, int> counts;
    for (int p = 0; p < shape.polygonCount; ++p) ++counts[shape.polygons[p].count];
    return counts;
}

std::map<int, int> polygonsByColour(const Shape& shape)
{
    std::map<int, int> counts;
    for (int p = 0; p < shape.polygonCount; ++p) ++counts[shape.polygons[p].colourIndex];
    return counts;
}

// Twice the area of a face, seen along z, from its corners as the viewer has them.
double twiceAreaZ(const Shape& shape, const ShapePolygon& polygon)
{
    double area = 0;
    for (int k = 0; k < polygon.count; ++k) {
        const ShapeVertex& a = shape.vertices[polygon.indices[k]];
        const ShapeVertex& b = shape.vertices[polygon.indices[(k + 1) % polygon.count]];
        area += double(a.x) * b.y - double(b.x) * a.y;
    }
    return area;
}

SourceColour sourceColour(const Rgb& c) { return SourceColour{c[0], c[1], c[2]}; }

// ---- foreign files, end to end ----

TEST(ImportFiles, ObjQuadConcaveHexagonLineAndPoint)
{
    writeTempFile("scene.mtl", objMaterials());
    const Imported result = importFile(writeTempFile("scene.obj", objScene()), {"--scale", "1", "--no-center"});
    ASSERT_EQ(result.run.exitStatus, 0) << result.run.err;
    EXPECT_EQ(result.run.err, "zemconvert: note: 1 point dropped: the format has no points\n"
                              "zemconvert: note: 1 face of more than 5 corners triangulated into 4 triangles\n");
    ASSERT_TRUE(result.loaded.ok) << result.loaded.messages;
    const Shape& shape = result.loaded.shape;
    EXPECT_STREQ(shape.name, "Workshop");
    EXPECT_EQ(shape.vertexCount, 13);  // the point's vertex is used by nothing
    EXPECT_EQ(polygonsByCount(shape), (std::map<int, int>{{2, 2}, {3, 4}, {4, 1}}));
    EXPECT_EQ(polygonsByColour(shape), (std::map<int, int>{{3, 6}, {6, 1}}));
    // The hexagon's triangles cover the L (area 500) once, all turned as it is.
    double area = 0;
    for (int p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& polygon = shape.polygons[p];
        if (polygon.count != 3) continue;
        const double twice = twiceAreaZ(shape, polygon);
        EXPECT_GT(twice, 0) << p;
        area += std::fabs(twice) / 2;
    }
    EXPECT_EQ(area, 500);
    for (int p = 0; p < shape.polygonCount; ++p)
        if (shape.polygons[p].count == 4) {
            const ShapePolygon& quad = shape.polygons[p];
            EXPECT_EQ(positionOf(shape, quad.indices[0]), Position(0, 0, 0));
            EXPECT_EQ(positionOf(shape, quad.indices[1]), Position(40, 0, 0));
            EXPECT_EQ(positionOf(shape, quad.indices[2]), Position(40, 20, 0));
            EXPECT_EQ(positionOf(shape, quad.indices[3]), Position(0, 20, 0));
        }
}

TEST(ImportFiles, BinaryPlyWithVertexColoursFittedToTheView)
{
    const Imported result = importFile(writeTempFile("painted-cube.ply", plyCubeWithVertexColours()));
    ASSERT_EQ(result.run.exitStatus, 0) << result.run.err;
    // Sides of 2 units become 300, and the cube is centred already.
    EXPECT_EQ(result.run.err, "zemconvert: note: scaled by 150 to fit the viewer's first view\n");
    ASSERT_TRUE(result.loaded.ok) << result.loaded.messages;
    const Shape& shape = result.loaded.shape;
    EXPECT_STREQ(shape.name, "painted_cube");
    EXPECT_EQ(shape.vertexCount, 8);
    EXPECT_EQ(polygonsByCount(shape), (std::map<int, int>{{4, 6}}));
    for (int i = 0; i < shape.vertexCount; ++i) {
        EXPECT_EQ(std::abs(shape.vertices[i].x), 150);
        EXPECT_EQ(std::abs(shape.vertices[i].y), 150);
        EXPECT_EQ(std::abs(shape.vertices[i].z), 150);
    }
    // The top face takes the top's colour, the bottom the bottom's, the sides their mean in linear
    // light: half of full red and green is 0.7354 in sRGB; blue's 77 / 255 and 0.6 are 0.0742 and
    // 0.3185 of the light, whose mean 0.1964 is 0.4804.
    const int top = nearestPaletteEntry(SourceColour{1, 1, 77 / 255.f});
    const int bottom = nearestPaletteEntry(SourceColour{0, 0, 0.6f});
    const int side = nearestPaletteEntry(SourceColour{0.7354f, 0.7354f, 0.4804f});
    EXPECT_EQ(top, 14);
    EXPECT_EQ(bottom, 1);
    EXPECT_NE(side, top);
    EXPECT_NE(side, bottom);
    for (int p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& face = shape.polygons[p];
        int ySum = 0;
        for (int k = 0; k < 4; ++k) ySum += shape.vertices[face.indices[k]].y;
        EXPECT_EQ(face.colourIndex, ySum == 600 ? top : ySum == -600 ? bottom : side) << p;
    }
}

TEST(ImportFiles, BinaryStlTrianglesJoinedAtTheirCorners)
{
    const Imported result =
        importFile(writeTempFile("tetrahedron.stl", stlTetrahedron()), {"--scale", "1", "--no-center"});
    ASSERT_EQ(result.run.exitStatus, 0) << result.run.err;
    ASSERT_TRUE(result.loaded.ok) << result.loaded.messages;
    const Shape& shape = result.loaded.shape;
    EXPECT_STREQ(shape.name, "tetrahedron");
    EXPECT_EQ(positionsOf(shape), (std::vector<Position>{{0, 0, 0}, {0, 0, 20}, {0, 20, 0}, {20, 0, 0}}));
    EXPECT_EQ(polygonsByCount(shape), (std::map<int, int>{{3, 4}}));
    EXPECT_EQ(polygonsByColour(shape).size(), 1u);  // STL has no colours: one for all
}

TEST(ImportFiles, GlbMeshesUnderTransformedNodesWithLinesAndPoints)
{
    const Imported result = importFile(writeTempFile("village.glb", glbScene()), {"--scale=1", "--no-center"});
    ASSERT_EQ(result.run.exitStatus, 0) << result.run.err;
    EXPECT_EQ(result.run.err, "zemconvert: note: 2 points dropped: the format has no points\n");
    ASSERT_TRUE(result.loaded.ok) << result.loaded.messages;
    const Shape& shape = result.loaded.shape;
    EXPECT_STREQ(shape.name, "Village");
    // Roof: scaled by 2, moved 100 along x; Wire: moved 10 up, then 100 along x.
    const std::vector<PolygonView> expected = {
        {9, {{100, 10, 0}, {100, 10, 10}}},
        {9, {{100, 10, 10}, {110, 10, 10}}},
        {30, {{100, 0, 0}, {120, 0, 0}, {120, 20, 0}}},
        {30, {{100, 0, 0}, {120, 20, 0}, {100, 20, 0}}},
    };
    EXPECT_EQ(polygonsOf(shape), expected);
    EXPECT_EQ(shape.vertexCount, 7);
}

TEST(ImportFiles, ColladaPentagonsAndLinesPlacedThreeTimes)
{
    const Imported result = importFile(writeTempFile("yard.dae", colladaScene()), {"--scale", "1", "--no-center"});
    ASSERT_EQ(result.run.exitStatus, 0) << result.run.err;
    EXPECT_EQ(result.run.err, "");
    ASSERT_TRUE(result.loaded.ok) << result.loaded.messages;
    const Shape& shape = result.loaded.shape;
    EXPECT_EQ(shape.vertexCount, 15);
    EXPECT_EQ(polygonsByCount(shape), (std::map<int, int>{{2, 3}, {5, 3}}));
    EXPECT_EQ(polygonsByColour(shape), (std::map<int, int>{{21, 6}}));
    const std::vector<PolygonView> polygons = polygonsOf(shape);
    const auto has = [&](const std::vector<Position>& corners) {
        return std::find(polygons.begin(), polygons.end(), PolygonView{21, corners}) != polygons.end();
    };
    EXPECT_TRUE(has({{-20, 0, 0}, {-10, 0, 0}, {-10, 10, 0}, {-15, 15, 0}, {-20, 10, 0}}));    // Left
    EXPECT_TRUE(has({{20, 0, 0}, {20, 0, -10}, {20, 10, -10}, {20, 15, -5}, {20, 10, 0}}));    // Right
    EXPECT_TRUE(has({{20, 20, 0}, {20, 20, -10}, {20, 30, -10}, {20, 35, -5}, {20, 30, 0}}));  // Chimney
    EXPECT_TRUE(has({{20, 20, 0}, {20, 30, -10}}));
}

// ---- round trips through the export, in the model's own units ----

// Exports model (a .zem file) to ext with exportOptions, imports that back, and loads the result.
Parsed roundTrip(const std::string& model, const std::string& ext, std::vector<std::string> exportOptions = {})
{
    static int serial = 0;
    const std::string foreign = tempDir() + "/trip" + std::to_string(++serial) + "." + ext;
    exportOptions.push_back(model);
    exportOptions.push_back(foreign);
    const RunResult exported = convert(exportOptions);
    EXPECT_EQ(exported.exitStatus, 0) << exported.err;
    Imported back = importFile(foreign, {"--scale", "1", "--no-center"});
    EXPECT_EQ(back.run.exitStatus, 0) << back.run.err;
    EXPECT_EQ(back.run.err, "");
    EXPECT_TRUE(back.loaded.ok) << back.loaded.messages;
    return std::move(back.loaded);
}

void expectSameModel(const Shape& original, const Shape& back, const std::string& what)
{
    EXPECT_EQ(positionsOf(back), positionsOf(original)) << what;
    EXPECT_EQ(polygonsOf(back), polygonsOf(original)) << what;
}

TEST(ImportRoundTrip, ObjGivesBackEverySampleModelWithItsSegments)
{
    for (const char* name : {"tetra", "cube", "dodecahedron", "torus", "segments"}) {
        const Parsed original = loadFile(modelPath(std::string(name) + ".zem"));
        ASSERT_TRUE(original.ok) << name;
        const Parsed back = roundTrip(modelPath(std::string(name) + ".zem"), "obj");
        expectSameModel(original.shape, back.shape, name);
        EXPECT_STREQ(back.shape.name, name);
    }
}

// An octahedron of eight triangles in eight colours from both halves of the palette.
std::string octahedronFile()
{
    const std::vector<TextVertex> vertices = {{0, 90, 0},  {90, 0, 0},  {0, 0, 90},
                                              {-90, 0, 0}, {0, 0, -90}, {0, -90, 0}};
    const std::vector<TextPolygon> faces = {{1, {0, 1, 2}},  {2, {0, 2, 3}},  {4, {0, 3, 4}},  {9, {0, 4, 1}},
                                            {13, {5, 2, 1}}, {22, {5, 3, 2}}, {27, {5, 4, 3}}, {31, {5, 1, 4}}};
    return writeTempFile("octahedron.zem", formatModel("octahedron", vertices, faces));
}

TEST(ImportRoundTrip, PlyBinaryAndTextGiveBackModelsOfEveryFaceSizeWithTheirSegments)
{
    for (const std::string& model : {octahedronFile(), modelPath("tetra.zem"), modelPath("cube.zem"),
                                     modelPath("dodecahedron.zem"), modelPath("segments.zem")}) {
        const Parsed original = loadFile(model);
        ASSERT_TRUE(original.ok);
        expectSameModel(original.shape, roundTrip(model, "ply").shape, "binary PLY of " + model);
        expectSameModel(original.shape, roundTrip(model, "ply", {"--ascii"}).shape, "text PLY of " + model);
    }
}

// The fans that a format of triangles and lines makes of a model's faces, from their first corners.
std::vector<PolygonView> fansOf(const Shape& shape)
{
    std::vector<PolygonView> fans;
    for (const PolygonView& polygon : polygonsOf(shape)) {
        const std::vector<Position>& c = polygon.second;
        if (c.size() == 2) fans.push_back(polygon);
        for (std::size_t k = 1; k + 1 < c.size(); ++k) fans.push_back({polygon.first, {c[0], c[k], c[k + 1]}});
    }
    std::sort(fans.begin(), fans.end());
    return fans;
}

TEST(ImportRoundTrip, GltfGivesBackTriangleModelsAndLargerFacesAsTheTrianglesOfTheirFans)
{
    // glTF holds triangles and lines only: a face of 4 or 5 corners comes back as the fan that the
    // export split it into, from its first corner, and is not rebuilt.
    for (const char* ext : {"glb", "gltf"}) {
        const std::string model = octahedronFile();
        const Parsed original = loadFile(model);
        ASSERT_TRUE(original.ok);
        expectSameModel(original.shape, roundTrip(model, ext).shape, ext);

        for (const char* name : {"tetra", "cube", "dodecahedron"}) {
            const Parsed sample = loadFile(modelPath(std::string(name) + ".zem"));
            ASSERT_TRUE(sample.ok);
            const std::vector<PolygonView> fans = fansOf(sample.shape);
            const Parsed back = roundTrip(modelPath(std::string(name) + ".zem"), ext);
            EXPECT_EQ(polygonsOf(back.shape), fans) << name << "." << ext;
            EXPECT_EQ(positionsOf(back.shape), positionsOf(sample.shape)) << name << "." << ext;
        }
    }
}

// A face whose different corners lie on one line has no area, and the viewer draws nothing for
// it, but it is the source's own: a round trip gives it back. Only what rounding or welding made
// degenerate is dropped.
TEST(ImportRoundTrip, FacesWithoutAreaComeBackFromEveryFormat)
{
    const std::vector<TextVertex> vertices = {{0, 0, 0},   {100, 0, 0}, {0, 100, 0},  {50, 0, 0},
                                              {150, 0, 0}, {0, 50, 40}, {0, 100, 80}, {0, 0, 100}};
    const std::vector<TextPolygon> polygons = {
        {3, {0, 1, 2}},     // a face with area
        {4, {0, 3, 1}},     // a triangle on a line, its corners different
        {5, {0, 3, 1, 4}},  // a quad on the same line
        {6, {2, 5, 6, 5}},  // a quad without area that comes back to a corner
        {7, {0, 7}},        // a segment
    };
    const std::string model = writeTempFile("flat-faces.zem", formatModel("flat_faces", vertices, polygons));
    const Parsed original = loadFile(model);
    ASSERT_TRUE(original.ok) << original.messages;
    for (const std::vector<std::string>& format :
         std::vector<std::vector<std::string>>{{"obj"}, {"ply"}, {"ply", "--ascii"}, {"glb"}, {"gltf"}, {"stl"}}) {
        SCOPED_TRACE(format[0] + (format.size() > 1 ? " " + format[1] : ""));
        const Parsed back = roundTrip(model, format[0], {format.begin() + 1, format.end()});
        if (format[0] == "obj" || format[0] == "ply") {
            expectSameModel(original.shape, back.shape, format[0]);
            continue;
        }
        std::vector<PolygonView> fans = fansOf(original.shape);
        if (format[0] == "stl") {
            // No colours and no lines: the triangles' corners are what comes back.
            std::vector<std::vector<Position>> triangles, backTriangles;
            for (const PolygonView& fan : fans)
                if (fan.second.size() == 3) triangles.push_back(fan.second);
            for (const PolygonView& fan : polygonsOf(back.shape)) backTriangles.push_back(fan.second);
            std::sort(triangles.begin(), triangles.end());
            std::sort(backTriangles.begin(), backTriangles.end());
            EXPECT_EQ(backTriangles, triangles);
            continue;
        }
        EXPECT_EQ(polygonsOf(back.shape), fans);
        EXPECT_EQ(positionsOf(back.shape), positionsOf(original.shape));
    }
}

// ---- large and hostile inputs, and errors ----

using Triangles = std::vector<std::array<uint32_t, 3>>;
using Points = std::vector<std::array<double, 3>>;

// The cells of a size x size grid over [-half, half] squared that the triangles cover, seen along
// axis: each cell by its centre, whichever way a triangle turns.
std::vector<char> silhouette(const Points& points, const Triangles& triangles, int axis, int size, double half)
{
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    std::vector<char> covered(std::size_t(size) * size, 0);
    const auto cell = [&](double c) { return (c + half) / (2 * half) * size; };
    for (const auto& t : triangles) {
        double x[3], y[3];
        for (int k = 0; k < 3; ++k) x[k] = cell(points[t[k]][u]), y[k] = cell(points[t[k]][v]);
        const double turn = (x[1] - x[0]) * (y[2] - y[0]) - (y[1] - y[0]) * (x[2] - x[0]);
        if (turn == 0) continue;
        const int left = std::max(0, int(std::floor(std::min({x[0], x[1], x[2]}))));
        const int right = std::min(size - 1, int(std::ceil(std::max({x[0], x[1], x[2]}))));
        const int bottom = std::max(0, int(std::floor(std::min({y[0], y[1], y[2]}))));
        const int top = std::min(size - 1, int(std::ceil(std::max({y[0], y[1], y[2]}))));
        for (int j = bottom; j <= top; ++j)
            for (int i = left; i <= right; ++i) {
                const double px = i + 0.5, py = j + 0.5;
                bool inside = true;
                for (int k = 0; k < 3 && inside; ++k) {
                    const int n = (k + 1) % 3;
                    inside = ((x[n] - x[k]) * (py - y[k]) - (y[n] - y[k]) * (px - x[k])) * turn >= 0;
                }
                if (inside) covered[std::size_t(j) * size + i] = 1;
            }
    }
    return covered;
}

double area(const Points& points, const Triangles& triangles)
{
    double sum = 0;
    for (const auto& t : triangles) {
        const auto& a = points[t[0]];
        const auto& b = points[t[1]];
        const auto& c = points[t[2]];
        const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, w[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        const double n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        sum += std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]) / 2;
    }
    return sum;
}

// Shared cells over cells of either.
double overlap(const std::vector<char>& a, const std::vector<char>& b)
{
    std::size_t both = 0, either = 0;
    for (std::size_t i = 0; i < a.size(); ++i) both += a[i] && b[i], either += a[i] || b[i];
    return either ? double(both) / double(either) : 0;
}

TEST(ImportLarge, TwoHundredThousandColouredTrianglesKeepTheirSilhouetteAndHues)
{
    const TriangleMesh knot = torusKnot(1000, 100);
    ASSERT_EQ(knot.triangles.size(), 200000u);
    const std::string input = writeTempFile("knot.ply", binaryPly(knot));
    const Imported result = importFile(input);
    ASSERT_EQ(result.run.exitStatus, 0) << result.run.err;
    const std::string firstLine = result.run.err.substr(0, result.run.err.find('\n') + 1);
    EXPECT_EQ(result.run.err.find("\nzemconvert: note: simplified from 100000 vertices and 200000 polygons to "),
              firstLine.size() - 1)
        << result.run.err;
    ASSERT_TRUE(result.loaded.ok) << result.loaded.messages;
    const Shape& shape = result.loaded.shape;
    EXPECT_LE(shape.vertexCount, kImportMaxVertices);
    EXPECT_LE(shape.polygonCount, kImportMaxPolygons);
    EXPECT_GT(shape.polygonCount, kImportMaxPolygons / 2);  // used the room it has

    // The source as the import fits it: largest extent kFitExtent, box centred.
    std::array<double, 3> low{INFINITY, INFINITY, INFINITY}, high{-INFINITY, -INFINITY, -INFINITY};
    for (const Point& p : knot.positions)
        for (int k = 0; k < 3; ++k) low[k] = std::min(low[k], double(p[k])), high[k] = std::max(high[k], double(p[k]));
    const double scale = kFitExtent / std::max({high[0] - low[0], high[1] - low[1], high[2] - low[2]});
    // The first note gives that scale exactly, and the move to a thousandth.
    double noted = 0;
    std::array<double, 3> move{};
    EXPECT_EQ(std::sscanf(firstLine.c_str(), "zemconvert: note: scaled by %lf and moved by (%lf, %lf, %lf) to fit",
                          &noted, &move[0], &move[1], &move[2]),
              4)
        << firstLine;
    EXPECT_EQ(noted, scale);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(move[k], -(low[k] + high[k]) / 2 * scale, 0.0005) << k;
    Points source;
    for (const Point& p : knot.positions) {
        std::array<double, 3> fitted;
        for (int k = 0; k < 3; ++k) fitted[k] = (p[k] - (low[k] + high[k]) / 2) * scale;
        source.push_back(fitted);
    }
    Points imported;
    for (int i = 0; i < shape.vertexCount; ++i)
        imported.push_back({double(shape.vertices[i].x), double(shape.vertices[i].y), double(shape.vertices[i].z)});
    Triangles importedTriangles;
    for (int p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& face = shape.polygons[p];
        for (int k = 1; k + 1 < face.count; ++k)
            importedTriangles.push_back(
                {uint32_t(face.indices[0]), uint32_t(face.indices[k]), uint32_t(face.indices[k + 1])});
    }
    // One cell a unit square: the tube is about 33 units across.
    for (int axis = 0; axis < 3; ++axis) {
        const double shared = overlap(silhouette(source, knot.triangles, axis, 320, 160),
                                      silhouette(imported, importedTriangles, axis, 320, 160));
        EXPECT_GT(shared, 0.97) << "seen along axis " << axis;
        std::printf("silhouette overlap along axis %d: %.4f\n", axis, shared);
    }
    // A hole in the tube's near wall hides behind the far one, but not from the area, nor does a
    // fold. Whole-unit corners on triangles of a few square units roughen the surface: about 8%
    // more area here, so a loss of a tenth of the surface, or a doubling, is what this catches.
    const double areaRatio = area(imported, importedTriangles) / area(source, knot.triangles);
    EXPECT_GT(areaRatio, 0.99);
    EXPECT_LT(areaRatio, 1.15);
    std::printf("area of the import over the source's: %.4f\n", areaRatio);
    // The hue runs round once: the six hues' nearest entries all appear.
    const std::map<int, int> colours = polygonsByColour(shape);
    for (const Rgb& hue : std::vector<Rgb>{{1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}, {1, 0, 1}})
        EXPECT_EQ(colours.count(nearestPaletteEntry(sourceColour(hue))), 1u) << hue[0] << hue[1] << hue[2];

    const Imported refused = importFile(input, {"--no-simplify"});
    EXPECT_EQ(refused.run.exitStatus, 1);
    EXPECT_EQ(refused.run.err, firstLine + "zemconvert: " + input +
                                   ": 100000 vertices and 200000 polygons are more than the format's 32768 vertices "
                                   "and 65534 polygons (not simplified: --no-simplify)\n");
}

// One line, "zemconvert: INPUT: why", and no output file.
void expectCleanRefusal(const std::string& input, const std::string& output, const RunResult& run)
{
    EXPECT_EQ(run.exitStatus, 1) << input;
    EXPECT_EQ(run.err.rfind("zemconvert: " + input + ": ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_FALSE(exists(output)) << input;
}

TEST(ImportHostile, TruncatedAndGarbageFilesInEveryFormatAreRefusedInOneLine)
{
    writeTempFile("scene.mtl", objMaterials());
    const std::pair<std::string, std::string> files[] = {{"obj", objScene()},
                                                         {"ply", plyCubeWithVertexColours()},
                                                         {"stl", stlTetrahedron()},
                                                         {"glb", glbScene()},
                                                         {"dae", colladaScene()}};
    uint32_t seed = 12345;
    const auto randomByte = [&] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<char>(seed >> 23);
    };
    const std::string output = tempDir() + "/hostile.zem";
    for (const auto& file : files) {
        const std::string& bytes = file.second;
        // Binary formats say how much follows, and text formats lose what makes a face: every cut
        // is refused, except a text cut that leaves whole faces, which must then load.
        for (int eighth = 0; eighth < 8; ++eighth) {
            const std::string input = writeTempFile("cut." + file.first, bytes.substr(0, bytes.size() * eighth / 8));
            const RunResult run = convertWithinSeconds(20, {input, output});
            if (run.exitStatus == 0) {
                EXPECT_TRUE(file.first == "obj") << input << " cut at " << eighth << "/8 was accepted";
                EXPECT_TRUE(loadFile(output).ok);
                std::remove(output.c_str());
            } else {
                expectCleanRefusal(input, output, run);
            }
        }
        std::string garbage(bytes.size(), '\0');
        for (char& c : garbage) c = randomByte();
        const std::string input = writeTempFile("garbage." + file.first, garbage);
        expectCleanRefusal(input, output, convertWithinSeconds(20, {input, output}));
        // The format's opening kept, the rest garbage.
        const std::string opening = bytes.substr(0, std::min<std::size_t>(bytes.size() / 4, 120));
        const std::string damaged = writeTempFile("damaged." + file.first, opening + garbage);
        expectCleanRefusal(damaged, output, convertWithinSeconds(20, {damaged, output}));
    }
}

TEST(ImportHostile, ReasonsQuotingTheFileAreOneShortLineWithoutControlCharacters)
{
    const std::string output = tempDir() + "/hostile.zem";
    // A face naming a vertex that is not there.
    const std::string badIndex = writeTempFile("bad-index.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 99\n");
    expectCleanRefusal(badIndex, output, convertWithinSeconds(20, {badIndex, output}));
    // A line of one index, where the OBJ reader gives up and leaks (suppressed under the sanitizer).
    const std::string shortLine = writeTempFile("short-line.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nl 1");
    expectCleanRefusal(shortLine, output, convertWithinSeconds(20, {shortLine, output}));
    // The importer's reason quotes the file's name; a name with a terminal escape sequence in it
    // must not reach the terminal through the reason (the name before it is the user's own), and
    // the reason is the tool's own, which quotes nothing.
    const std::string escaping = writeTempFile("evil\x1b[31m" + std::string(200, 'n') + ".xyz", "not a model");
    const RunResult run = convertWithinSeconds(20, {escaping, output});
    expectCleanRefusal(escaping, output, run);
    const std::string reason = run.err.substr(std::min(run.err.size(), ("zemconvert: " + escaping + ": ").size()));
    EXPECT_EQ(reason, "no reader knows this file's format\n");
}

TEST(ImportErrors, MissingFileNoFacesAndUnwritableOutputEachGetOneLine)
{
    const std::string output = tempDir() + "/error.zem";
    const std::string missing = tempDir() + "/missing.obj";
    expectCleanRefusal(missing, output, convert({missing, output}));

    const std::string points = writeTempFile("points.obj", "v 0 0 0\nv 1 0 0\np 1 2\n");
    const RunResult noFaces = convert({points, output});
    EXPECT_EQ(noFaces.exitStatus, 1);
    EXPECT_EQ(noFaces.err, "zemconvert: note: 2 points dropped: the format has no points\n"
                           "zemconvert: " +
                               points + ": no faces or lines to convert\n");
    EXPECT_FALSE(exists(output));

    const std::string input = writeTempFile("tetrahedron.stl", stlTetrahedron());
    const std::string unwritable = tempDir() + "/no-such-folder/out.zem";
    const RunResult run = convert({input, unwritable});
    EXPECT_EQ(run.exitStatus, 1);
    // Found before the import's work: no note of a fit that was never written.
    EXPECT_EQ(run.err, "zemconvert: " + unwritable + ": No such file or directory\n");

    // The importer reads named files: standard input is refused, standard output is not.
    expectCleanRefusal("-", output, convert({"-", output}));
    const RunResult toStandardOutput = convert({"--format", "zem", input, "-"});
    EXPECT_EQ(toStandardOutput.exitStatus, 0) << toStandardOutput.err;
    const std::string written = tempDir() + "/tetrahedron.zem";
    ASSERT_EQ(convert({input, written}).exitStatus, 0);
    EXPECT_EQ(toStandardOutput.out, readFile(written));

    // A failed import leaves an existing output as it was.
    const std::string kept = writeTempFile("kept.zem", "what was there");
    EXPECT_EQ(convert({missing, kept}).exitStatus, 1);
    EXPECT_EQ(readFile(kept), "what was there");
}

}  // namespace
