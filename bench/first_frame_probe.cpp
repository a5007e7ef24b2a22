// First-frame probe: preloaded into the viewer, it ends the process once the first frame is on the
// screen, so that the process's run time is the time from its start to its first drawn frame.
#include <GL/gl.h>
#include <GL/glx.h>
#include <dlfcn.h>
#include <unistd.h>

extern "C" void glXSwapBuffers(Display* display, GLXDrawable drawable)
{
    using Swap = void (*)(Display*, GLXDrawable);
    const auto swap = reinterpret_cast<Swap>(dlsym(RTLD_NEXT, "glXSwapBuffers"));
    if (swap) swap(display, drawable);
    glFinish();
    XSync(display, False);
    _exit(0);
}
