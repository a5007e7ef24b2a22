// GL test support: the test binary's GLUT window (under Xvfb in CI), model set-up and pixel read-back.
#include "tests/support/gl_support.h"

#include <GL/freeglut.h>

#include <cstring>
#include <ostream>

#include "app/zemview/input.h"
#include "render/viewer.h"

std::ostream& operator<<(std::ostream& out, const Pixel& p)
{
    return out << "(" << p.r << ", " << p.g << ", " << p.b << ")";
}

std::vector<unsigned char> backBuffer()
{
    std::vector<unsigned char> pixels(640 * 480 * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, 640, 480, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

Pixel pixelAt(int x, int y)
{
    unsigned char rgb[3] = {0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(x, 479 - y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    return {rgb[0], rgb[1], rgb[2]};
}

void useModel(const std::string& text)
{
    gShape = Shape();
    const bool parsed = gShape.parse(text.data(), text.data() + text.size());
    ASSERT_TRUE(parsed && gShape.computeNormals()) << text;
}

void drawModelFrame(const SceneView& view)
{
    gShape.compileList(kShapeList, view.lighting, view.smooth);
    drawFrame(view);
    glFinish();
}

void GlTest::SetUp()
{
    resetWindowView();
    resetDragState();
    setProjection(kWindowWidth, kWindowHeight);
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    openViewerWindow(argv[0], "zemview GL tests");
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    glutDisplayFunc([] {});  // the tests draw when they choose; the toolkit insists on a callback
    for (int i = 0; i < 10; ++i) glutMainLoopEvent();
    initScene();
    return RUN_ALL_TESTS();
}
