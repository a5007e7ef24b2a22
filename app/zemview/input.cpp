// Mouse and keyboard: toggles, quitting, and rotate and zoom drags measured from their own last positions.
#include "app/zemview/input.h"

#include <GL/freeglut.h>

#include <cstdint>
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

// Angles stay exact for any drag a hand can make; beyond a billion degrees they are folded by
// whole turns, which turns the model the same way, so that no sum can overflow.
constexpr int64_t kFoldBeyond = int64_t(1) << 30;

int addDegrees(int angle, int64_t step)
{
    int64_t sum = static_cast<int64_t>(angle) + step;
    if (sum > kFoldBeyond || sum < -kFoldBeyond) sum %= 360;
    return static_cast<int>(sum);
}

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
        // One pixel is one degree; pointer positions are any ints, so their difference is wide.
        gRotY = addDegrees(gRotY, static_cast<int64_t>(x) - gLastX);
        gRotX = addDegrees(gRotX, static_cast<int64_t>(y) - gLastY);
        gLastX = x;
        gLastY = y;
    }
    if (gZooming) {
        gDistance += static_cast<double>(y) - gLastZoomY;  // one pixel is one model unit
        gLastZoomY = static_cast<double>(y);
    }
    glutPostRedisplay();
}
