// X test support: the viewer run as a real process, and its window found, read and driven by real X events.
#pragma once

// gtest first: the X headers define None, Bool and Status as macros.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <X11/Xlib.h>

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned long> pixels;  // 0xRRGGBB, rows from the top
    unsigned long at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
    bool operator==(const Picture& o) const { return pixels == o.pixels; }
    // How many pixels of the row differ from the background at its left end.
    int widthOnRow(int y) const;
};

inline int channel(unsigned long pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xff); }

// The program at programPath on a model, started with its streams in files named after name in the
// test's temporary folder, and a private folder of its own as its working folder.
class ViewerProcess {
public:
    ViewerProcess(const std::string& programPath, const std::string& model, const std::string& name);
    ~ViewerProcess();  // kills the program if it still runs
    // The exit status once it has ended within the time given, or -1.
    int waitForExit(std::chrono::milliseconds limit);
    std::string folder() const { return folder_; }
    std::string outPath() const;
    std::string errPath() const;

private:
    pid_t pid_ = -1;
    std::string name_;
    std::string folder_;
};

// The display in DISPLAY, one window on it at a time found by its title.
class ScreenDriver {
public:
    ScreenDriver();
    ~ScreenDriver();
    ScreenDriver(const ScreenDriver&) = delete;
    ScreenDriver& operator=(const ScreenDriver&) = delete;
    bool open() const { return display_ != nullptr; }

    Window findWindow(const std::string& title, std::chrono::milliseconds limit);
    Picture capture();

    // Waits until the window shows a picture other than before and keeps it for a moment.
    Picture nextPicture(const Picture& before);

    // Waits until the window shows a picture with the property, and keeps it for a moment.
    template <typename Property>
    Picture pictureWhere(Property property);

    // The first frame: the window may be mapped before it is drawn, so this waits for a picture that
    // is not all one colour.
    Picture firstFrame();

    void movePointer(int x, int y);
    void pressKey(KeySym key);
    void drag(unsigned int button, int fromX, int fromY, int toX, int toY);

private:
    Window search(Window window, const std::string& title);

    Display* display_;
    Window window_ = 0;
};

template <typename Property>
Picture ScreenDriver::pictureWhere(Property property)
{
    using Clock = std::chrono::steady_clock;
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
