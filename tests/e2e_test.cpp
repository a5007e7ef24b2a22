// End-to-end test: the real program on a sample model, found by its title and driven by real X input events.
// gtest first: the X headers define None, Bool and Status as macros.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/test_support.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned long> pixels;  // 0xRRGGBB, rows from the top
    unsigned long at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
    bool operator==(const Picture& o) const { return pixels == o.pixels; }
    // How many pixels of the row differ from the background at its left end.
    int widthOnRow(int y) const
    {
        int n = 0;
        for (int x = 0; x < width; ++x) n += at(x, y) != at(0, y);
        return n;
    }
};

int channel(unsigned long pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xff); }

// The program, started with its streams in files of a private folder that is also its working folder.
class Viewer {
public:
    explicit Viewer(const std::string& model)
    {
        folder_ = tempDir() + "/e2e-run";
        mkdir(folder_.c_str(), 0700);
        pid_ = fork();
        if (pid_ == 0) {
            if (chdir(folder_.c_str()) != 0) _exit(126);
            freopen("/dev/null", "r", stdin);
            freopen((tempDir() + "/e2e.out").c_str(), "w", stdout);
            freopen((tempDir() + "/e2e.err").c_str(), "w", stderr);
            execl(ZEMVIEW_PATH, ZEMVIEW_PATH, model.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Viewer()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    // The exit status once it has ended within the time given, or -1.
    int waitForExit(std::chrono::milliseconds limit)
    {
        const auto deadline = Clock::now() + limit;
        do {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (Clock::now() < deadline);
        return -1;
    }
    std::string folder() const { return folder_; }

private:
    pid_t pid_ = -1;
    std::string folder_;
};

class Screen {
public:
    Screen() : display_(XOpenDisplay(nullptr)) {}
    ~Screen()
    {
        if (display_) XCloseDisplay(display_);
    }
    bool open() const { return display_ != nullptr; }

    Window findWindow(const std::string& title, std::chrono::milliseconds limit)
    {
        const auto deadline = Clock::now() + limit;
        while (Clock::now() < deadline) {
            const Window found = search(DefaultRootWindow(display_), title);
            XWindowAttributes attributes;
            if (found && XGetWindowAttributes(display_, found, &attributes) && attributes.map_state == IsViewable) {
                window_ = found;
                return found;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return 0;
    }

    Picture capture()
    {
        Picture picture;
        XWindowAttributes attributes;
        XGetWindowAttributes(display_, window_, &attributes);
        XImage* image = XGetImage(display_, window_, 0, 0, static_cast<unsigned>(attributes.width),
                                  static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
        if (!image) return picture;
        picture.width = attributes.width;
        picture.height = attributes.height;
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x) picture.pixels.push_back(XGetPixel(image, x, y) & 0xffffff);
        XDestroyImage(image);
        return picture;
    }

    // Waits until the window shows a picture other than before and keeps it for a moment.
    Picture nextPicture(const Picture& before)
    {
        return pictureWhere([&](const Picture& p) { return !(p == before); });
    }

    // Waits until the window shows a picture with the property, and keeps it for a moment.
    template <typename Property>
    Picture pictureWhere(Property property)
    {
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        Picture now = capture();
        while (!property(now) && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            now = capture();
        }
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            Picture settled = capture();
            if (settled == now || Clock::now() > deadline) return settled;
            now = settled;
        }
    }

    void movePointer(int x, int y)
    {
        int rootX = 0;
        int rootY = 0;
        Window child;
        XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), x, y, &rootX, &rootY, &child);
        XTestFakeMotionEvent(display_, DefaultScreen(display_), rootX, rootY, CurrentTime);
        XSync(display_, False);
    }

    void pressKey(KeySym key)
    {
        const KeyCode code = XKeysymToKeycode(display_, key);
        XTestFakeKeyEvent(display_, code, True, CurrentTime);
        XTestFakeKeyEvent(display_, code, False, CurrentTime);
        XSync(display_, False);
    }

    void drag(unsigned int button, int fromX, int fromY, int toX, int toY)
    {
        movePointer(fromX, fromY);
        XTestFakeButtonEvent(display_, button, True, CurrentTime);
        XSync(display_, False);
        for (int step = 1; step <= 10; ++step) {
            movePointer(fromX + (toX - fromX) * step / 10, fromY + (toY - fromY) * step / 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        XTestFakeButtonEvent(display_, button, False, CurrentTime);
        XSync(display_, False);
    }

private:
    Window search(Window window, const std::string& title)
    {
        char* name = nullptr;
        if (XFetchName(display_, window, &name) && name) {
            const bool match = title == name;
            XFree(name);
            if (match) return window;
        }
        Window root;
        Window parent;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display_, window, &root, &parent, &children, &count)) return 0;
        Window found = 0;
        for (unsigned int i = 0; i < count && !found; ++i) found = search(children[i], title);
        if (children) XFree(children);
        return found;
    }

    Display* display_;
    Window window_ = 0;
};

TEST(EndToEnd, aUserTurnsZoomsAndTogglesTheCubeThenQuits)
{
    Screen screen;
    ASSERT_TRUE(screen.open()) << "no X display: run under Xvfb";
    Viewer viewer(modelPath("cube.zem"));
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
    EXPECT_EQ(readFile(tempDir() + "/e2e.out"),
              "ZEM model editor/viewer, by the zemview authors\nversion 0.4, viewing only\n");
    EXPECT_EQ(readFile(tempDir() + "/e2e.err"), "");
    EXPECT_EQ(rmdir(viewer.folder().c_str()), 0) << "the program wrote nothing into its working folder";
}

}  // namespace
