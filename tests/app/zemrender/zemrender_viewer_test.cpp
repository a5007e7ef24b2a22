// zemrender against the viewer: the real zemview window under X, after real keys and drags, pixel for pixel.
#include "tests/support/x_screen.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/zemrender_support.h"

#include <X11/keysym.h>

namespace {

// How the window and the picture differ: nothing when they are the same, pixel for pixel.
std::string difference(const Picture& window, const DecodedPng& png)
{
    if (window.width != png.width || window.height != png.height)
        return "window " + std::to_string(window.width) + "x" + std::to_string(window.height) + ", picture " +
               std::to_string(png.width) + "x" + std::to_string(png.height);
    int count = 0;
    std::string first;
    for (int y = 0; y < png.height; ++y) {
        for (int x = 0; x < png.width; ++x) {
            const unsigned char* p = &png.rgba[static_cast<std::size_t>((y * png.width + x) * 4)];
            const unsigned long rgb = (unsigned long)p[0] << 16 | (unsigned long)p[1] << 8 | p[2];
            if (rgb == window.at(x, y)) continue;
            if (count++ == 0) {
                char text[96];
                std::snprintf(text, sizeof text, " (first at %d, %d: window %06lx, picture %06lx)", x, y,
                              window.at(x, y), rgb);
                first = text;
            }
        }
    }
    return count ? std::to_string(count) + " pixels differ" + first : std::string();
}

// The picture zemrender makes of the model with the options, against what the window shows now.
void expectSame(const Picture& window, const std::string& model, const std::vector<std::string>& options,
                const std::string& name)
{
    const std::string output = freshOutput("viewer-" + name);
    std::vector<std::string> arguments = options;
    arguments.push_back(model);
    arguments.push_back(output);
    const RunResult run = runZemrender(arguments);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(difference(window, readPng(output)), "") << name;
}

struct Step {
    const char* name;
    std::function<void(ScreenDriver&)> act;  // what a user does in the window
    std::vector<std::string> options;        // zemrender's options for the view it leads to
};

void key(ScreenDriver& screen, KeySym symbol)
{
    screen.movePointer(600, 20);  // keys go to the window under the pointer
    screen.pressKey(symbol);
}

class ZemrenderMatchesViewer : public testing::TestWithParam<const char*> {};

TEST_P(ZemrenderMatchesViewer, firstFrameAndEveryViewOption)
{
    const std::string fileName = GetParam();
    const std::string model = modelPath(fileName);
    const Parsed parsed = loadFile(model);
    ASSERT_TRUE(parsed.ok) << parsed.messages;

    ScreenDriver screen;
    ASSERT_TRUE(screen.open()) << "no X display: run under Xvfb";
    ViewerProcess viewer(ZEMVIEW_PATH, model, "viewer-" + fileName);
    ASSERT_NE(screen.findWindow(std::string(ZEMVIEW_PATH) + " - " + parsed.shape.name, std::chrono::seconds(20)), 0u);
    Picture now = screen.firstFrame();
    expectSame(now, model, {}, fileName + "-first");

    // Each toggle is undone before the next, as a user comparing views would; the drags stay, and
    // the last toggles are seen from the turned and nearer view.
    const std::vector<Step> steps = {
        {"white", [](ScreenDriver& s) { key(s, XK_b); }, {"--background", "white"}},
        {"black", [](ScreenDriver& s) { key(s, XK_b); }, {}},
        {"unlit", [](ScreenDriver& s) { key(s, XK_l); }, {"--no-lighting"}},
        {"lit", [](ScreenDriver& s) { key(s, XK_l); }, {}},
        {"flat", [](ScreenDriver& s) { key(s, XK_s); }, {"--flat"}},
        {"smooth", [](ScreenDriver& s) { key(s, XK_s); }, {}},
        {"outline", [](ScreenDriver& s) { key(s, XK_w); }, {"--outline"}},
        {"filled", [](ScreenDriver& s) { key(s, XK_w); }, {}},
        {"turned",
         [](ScreenDriver& s) { s.drag(Button1, 320, 240, 365, 260); },
         {"--rotate-x", "20", "--rotate-y", "45"}},
        {"nearer",
         [](ScreenDriver& s) { s.drag(Button3, 320, 100, 320, 300); },
         {"--rotate-x", "20", "--rotate-y", "45", "--distance", "-300"}},
        {"turned-flat-unlit",
         [](ScreenDriver& s) {
             key(s, XK_s);
             key(s, XK_l);
         },
         {"--rotate-x", "20", "--rotate-y", "45", "--distance", "-300", "--flat", "--no-lighting"}},
        {"turned-outline-white",
         [](ScreenDriver& s) {
             key(s, XK_w);
             key(s, XK_b);
         },
         {"--rotate-x", "20", "--rotate-y", "45", "--distance", "-300", "--flat", "--no-lighting", "--outline",
          "--background", "white"}},
    };
    for (const Step& step : steps) {
        step.act(screen);
        now = screen.nextPicture(now);
        expectSame(now, model, step.options, fileName + "-" + step.name);
    }
}

INSTANTIATE_TEST_SUITE_P(SampleModels, ZemrenderMatchesViewer,
                         testing::Values("cube.zem", "dodecahedron.zem", "segments.zem", "torus.zem"),
                         [](const testing::TestParamInfo<const char*>& param) {
                             std::string name = param.param;
                             return name.substr(0, name.find('.'));
                         });

}  // namespace
