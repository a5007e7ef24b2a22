// Input tests: the callbacks called directly, with the frames they lead to read back from the window.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <vector>

#include "app/zemview/input.h"
#include "render/viewer.h"
#include "tests/support/gl_support.h"
#include "tools/sample_models.h"

namespace {

class Input : public GlTest {};

TEST_F(Input, leftDragTurnsOneDegreePerPixelNeverWrapped)
{
    onMouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 100, 100);
    EXPECT_TRUE(gRotating);
    onMotion(130, 90);
    EXPECT_EQ(gRotY, 30);
    EXPECT_EQ(gRotX, -10);
    EXPECT_EQ(gLastX, 130);
    EXPECT_EQ(gLastY, 90);
    EXPECT_EQ(gDistance, -500.0);
    onMotion(130 + 330, 90);
    EXPECT_EQ(gRotY, 360);
    onMotion(130 + 400, 90);
    EXPECT_EQ(gRotY, 430);
    onMouse(GLUT_LEFT_BUTTON, GLUT_UP, 0, 0);
    EXPECT_FALSE(gRotating);
    onMotion(500, 500);
    EXPECT_EQ(gRotY, 430);
}

TEST_F(Input, anglesFoldByWholeTurnsOnlyFarBeyondAnyDrag)
{
    onMouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 0, 0);
    // Three hundred thousand drags of a thousand pixels each stay exact.
    for (int drag = 0; drag < 300000; ++drag) {
        onMotion(1000, 0);
        onMouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 0, 0);
    }
    EXPECT_EQ(gRotY, 300000000);
    // Near the end of int, a step folds the sum by whole turns instead of overflowing.
    const long long start = 2147483647LL - 10;
    gRotY = static_cast<int>(start);
    gRotX = -static_cast<int>(start);
    onMotion(100, 100);
    EXPECT_EQ(((gRotY - (start + 100)) % 360 + 360) % 360, 0) << gRotY;
    EXPECT_EQ(((gRotX - (-start + 100)) % 360 + 360) % 360, 0) << gRotX;
    EXPECT_LT(gRotY, 360);
    EXPECT_GT(gRotX, -360);
    // The widest pointer jump an int can report.
    const int before = gRotY;
    onMouse(GLUT_LEFT_BUTTON, GLUT_DOWN, -2147483647 - 1, 0);
    onMotion(2147483647, 0);
    EXPECT_EQ(gRotY, static_cast<int>((before + 4294967295LL) % 360));
}

TEST_F(Input, rightDragZoomsVerticallyOnly)
{
    onMouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, 50, 200);
    EXPECT_TRUE(gZooming);
    onMotion(50, 260);
    EXPECT_EQ(gDistance, -440.0);
    onMotion(300, 260);
    EXPECT_EQ(gDistance, -440.0);
    EXPECT_EQ(gRotX, 0);
    EXPECT_EQ(gRotY, 0);
    EXPECT_EQ(gLastX, 50);  // only a rotate step moves the rotation's last position
}

TEST_F(Input, bothDragsAreMeasuredFromTheirOwnLastPositions)
{
    onMouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 10, 10);
    onMotion(10, 40);  // rotation only: gLastY is 40 now, gLastZoomY still 10
    onMouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, 10, 40);
    onMotion(20, 70);
    EXPECT_EQ(gRotX, 60);
    EXPECT_EQ(gRotY, 10);
    EXPECT_EQ(gDistance, -470.0);
    // Releasing the left button ends the rotation and keeps the zoom.
    onMouse(GLUT_LEFT_BUTTON, GLUT_UP, 20, 70);
    EXPECT_FALSE(gRotating);
    EXPECT_TRUE(gZooming);
    onMotion(20, 100);
    EXPECT_EQ(gRotX, 60);
    EXPECT_EQ(gDistance, -440.0);
}

TEST_F(Input, otherButtonsResetTheLastPositionsOnly)
{
    onMouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, 0, 0);
    onMouse(GLUT_MIDDLE_BUTTON, GLUT_DOWN, 70, 80);
    EXPECT_EQ(gLastX, 70);
    EXPECT_EQ(gLastY, 80);
    EXPECT_EQ(gLastZoomY, 80.0);
    EXPECT_FALSE(gRotating);
    EXPECT_TRUE(gZooming);
    onMouse(7, GLUT_DOWN, 5, 90);  // a wheel step or any other number
    EXPECT_EQ(gLastZoomY, 90.0);
    onMotion(5, 100);
    EXPECT_EQ(gDistance, -490.0);
    onMouse(GLUT_RIGHT_BUTTON, GLUT_UP, 5, 100);
    onMouse(GLUT_MIDDLE_BUTTON, GLUT_DOWN, 0, 0);
    onMotion(300, 300);
    EXPECT_EQ(gRotX, 0);
    EXPECT_EQ(gRotY, 0);
    EXPECT_EQ(gDistance, -490.0);
}

TEST_F(Input, keysToggleTheirFlagsInLowerCaseOnly)
{
    onKeyboard('b', 0, 0);
    EXPECT_FALSE(gBlackBackground);
    onKeyboard('w', 0, 0);
    EXPECT_TRUE(gWireframe);
    for (int key : {66, 76, 83, 87, 120, 32, 13, 200, 255})  // B L S W x blank CR, high codes
        onKeyboard(static_cast<unsigned char>(key), 0, 0);
    EXPECT_FALSE(gBlackBackground);
    EXPECT_TRUE(gWireframe);
    EXPECT_TRUE(gLighting);
    EXPECT_TRUE(gSmooth);
    onKeyboard('b', 0, 0);
    onKeyboard('w', 0, 0);
    EXPECT_TRUE(gBlackBackground);
    EXPECT_FALSE(gWireframe);
}

TEST_F(Input, lightingKeyRecompilesTheListEachTime)
{
    useModel(
        formatModel("square", {{-100, -100, 0}, {100, -100, 0}, {100, 100, 0}, {-100, 100, 0}}, {{25, {0, 1, 2, 3}}}));
    drawModelFrame(windowView());
    const Pixel lit = pixelAt(320, 240);
    onKeyboard('l', 0, 0);
    EXPECT_FALSE(gLighting);
    drawFrame(windowView());
    EXPECT_EQ(pixelAt(320, 240), (Pixel{51, 51, 204}));
    onKeyboard('l', 0, 0);
    EXPECT_TRUE(gLighting);
    drawFrame(windowView());
    EXPECT_EQ(pixelAt(320, 240), lit);
    EXPECT_NE(lit, (Pixel{51, 51, 204}));
}

TEST_F(Input, smoothingKeyRebuildsTheListWhileTheOutlinesShow)
{
    useModel(torusModel(24, 12));
    gRotX = 40;
    gSmooth = false;
    drawModelFrame(windowView());
    const std::vector<unsigned char> flat = backBuffer();
    gSmooth = true;
    drawModelFrame(windowView());
    onKeyboard('w', 0, 0);
    onKeyboard('s', 0, 0);
    EXPECT_FALSE(gSmooth);
    onKeyboard('w', 0, 0);
    drawFrame(windowView());
    EXPECT_EQ(backBuffer(), flat);
}

}  // namespace
