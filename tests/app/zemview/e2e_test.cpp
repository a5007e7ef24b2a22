// End-to-end test: the real program on a sample model, found by its title and driven by real X input events.
#include "tests/support/x_screen.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "tests/support/test_support.h"

#include <X11/keysym.h>

namespace {

TEST(EndToEnd, aUserTurnsZoomsAndTogglesTheCubeThenQuits)
{
    ScreenDriver screen;
    ASSERT_TRUE(screen.open()) << "no X display: run under Xvfb";
    ViewerProcess viewer(ZEMVIEW_PATH, modelPath("cube.zem"), "e2e");
    ASSERT_NE(screen.findWindow(std::string(ZEMVIEW_PATH) + " - cube", std::chrono::seconds(20)), 0u)
        << "no window titled after the program and the shape";

    // The window may be mapped before its first frame is drawn: wait for the cube in the middle.
    Picture first = screen.pictureWhere([](const Picture& p) { return p.width == 640 && p.at(320, 240) != 0; });
    ASSERT_EQ(first.width, 640);
    ASSERT_EQ(first.height, 480);
    EXPECT_EQ(first.at(5, 5), 0x000000u) << "the first frame clears to black";
    const unsigned long litFront = first.at(320, 240);
    EXPECT_NE(litFront, 0x000000u) << "the cube's front face is in the middle";
    const int startWidth = first.widthOnRow(240);
    screen.movePointer(600, 20);  // keys go to the window under the pointer

    screen.pressKey(XK_b);
    Picture white = screen.nextPicture(first);
    EXPECT_EQ(white.at(5, 5), 0xffffffu) << "b turns the background white";
    screen.pressKey(XK_b);
    EXPECT_EQ(screen.nextPicture(white), first);

    screen.pressKey(XK_l);
    Picture unlit = screen.nextPicture(first);
    // The front face is palette entry 10, (0.3, 1, 0.3), shown flat with lighting off.
    const unsigned long flat = unlit.at(320, 240);
    EXPECT_NEAR(channel(flat, 16), 77, 1);
    EXPECT_EQ(channel(flat, 8), 255);
    EXPECT_NEAR(channel(flat, 0), 77, 1);
    EXPECT_EQ(unlit.at(250, 200), flat) << "without lighting the face is one colour";
    screen.pressKey(XK_l);
    EXPECT_EQ(screen.nextPicture(unlit), first);

    screen.pressKey(XK_s);
    Picture faceted = screen.nextPicture(first);
    EXPECT_EQ(faceted.at(250, 200), faceted.at(390, 280)) << "face normals light a face evenly";
    EXPECT_NE(first.at(250, 200), first.at(390, 280)) << "vertex normals shade across the face";
    screen.pressKey(XK_s);
    EXPECT_EQ(screen.nextPicture(faceted), first);

    screen.pressKey(XK_w);
    Picture outlines = screen.nextPicture(first);
    EXPECT_EQ(outlines.at(320, 240), 0x000000u) << "outlines leave the faces unfilled";
    int whitePixels = 0;
    for (unsigned long pixel : outlines.pixels) whitePixels += pixel == 0xffffffu;
    EXPECT_GT(whitePixels, 400) << "white outlines";
    screen.pressKey(XK_w);
    EXPECT_EQ(screen.nextPicture(outlines), first);

    screen.drag(Button1, 320, 240, 365, 240);  // 45 degrees about Y
    Picture turned = screen.nextPicture(first);
    // Edge-on, the cube spans its diagonal: about 328 pixels against the front face's 290.
    EXPECT_GT(turned.widthOnRow(240), startWidth * 11 / 10) << "a left drag turns the cube edge-on";
    screen.drag(Button3, 320, 100, 320, 300);  // 200 units nearer
    Picture nearer = screen.nextPicture(turned);
    EXPECT_GT(nearer.widthOnRow(240), turned.widthOnRow(240) * 3 / 2) << "a right drag downwards brings it nearer";

    screen.movePointer(600, 20);
    screen.pressKey(XK_Escape);
    EXPECT_EQ(viewer.waitForExit(std::chrono::milliseconds(1000)), 0)
        << "Escape ends the program at once with status 0";
    EXPECT_EQ(readFile(viewer.outPath()),
              "ZEM model editor/viewer, by the zemview authors\nversion 0.4, viewing only\n");
    EXPECT_EQ(readFile(viewer.errPath()), "");
    EXPECT_EQ(rmdir(viewer.folder().c_str()), 0) << "the program wrote nothing into its working folder";
}

}  // namespace
