// Drawing tests: real OpenGL in a real GLUT window, read back pixel by pixel.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "render/scene.h"
#include "render/viewer.h"
#include "tests/support/gl_support.h"
#include "tools/sample_models.h"

namespace {

// A square facing the viewer at file depth z, half-size h, centred on (cx, cy), wound as given.
std::vector<TextVertex> squareCorners(int h, int z, int cx = 0, int cy = 0)
{
    return {{cx - h, cy - h, z}, {cx + h, cy - h, z}, {cx + h, cy + h, z}, {cx - h, cy + h, z}};
}

std::string squareModel(int colour, int z = 0, int h = 100)
{
    return formatModel("square", squareCorners(h, z), {{colour, {0, 1, 2, 3}}});
}

// Screen pixels per model unit at the start distance of 500, for a 640 x 480 window.
const double kPixelsPerUnit = 240.0 / (500.0 * std::tan(22.5 * std::acos(-1.0) / 180.0));

class Render : public GlTest {
protected:
    SceneView view;  // the view the test draws in, from the viewer's start
};

TEST_F(Render, paletteColoursWithLightingOffAreExact)
{
    view.lighting = false;
    const std::vector<std::pair<int, Pixel>> cases = {{4, {153, 0, 0}},      {16, {0, 0, 0}},     {31, {204, 204, 204}},
                                                      {15, {255, 255, 255}}, {25, {51, 51, 204}}, {36, {153, 0, 0}}};
    for (const auto& [colour, expected] : cases) {
        useModel(squareModel(colour));
        drawModelFrame(view);
        EXPECT_EQ(pixelAt(320, 240), expected) << "colour " << colour;
    }
}

TEST_F(Render, backgroundClearsToBlackOrWhite)
{
    useModel("SHAPE e_shape = { 0, 0, 0 }; VECTOR {} SPOLY {}");
    drawModelFrame(view);
    EXPECT_EQ(pixelAt(5, 5), (Pixel{0, 0, 0}));
    view.blackBackground = false;
    drawModelFrame(view);
    EXPECT_EQ(pixelAt(5, 5), (Pixel{255, 255, 255}));
    EXPECT_EQ(pixelAt(320, 240), (Pixel{255, 255, 255}));
}

TEST_F(Render, bothWindingsAreFilled)
{
    view.lighting = false;
    useModel(formatModel("back", squareCorners(100, 0), {{4, {3, 2, 1, 0}}}));
    drawModelFrame(view);
    EXPECT_EQ(pixelAt(320, 240), (Pixel{153, 0, 0}));
}

TEST_F(Render, segmentsAreDrawnInTheirColourAfterEveryFilledPolygon)
{
    view.lighting = false;
    // The segment comes first in the table and lies in the square's plane: drawn after the square,
    // it loses the depth test where they overlap and shows only beyond the square's edge.
    std::vector<TextVertex> vertices = squareCorners(100, 0);
    vertices.push_back({-180, 0, 0});
    vertices.push_back({180, 0, 0});
    useModel(formatModel("segment", vertices, {{2, {4, 5}}, {4, {0, 1, 2, 3}}}));
    drawModelFrame(view);
    const int outside = 320 + static_cast<int>(150 * kPixelsPerUnit);
    int row = -1;
    for (int y = 230; y <= 250 && row < 0; ++y)
        if (pixelAt(outside, y) == (Pixel{0, 153, 0})) row = y;
    ASSERT_GE(row, 0) << "no segment pixel beside the square";
    EXPECT_EQ(pixelAt(320, row), (Pixel{153, 0, 0}));
}

TEST_F(Render, outlineViewDrawsWhiteEdgesOnly)
{
    useModel(squareModel(4));
    view.wireframe = true;
    drawModelFrame(view);
    EXPECT_EQ(pixelAt(320, 240), (Pixel{0, 0, 0}));
    int white = 0;
    for (int x = 150; x < 320; ++x) white += pixelAt(x, 240) == (Pixel{255, 255, 255});
    EXPECT_GE(white, 1);
    EXPECT_LE(white, 3);

    view.blackBackground = false;
    drawModelFrame(view);
    const std::vector<unsigned char> pixels = backBuffer();
    for (std::size_t i = 0; i < pixels.size(); ++i) ASSERT_EQ(pixels[i], 255) << "byte " << i;
}

TEST_F(Render, smoothAndFlatShadingDiffer)
{
    useModel(torusModel(36, 18));
    view.rotX = 30;
    drawModelFrame(view);
    const std::vector<unsigned char> smooth = backBuffer();
    view.smooth = false;
    drawModelFrame(view);
    const std::vector<unsigned char> flat = backBuffer();
    int differing = 0;
    for (std::size_t i = 0; i < smooth.size(); i += 3) differing += smooth[i] != flat[i];
    EXPECT_GT(differing, 2000);
}

TEST_F(Render, litFacesTowardsTheLightAreBrighter)
{
    // Two squares side by side, one facing the viewer and one turned away; the light is in front.
    std::vector<TextVertex> vertices = squareCorners(60, 0, -100);
    for (const TextVertex& v : squareCorners(60, 0, 100)) vertices.push_back(v);
    // Stored with y negated, corners 0..3 run clockwise seen from the eye: their normal points away.
    useModel(formatModel("lit", vertices, {{4, {0, 1, 2, 3}}, {4, {7, 6, 5, 4}}}));
    drawModelFrame(view);
    const Pixel away = pixelAt(320 - static_cast<int>(100 * kPixelsPerUnit), 240);
    const Pixel towards = pixelAt(320 + static_cast<int>(100 * kPixelsPerUnit), 240);
    EXPECT_GT(towards.r, away.r + 40) << towards << " " << away;
    EXPECT_GT(away.r, 0);
}

TEST_F(Render, reshapeKeepsTheAspectRatioAndAFiniteProjection)
{
    double m[16];
    setProjection(480, 640);
    glGetDoublev(GL_PROJECTION_MATRIX, m);
    EXPECT_NEAR(m[5] / m[0], 0.75, 1e-6);
    setProjection(640, 481);
    glGetDoublev(GL_PROJECTION_MATRIX, m);
    EXPECT_NEAR(m[5] / m[0], 640.0 / 481.0, 1e-6);
    setProjection(640, 0);
    glGetDoublev(GL_PROJECTION_MATRIX, m);
    for (double v : m) EXPECT_TRUE(std::isfinite(v));
    setProjection(640, 480);
}

TEST_F(Render, theModelTurnsAboutYFirstThenX)
{
    view.lighting = false;
    // A small cube at x = 150: Y by 90 takes it to z = -150, then X by 90 up to y = 150 on screen.
    std::vector<TextVertex> vertices;
    for (int i = 0; i < 8; ++i) vertices.push_back({150 + (i & 1 ? 20 : -20), i & 2 ? 20 : -20, i & 4 ? 20 : -20});
    std::vector<TextPolygon> faces = {{4, {0, 1, 3, 2}}, {4, {4, 5, 7, 6}}, {4, {0, 1, 5, 4}},
                                      {4, {2, 3, 7, 6}}, {4, {0, 2, 6, 4}}, {4, {1, 3, 7, 5}}};
    useModel(formatModel("marker", vertices, faces));
    const int offset = static_cast<int>(150 * kPixelsPerUnit);
    drawModelFrame(view);
    EXPECT_EQ(pixelAt(320 + offset, 240), (Pixel{153, 0, 0}));
    view.rotX = 90;
    view.rotY = 90;
    drawModelFrame(view);
    EXPECT_EQ(pixelAt(320, 240 - offset), (Pixel{153, 0, 0}));
    EXPECT_EQ(pixelAt(320 + offset, 240), (Pixel{0, 0, 0}));
    EXPECT_EQ(pixelAt(320, 240), (Pixel{0, 0, 0}));
    // 360 degrees looks like none.
    view.rotX = 360;
    view.rotY = -720;
    drawModelFrame(view);
    EXPECT_EQ(pixelAt(320 + offset, 240), (Pixel{153, 0, 0}));
}

TEST_F(Render, geometryBeyondTheFarPlaneIsClipped)
{
    view.lighting = false;
    useModel(squareModel(4, -2400, 600));  // 2900 units from the eye
    drawModelFrame(view);
    EXPECT_EQ(pixelAt(320, 240), (Pixel{153, 0, 0}));
    useModel(squareModel(4, -2600, 600));  // 3100 units from the eye
    drawModelFrame(view);
    EXPECT_EQ(pixelAt(320, 240), (Pixel{0, 0, 0}));
}

TEST_F(Render, theListRestoresLightingAndCulling)
{
    useModel(squareModel(4));
    view.lighting = false;
    gShape.compileList(kShapeList, view.lighting, view.smooth);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    glCallList(kShapeList);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    gShape.drawWireframe();
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Render, anEmptyModelDrawsNothing)
{
    useModel("SHAPE e_shape = { 0, 0, 0 }; VECTOR {} SPOLY {}");
    drawModelFrame(view);
    view.wireframe = true;
    drawModelFrame(view);
    const std::vector<unsigned char> pixels = backBuffer();
    for (std::size_t i = 0; i < pixels.size(); ++i) ASSERT_EQ(pixels[i], 0) << "byte " << i;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(Title, holdsThePathAndTheNameWhole)
{
    EXPECT_STREQ(formatTitle("./zemview", "tetra").get(), "./zemview - tetra");
    EXPECT_STREQ(formatTitle("zemview", "").get(), "zemview - ");
    const std::string path(5000, 'p');
    const std::string name(203, 'n');
    EXPECT_EQ(std::string(formatTitle(path.c_str(), name.c_str()).get()), path + " - " + name);
}

}  // namespace
