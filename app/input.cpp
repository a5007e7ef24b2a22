// Mouse and keyboard: toggles, quitting, and rotate and zoom drags measured from their own last positions.
#include "app/input.h"

#include <GL/freeglut.h>

#include <cstdlib>

#include "model/shape.h"
#include "render/scene.h"

bool gRotating = false;
bool gZooming = false;
int gLastX = 0;
int gLastY = 0;
double gLastZoomY = 0.0;

namespace {

constexpr unsigned char kEscape = 27;

// Lighting and smoothing are baked into display list 1, so their toggles rebuild it at once,
// also while the outline view hides it.
void recompileShapeList() { gShape.compileList(kShapeList, gLighting, gSmooth); }

}  // namespace

void resetDragState()
{
    gRotating = false;
    gZooming = false;
    gLastX = 0;
    gLastY = 0;
    gLastZoomY = 0.0;
}

void onKeyboard(unsigned char key, int x, int y)
{
    (void)x;
    (void)y;
    switch (key) {
    case kEscape:
        glDeleteLists(kShapeList, 1);
        std::exit(0);
    case 'b':
        gBlackBackground = !gBlackBackground;
        break;
    case 'l':
        gLighting = !gLighting;
        recompileShapeList();
        break;
    case 's':
        gSmooth = !gSmooth;
        recompileShapeList();
        break;
    case 'w':
        gWireframe = !gWireframe;
        break;
    default:
        break;
    }
    glutPostRedisplay();
}

void onMouse(int button, int state, int x, int y)
{
    // Every button event, whatever its button, restarts both drags' measurements from here.
    gLastX = x;
    gLastY = y;
    gLastZoomY = static_cast<double>(y);
    if (button == GLUT_LEFT_BUTTON)
        gRotating = state == GLUT_DOWN;
    else if (button == GLUT_RIGHT_BUTTON)
        gZooming = state == GLUT_DOWN;
}

void onMotion(int x, int y)
{
    if (gRotating) {
        gRotY += x - gLastX;  // one pixel is one degree
        gRotX += y - gLastY;
        gLastX = x;
        gLastY = y;
    }
    if (gZooming) {
        gDistance += static_cast<double>(y) - gLastZoomY;  // one pixel is one model unit
        gLastZoomY = static_cast<double>(y);
    }
    glutPostRedisplay();
}
