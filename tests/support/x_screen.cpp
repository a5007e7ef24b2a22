// X test support: the viewer as a child process, and its window found by title, captured and driven with XTest.
#include "tests/support/x_screen.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "tests/support/test_support.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

int Picture::widthOnRow(int y) const
{
    int n = 0;
    for (int x = 0; x < width; ++x) n += at(x, y) != at(0, y);
    return n;
}

ViewerProcess::ViewerProcess(const std::string& programPath, const std::string& model, const std::string& name)
    : name_(name)
{
    folder_ = tempDir() + "/" + name + "-run";
    mkdir(folder_.c_str(), 0700);
    const std::string out = outPath();
    const std::string err = errPath();
    pid_ = fork();
    if (pid_ == 0) {
        if (chdir(folder_.c_str()) != 0) _exit(126);
        if (!freopen("/dev/null", "r", stdin) || !freopen(out.c_str(), "w", stdout) ||
            !freopen(err.c_str(), "w", stderr))
            _exit(126);
        execl(programPath.c_str(), programPath.c_str(), model.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
}

ViewerProcess::~ViewerProcess()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

std::string ViewerProcess::outPath() const { return tempDir() + "/" + name_ + ".out"; }
std::string ViewerProcess::errPath() const { return tempDir() + "/" + name_ + ".err"; }

int ViewerProcess::waitForExit(std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    do {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < deadline);
    return -1;
}

// Xvfb resets itself when its last client leaves, and refuses connections meanwhile: the tests
// that come after a closed window try again for a moment.
ScreenDriver::ScreenDriver() : display_(XOpenDisplay(nullptr))
{
    for (int attempt = 0; !display_ && attempt < 100; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        display_ = XOpenDisplay(nullptr);
    }
}

ScreenDriver::~ScreenDriver()
{
    if (display_) XCloseDisplay(display_);
}

Window ScreenDriver::findWindow(const std::string& title, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
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

Picture ScreenDriver::capture()
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

Picture ScreenDriver::nextPicture(const Picture& before)
{
    return pictureWhere([&](const Picture& p) { return !(p == before); });
}

Picture ScreenDriver::firstFrame()
{
    return pictureWhere([](const Picture& p) {
        for (unsigned long pixel : p.pixels)
            if (pixel != p.pixels.front()) return true;
        return false;
    });
}

void ScreenDriver::movePointer(int x, int y)
{
    int rootX = 0;
    int rootY = 0;
    Window child;
    XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display_, DefaultScreen(display_), rootX, rootY, CurrentTime);
    XSync(display_, False);
}

void ScreenDriver::pressKey(KeySym key)
{
    const KeyCode code = XKeysymToKeycode(display_, key);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XSync(display_, False);
}

void ScreenDriver::drag(unsigned int button, int fromX, int fromY, int toX, int toY)
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

Window ScreenDriver::search(Window window, const std::string& title)
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
