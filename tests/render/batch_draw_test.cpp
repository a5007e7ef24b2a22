// Batched drawing tests: every pixel of each view drawn by the viewer against the per-polygon oracle.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "render/scene.h"
#include "testlib/draw_oracle.h"
#include "testlib/views.h"
#include "tests/support/gl_support.h"
#include "tests/support/test_support.h"
#include "tools/sample_models.h"

namespace {

// One frame of gShape in the view set by compileView, read back.
std::vector<unsigned char> frame(const SceneView& scene, View view, bool oracle)
{
    drawView(scene, view, oracle);
    glFinish();
    return backBuffer();
}

// Empty when the pictures agree, else how many pixels differ and the first of them.
std::string difference(const std::vector<unsigned char>& expected, const std::vector<unsigned char>& actual)
{
    long differing = 0;
    std::ostringstream first;
    for (std::size_t i = 0; i < expected.size(); i += 3) {
        if (expected[i] == actual[i] && expected[i + 1] == actual[i + 1] && expected[i + 2] == actual[i + 2]) continue;
        if (differing++ == 0) {
            const std::size_t pixel = i / 3;
            first << " first at (" << pixel % 640 << ", " << 479 - pixel / 640 << "): oracle "
                  << Pixel{expected[i], expected[i + 1], expected[i + 2]} << ", drawn "
                  << Pixel{actual[i], actual[i + 1], actual[i + 2]};
        }
    }
    if (differing == 0) return {};
    return std::to_string(differing) + " pixels differ;" + first.str();
}

long nonBackgroundPixels(const std::vector<unsigned char>& pixels, unsigned char background)
{
    long count = 0;
    for (std::size_t i = 0; i < pixels.size(); i += 3)
        count += pixels[i] != background || pixels[i + 1] != background || pixels[i + 2] != background;
    return count;
}

struct Turn {
    int rotX, rotY;
};

// Every view on both backgrounds at each turn. A picture that is all background would agree
// with anything, so each oracle picture must show at least minimumShown pixels of the model.
// All the oracle's pictures come first: with the address sanitizer, Mesa takes seconds to compile
// the oracle's many small list entries right after one large batch.
void expectSamePictures(const std::string& model, const std::vector<Turn>& turns, long minimumShown = 500)
{
    std::vector<std::vector<unsigned char>> expected;
    SceneView scene;
    for (bool oracle : {true, false}) {
        std::size_t picture = 0;
        for (const Turn& turn : turns)
            for (View view : kViews)
                for (bool black : {true, false}) {
                    scene.rotX = turn.rotX;
                    scene.rotY = turn.rotY;
                    scene.blackBackground = black;
                    // One compile serves both backgrounds.
                    if (black || view == View::outline) compileView(scene, view, oracle);
                    const std::vector<unsigned char> pixels = frame(scene, view, oracle);
                    if (oracle) {
                        expected.push_back(pixels);
                        continue;
                    }
                    const std::string where = model + ", " + viewName(view) + ", " + (black ? "black" : "white") +
                                              " background, turned " + std::to_string(turn.rotX) + "/" +
                                              std::to_string(turn.rotY);
                    // White outlines on white show nothing, by design.
                    if (black || view != View::outline) {
                        EXPECT_GE(nonBackgroundPixels(expected[picture], black ? 0 : 255), minimumShown) << where;
                    }
                    const std::string diff = difference(expected[picture++], pixels);
                    EXPECT_TRUE(diff.empty()) << where << ": " << diff;
                }
    }
}

// Models with what batching could get wrong: vertices on lattices in three planes, so that faces
// share corners and edges and overlap coplanar faces (ties in depth); polygons of 2 to 5 indices,
// segments first and among the faces, faces with repeated or collinear corners, and colours
// that change at every polygon or hold for long runs.
std::string featureModel(uint32_t seed, bool longRuns, int polygons = 400)
{
    std::mt19937 random(seed);
    auto below = [&random](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    constexpr int kColumns = 9, kRows = 7, kStep = 30;
    const int planes[] = {-60, 0, 45};
    std::vector<TextVertex> vertices;
    for (int z : planes)
        for (int row = 0; row < kRows; ++row)
            for (int column = 0; column < kColumns; ++column)
                vertices.push_back({(column - kColumns / 2) * kStep, (row - kRows / 2) * kStep, z});
    const int lattice = static_cast<int>(vertices.size());
    for (int i = 0; i < 24; ++i) vertices.push_back({below(301) - 150, below(301) - 150, below(301) - 150});
    auto at = [&](int plane, int column, int row) { return plane * kColumns * kRows + row * kColumns + column; };

    std::vector<TextPolygon> list;
    int colour = below(32);
    for (int p = 0; p < polygons; ++p) {
        if (longRuns ? below(25) == 0 : true) colour = (colour + 1 + below(31)) % 32;
        std::vector<int> indices;
        const int plane = below(3);
        const int column = below(kColumns - 2), row = below(kRows - 1);
        const int kind = p < 6 ? 0 : below(6);
        switch (kind) {
        case 0:  // a segment, often along a lattice edge that faces share
            if (below(2))
                indices = {at(plane, column, row), at(plane, column + 1, row)};
            else
                indices = {below(lattice), below(static_cast<int>(vertices.size()))};
            break;
        case 1:  // a lattice cell as a quad, or as two triangles that share its diagonal
            if (below(2)) {
                indices = {at(plane, column, row), at(plane, column + 1, row), at(plane, column + 1, row + 1),
                           at(plane, column, row + 1)};
            } else {
                list.push_back(
                    {colour, {at(plane, column, row), at(plane, column + 1, row), at(plane, column + 1, row + 1)}});
                indices = {at(plane, column, row), at(plane, column + 1, row + 1), at(plane, column, row + 1)};
            }
            break;
        case 2:  // two cells as a pentagon with one corner on a straight edge
            indices = {at(plane, column, row), at(plane, column + 1, row), at(plane, column + 2, row),
                       at(plane, column + 2, row + 1), at(plane, column, row + 1)};
            break;
        case 3: {  // any corners of one plane: overlapping, often non-convex, faces in that plane
            const int count = 3 + below(3);
            for (int k = 0; k < count; ++k) indices.push_back(at(plane, below(kColumns), below(kRows)));
            break;
        }
        case 4: {  // degenerate: a repeated corner, or three corners on one line
            if (below(2)) {
                const int count = 3 + below(3);
                for (int k = 0; k < count; ++k) indices.push_back(at(plane, below(kColumns), below(kRows)));
                indices[1 + below(count - 1)] = indices[0];
            } else {
                indices = {at(plane, column, row), at(plane, column + 1, row), at(plane, column + 2, row)};
            }
            break;
        }
        default: {  // corners anywhere, in and out of the planes
            const int count = 3 + below(3);
            for (int k = 0; k < count; ++k) indices.push_back(below(static_cast<int>(vertices.size())));
            break;
        }
        }
        list.push_back({colour, indices});
    }
    return formatModel("features", vertices, list);
}

const std::vector<Turn> kTurns = {{0, 0}, {35, -50}, {200, 70}};

class BatchDraw : public GlTest {};

TEST_F(BatchDraw, sampleModelsLookTheSameInEveryView)
{
    for (const char* name : {"tetra.zem", "cube.zem", "dodecahedron.zem", "torus.zem", "segments.zem"}) {
        useModel(readFile(modelPath(name)));
        expectSamePictures(name, kTurns);
    }
}

TEST_F(BatchDraw, randomModelsWithColourChangesAtEveryPolygon)
{
    for (uint32_t seed : {1u, 2u, 3u}) {
        useModel(featureModel(seed, false));
        expectSamePictures("seed " + std::to_string(seed), kTurns);
    }
}

TEST_F(BatchDraw, randomModelsWithLongColourRuns)
{
    for (uint32_t seed : {11u, 12u, 13u}) {
        useModel(featureModel(seed, true));
        expectSamePictures("seed " + std::to_string(seed), kTurns);
    }
}

}  // namespace

namespace {

// Drawn directly instead of through list 1, the solid drawing still gives the viewer's pictures.
// (The per-polygon drawing does not: drawn directly, its colours with lighting off come out
// interpolated, a step off here and there, where in a list they stay as set.)
TEST_F(BatchDraw, theSolidDrawingDrawnDirectlyGivesTheListsPictures)
{
    SceneView scene;
    scene.rotX = 35;
    scene.rotY = -50;
    for (const std::string& model : {featureModel(21, false), featureModel(22, true), dodecahedronModel()}) {
        useModel(model);
        for (View view : {View::litSmooth, View::litFlat, View::unlit}) {
            compileView(scene, view, true);
            const std::vector<unsigned char> expected = frame(scene, view, true);
            frameDrawnBy(scene, [](const SceneView& drawn) { gShape.drawSolid(drawn.lighting, drawn.smooth); });
            glFinish();
            EXPECT_GE(nonBackgroundPixels(expected, 0), 500);
            const std::string diff = difference(expected, backBuffer());
            EXPECT_TRUE(diff.empty()) << viewName(view) << ": " << diff;
        }
    }
}

// Sixty thousand triangles in one batch outgrow any buffer the list compiler starts with.
TEST_F(BatchDraw, terrainLooksTheSame)
{
    useModel(terrainModel());
    expectSamePictures("terrain", {{35, -20}});
}

}  // namespace

namespace {

TEST_F(BatchDraw, theListAndTheOutlinesLeaveTheStateAsTheyFoundIt)
{
    useModel(featureModel(5, false, 60));
    for (bool lighting : {true, false}) {
        gShape.compileList(kShapeList, lighting, true);
        glCallList(kShapeList);
        GLint shadeModel = 0;
        glGetIntegerv(GL_SHADE_MODEL, &shadeModel);
        EXPECT_EQ(shadeModel, GL_SMOOTH) << "lighting " << lighting;
    }
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    gShape.drawWireframe();
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
    GLvoid* pointer = &pointer;
    glGetPointerv(GL_VERTEX_ARRAY_POINTER, &pointer);
    EXPECT_EQ(pointer, nullptr);
    // The drawing records into list 1 only and makes no list of its own.
    for (GLuint list = 2; list < 64; ++list) EXPECT_FALSE(glIsList(list)) << list;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

#ifndef NDEBUG
// The drawing trusts the loader's guarantees; builds that keep asserts stop on a broken record.
TEST(BatchDrawDeath, aBrokenRecordStopsTheDrawing)
{
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    useModel(featureModel(6, false, 20));
    gShape.polygons[3].count = 6;
    EXPECT_DEATH(gShape.drawWireframe(), "count <= kMaxPolygonIndices");
    gShape.polygons[3].count = 3;
    gShape.polygons[3].indices[1] = static_cast<int16_t>(gShape.vertexCount);
    EXPECT_DEATH(gShape.compileList(kShapeList, true, true), "vertexCount");
}
#endif

TEST(Terrain, isAHeightFieldOfUpwardTrianglesInLongColourRuns)
{
    Parsed terrain = parseText(terrainModel());
    ASSERT_TRUE(terrain.ok && terrain.shape.computeNormals()) << terrain.messages;
    EXPECT_EQ(terrain.shape.vertexCount, 178 * 178);
    EXPECT_EQ(terrain.shape.polygonCount, 2 * 177 * 177);
    int runs = 1;
    for (int32_t p = 0; p < terrain.shape.polygonCount; ++p) {
        const ShapePolygon& face = terrain.shape.polygons[p];
        ASSERT_EQ(face.count, 3);
        EXPECT_GT(face.faceNormal.y, 0.0f) << "face " << p;
        if (p > 0) runs += face.colourIndex != terrain.shape.polygons[p - 1].colourIndex;
    }
    EXPECT_LT(runs, terrain.shape.polygonCount / 20);
    EXPECT_GT(runs, 100);
}

}  // namespace
