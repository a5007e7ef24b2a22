// OffscreenCanvas: EGL on Mesa's surfaceless platform, a compatibility-profile context and a pbuffer.
#include "render/offscreen.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// What to install when EGL has nothing to offer: the vendor library that provides the platform, and
// the drivers it loads.
constexpr const char* kEglPackage = "the Mesa EGL driver (Debian package libegl-mesa0)";
constexpr const char* kDriverPackage = "Mesa's drivers (Debian package libgl1-mesa-dri)";

const char* eglErrorName(EGLint code)
{
    switch (code) {
    case EGL_SUCCESS:
        return "no error";
    case EGL_NOT_INITIALIZED:
        return "EGL_NOT_INITIALIZED";
    case EGL_BAD_ACCESS:
        return "EGL_BAD_ACCESS";
    case EGL_BAD_ALLOC:
        return "EGL_BAD_ALLOC";
    case EGL_BAD_ATTRIBUTE:
        return "EGL_BAD_ATTRIBUTE";
    case EGL_BAD_CONFIG:
        return "EGL_BAD_CONFIG";
    case EGL_BAD_CONTEXT:
        return "EGL_BAD_CONTEXT";
    case EGL_BAD_DISPLAY:
        return "EGL_BAD_DISPLAY";
    case EGL_BAD_MATCH:
        return "EGL_BAD_MATCH";
    case EGL_BAD_PARAMETER:
        return "EGL_BAD_PARAMETER";
    default:
        return "EGL error";
    }
}

bool hasExtension(const char* list, const char* name)
{
    if (!list) return false;
    const std::size_t length = std::strlen(name);
    for (const char* at = std::strstr(list, name); at; at = std::strstr(at + 1, name))
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0')) return true;
    return false;
}

// Samples of the transparent clear (0, 0, 0, 0) and of opaque fragments average to colours already
// multiplied by their coverage; a PNG wants them divided back out. Opaque and clear pixels stay as
// they are.
void straightenAlpha(unsigned char* rgba, std::size_t bytes)
{
    for (std::size_t i = 0; i < bytes; i += 4) {
        const unsigned alpha = rgba[i + 3];
        if (alpha == 0 || alpha == 255) continue;
        for (std::size_t c = i; c < i + 3; ++c)
            rgba[c] = static_cast<unsigned char>(std::min(255u, (rgba[c] * 255u + alpha / 2) / alpha));
    }
}

}  // namespace

OffscreenCanvas::~OffscreenCanvas()
{
    if (!display_) return;
    const EGLDisplay display = static_cast<EGLDisplay>(display_);
    if (framebuffer_) {
        glDeleteFramebuffers(1, &framebuffer_);
        const GLuint names[2] = {colour_, depth_};
        glDeleteRenderbuffers(2, names);
    }
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (surface_) eglDestroySurface(display, static_cast<EGLSurface>(surface_));
    if (context_) eglDestroyContext(display, static_cast<EGLContext>(context_));
    eglTerminate(display);
    eglReleaseThread();
}

bool OffscreenCanvas::fail(const std::string& what)
{
    error_ = what;
    return false;
}

bool OffscreenCanvas::open(std::string& error, int samples)
{
    if (openDisplay() && createContext(samples)) return true;
    error = error_;
    return false;
}

bool OffscreenCanvas::openDisplay()
{
    // Mesa would otherwise add its own warnings to our one line when no driver loads; a user who
    // wants them sets EGL_LOG_LEVEL.
    setenv("EGL_LOG_LEVEL", "fatal", 0);
    // The platform is asked for by name: the default display would look for an X server.
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    const auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!hasExtension(clientExtensions, "EGL_MESA_platform_surfaceless") || !getPlatformDisplay)
        return fail(std::string("no EGL platform for drawing without a display: install ") + kEglPackage);
    const EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY)
        return fail(std::string("no EGL device for drawing without a display: install ") + kEglPackage);
    EGLint major = 0;
    EGLint minor = 0;
    if (!eglInitialize(display, &major, &minor))
        return fail(std::string("no EGL device for drawing without a display (") + eglErrorName(eglGetError()) +
                    "): install " + kDriverPackage);
    display_ = display;
    return true;
}

// An RGBA configuration of 8 bits a channel with 24-bit depth and no multisampling: the viewer's
// window pixels, and an alpha channel for a transparent background.
bool OffscreenCanvas::chooseConfig(void*& chosen)
{
    const EGLDisplay display = static_cast<EGLDisplay>(display_);
    const EGLint wanted[] = {EGL_RENDERABLE_TYPE,
                             EGL_OPENGL_BIT,
                             EGL_SURFACE_TYPE,
                             EGL_PBUFFER_BIT,
                             EGL_RED_SIZE,
                             8,
                             EGL_GREEN_SIZE,
                             8,
                             EGL_BLUE_SIZE,
                             8,
                             EGL_ALPHA_SIZE,
                             8,
                             EGL_DEPTH_SIZE,
                             24,
                             EGL_NONE};
    EGLConfig configs[64];
    EGLint count = 0;
    if (!eglChooseConfig(display, wanted, configs, 64, &count)) count = 0;
    for (EGLint i = 0; i < count; ++i) {
        EGLint red = 0, green = 0, blue = 0, alpha = 0, depth = 0, samples = 0;
        eglGetConfigAttrib(display, configs[i], EGL_RED_SIZE, &red);
        eglGetConfigAttrib(display, configs[i], EGL_GREEN_SIZE, &green);
        eglGetConfigAttrib(display, configs[i], EGL_BLUE_SIZE, &blue);
        eglGetConfigAttrib(display, configs[i], EGL_ALPHA_SIZE, &alpha);
        eglGetConfigAttrib(display, configs[i], EGL_DEPTH_SIZE, &depth);
        eglGetConfigAttrib(display, configs[i], EGL_SAMPLES, &samples);
        if (red == 8 && green == 8 && blue == 8 && alpha == 8 && depth == 24 && samples == 0) {
            chosen = configs[i];
            return true;
        }
    }
    return fail(std::string("EGL offers no 8-bit RGBA configuration with depth for desktop OpenGL: install ") +
                kDriverPackage);
}

bool OffscreenCanvas::createContext(int samples)
{
    const EGLDisplay display = static_cast<EGLDisplay>(display_);
    if (!hasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context"))
        return fail(std::string("EGL cannot make a context current without a surface: install ") + kEglPackage);
    if (!eglBindAPI(EGL_OPENGL_API))
        return fail(std::string("EGL offers no desktop OpenGL: install ") + kDriverPackage);
    if (!chooseConfig(config_)) return false;
    // Display lists and glBegin exist only in the compatibility profile.
    const EGLint contextAttributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                        EGL_NONE};
    const EGLContext context =
        eglCreateContext(display, static_cast<EGLConfig>(config_), EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT)
        return fail(std::string("no compatibility-profile OpenGL context (") + eglErrorName(eglGetError()) +
                    "): install " + kDriverPackage);
    context_ = context;
    // Current without a surface, to learn the limits before a surface of the asked size is made.
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context))
        return fail(std::string("the OpenGL context cannot be made current (") + eglErrorName(eglGetError()) + ")");
    // The drawing surface is a buffer of the renderer's own, bound by its viewport and buffer
    // limits. EGL_MAX_PBUFFER_WIDTH is no help: Mesa reports a fixed 4096 there and does not hold
    // to it.
    GLint viewport[2] = {0, 0};
    GLint buffer = 0;
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &buffer);
    maxWidth_ = std::min(viewport[0], buffer);
    maxHeight_ = std::min(viewport[1], buffer);
    // Samples asked for but not offered give as many as there are: hard edges rather than no picture.
    GLint most = 0;
    if (samples > 0) glGetIntegerv(GL_MAX_SAMPLES, &most);
    samples_ = std::min(samples, static_cast<int>(most));
    return true;
}

bool OffscreenCanvas::allocate(int width, int height, std::string& error)
{
    if (makeSurface(width, height) && (samples_ < 2 || makeMultisampled())) return true;
    error = error_;
    return false;
}

// A pbuffer rather than a framebuffer object: the renderer treats it as a window's buffer, with the
// same orientation and rasterisation rules as the viewer's window, so the pixels match it exactly.
bool OffscreenCanvas::makeSurface(int width, int height)
{
    if (width < 1 || height < 1 || width > maxWidth_ || height > maxHeight_)
        return fail("size " + std::to_string(width) + "x" + std::to_string(height) +
                    " is beyond the renderer's limit of " + std::to_string(maxWidth_) + "x" +
                    std::to_string(maxHeight_));
    const EGLDisplay display = static_cast<EGLDisplay>(display_);
    const EGLint attributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    const EGLSurface surface = eglCreatePbufferSurface(display, static_cast<EGLConfig>(config_), attributes);
    if (surface == EGL_NO_SURFACE) {
        const EGLint code = eglGetError();
        return fail(code == EGL_BAD_ALLOC
                        ? "out of memory for a picture of " + std::to_string(width) + "x" + std::to_string(height)
                        : std::string("no drawing surface (") + eglErrorName(code) + ")");
    }
    surface_ = surface;
    if (!eglMakeCurrent(display, surface, surface, static_cast<EGLContext>(context_)))
        return fail(std::string("the drawing surface cannot be made current (") + eglErrorName(eglGetError()) + ")");
    width_ = width;
    height_ = height;
    return true;
}

// A multisampled framebuffer of the surface's size takes the drawing, and is resolved into the
// surface when the picture is read. Mesa's multisampled EGL configurations are no help: reading
// one gives a single sample of each pixel, with edges as hard as without.
bool OffscreenCanvas::makeMultisampled()
{
    GLuint names[2] = {0, 0};
    glGenFramebuffers(1, &framebuffer_);
    glGenRenderbuffers(2, names);
    colour_ = names[0];
    depth_ = names[1];
    glBindRenderbuffer(GL_RENDERBUFFER, colour_);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples_, GL_RGBA8, width_, height_);
    glBindRenderbuffer(GL_RENDERBUFFER, depth_);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples_, GL_DEPTH_COMPONENT24, width_, height_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) return true;
    const GLenum code = glGetError();
    return fail(code == GL_OUT_OF_MEMORY
                    ? "out of memory for a picture of " + std::to_string(width_) + "x" + std::to_string(height_) +
                          " with " + std::to_string(samples_) + " samples a pixel"
                    : std::string("no multisampled drawing surface"));
}

std::size_t OffscreenCanvas::pictureBytes(int channels) const
{
    return static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * static_cast<std::size_t>(channels);
}

void OffscreenCanvas::readPicture(unsigned char* pixels, int channels) const
{
    if (framebuffer_) {
        // Each pixel becomes the mean of its samples: the share of it that the model covers.
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glBlitFramebuffer(0, 0, width_, height_, 0, 0, width_, height_, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, channels == 4 ? GL_RGBA : GL_RGB, GL_UNSIGNED_BYTE, pixels);
    if (channels == 4) straightenAlpha(pixels, pictureBytes(4));
}
