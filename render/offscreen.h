// OffscreenCanvas: an OpenGL context with no window and no display server, drawing into a pbuffer.
#pragma once

#include <cstddef>
#include <string>

// Mesa's surfaceless EGL platform gives a compatibility-profile context (display lists and glBegin)
// with no X server and no GPU: the software rasteriser runs where no device is. The canvas stays
// current on the calling thread from open() to its destruction.
class OffscreenCanvas {
public:
    OffscreenCanvas() = default;
    OffscreenCanvas(const OffscreenCanvas&) = delete;
    OffscreenCanvas& operator=(const OffscreenCanvas&) = delete;
    ~OffscreenCanvas();

    // Starts EGL on the surfaceless platform and makes a context current without any surface. False
    // with error naming what is missing.
    bool open(std::string& error);

    // The largest width and height the renderer can draw into, known once open() succeeded.
    int maxWidth() const { return maxWidth_; }
    int maxHeight() const { return maxHeight_; }

    // A drawing surface of width x height, 8 bits a channel with alpha and 24-bit depth, made
    // current. Sizes within maxWidth() x maxHeight() only. False with error saying why.
    bool allocate(int width, int height, std::string& error);

    // Bytes the picture takes with channels (3 for RGB, 4 for RGBA) a pixel.
    std::size_t pictureBytes(int channels) const;

    // Waits for the drawing and reads it into pixels (pictureBytes(channels) bytes): rows from the
    // bottom, as OpenGL numbers them, each width * channels bytes with no padding.
    void readPicture(unsigned char* pixels, int channels) const;

    int width() const { return width_; }
    int height() const { return height_; }

private:
    bool fail(const std::string& what);
    bool openDisplay();
    bool chooseConfig(void*& chosen);
    bool createContext();
    bool makeSurface(int width, int height);

    void* display_ = nullptr;  // EGLDisplay
    void* config_ = nullptr;   // EGLConfig
    void* context_ = nullptr;  // EGLContext
    void* surface_ = nullptr;  // EGLSurface, a pbuffer
    int maxWidth_ = 0;
    int maxHeight_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::string error_;  // why the step that failed did, until open() or allocate() hands it on
};
