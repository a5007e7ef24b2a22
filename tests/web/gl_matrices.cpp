// gl_matrices: the projection and model-view matrices as the desktop renderer itself computes them
// for the viewer's views, read back from a real context (EGL, no display): the oracle for the web
// page's own single-precision computation of them. Reads "rotX rotY distance width height" lines
// and prints each matrix's 16 floats as the hex of their bits, projection first.
#include <GL/gl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "render/offscreen.h"
#include "render/scene.h"

namespace {

void printMatrix(GLenum which)
{
    GLfloat m[16];
    glGetFloatv(which, m);
    for (int i = 0; i < 16; ++i) {
        uint32_t bits;
        std::memcpy(&bits, &m[i], sizeof bits);
        std::printf("%08x%c", bits, i == 15 ? '\n' : ' ');
    }
}

}  // namespace

int main()
{
    OffscreenCanvas canvas;
    std::string error;
    if (!canvas.open(error)) {
        std::fprintf(stderr, "gl_matrices: %s\n", error.c_str());
        return 1;
    }
    int rotX = 0, rotY = 0, width = 0, height = 0;
    double distance = 0.0;
    while (std::scanf("%d %d %lf %d %d", &rotX, &rotY, &distance, &width, &height) == 5) {
        setProjection(width, height);
        printMatrix(GL_PROJECTION_MATRIX);
        // The viewer's frame turns and moves the model with these three calls (render/scene.cpp).
        glTranslated(0.0, 0.0, distance);
        glRotated(static_cast<double>(rotX), 1.0, 0.0, 0.0);
        glRotated(static_cast<double>(rotY), 0.0, 1.0, 0.0);
        printMatrix(GL_MODELVIEW_MATRIX);
    }
    return 0;
}
