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
    // with error naming what is missing. With samples (4, say), the drawing is multisampled, up to
    // what the renderer offers, which smooths the model's edges; with 0 it has the pixels of the
    // viewer's window.
    bool open(std::string& error, int samples = 0);

    // The largest width and height the renderer can draw into, known once open() succeeded.
    int maxWidth() const { return maxWidth_; }
    int maxHeight() const { return maxHeight_; }

    // A drawing surface of width x height, 8 bits a channel with alpha and 24-bit depth, made
    // current (with samples, a multisampled framebuffer of that size is bound to draw into). Sizes
    // within maxWidth() x maxHeight() only. False with error saying why.
    bool allocate(int width, int height, std::string& error);

    // Bytes the picture takes with channels (3 for RGB, 4 for RGBA) a pixel.
    std::size_t pictureBytes(int channels) const;

    // Waits for the drawing and reads it into pixels (pictureBytes(channels) bytes): rows from the
    // bottom, as OpenGL numbers them, each width * channels bytes with no padding. With 4 channels
    // the colours are straight, not multiplied by their alpha, as a PNG keeps them.
    void readPicture(unsigned char* pixels, int channels) const;

    int width() const { return width_; }
    int height() const { return height_; }

private:
    bool fail(const std::string& what);
    bool openDisplay();
    bool chooseConfig(void*& chosen);
    bool createContext(int samples);
    bool makeSurface(int width, int height);
    bool makeMultisampled();

    void* display_ = nullptr;  // EGLDisplay
    void* config_ = nullptr;   // EGLConfig
    void* context_ = nullptr;  // EGLContext
    void* surface_ = nullptr;  // EGLSurface, a pbuffer
    int maxWidth_ = 0;
    int maxHeight_ = 0;
    int width_ = 0;
    int height_ = 0;
    int samples_ = 0;               // a pixel, once open() succeeded; 0 draws into the surface itself
    unsigned int framebuffer_ = 0;  // the multisampled framebuffer and its two renderbuffers, or 0
    unsigned int colour_ = 0;
    unsigned int depth_ = 0;
    std::string error_;  // why the step that failed did, until open() or allocate() hands it on
};
