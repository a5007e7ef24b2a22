// The viewer window: GLUT set-up, event loop, and the display and reshape callbacks.
#include "render/viewer.h"

#include <GL/freeglut.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "model/console.h"
#include "model/shape.h"

#ifdef __FREEGLUT_EXT_H__
namespace {

// The toolkit's own failure ends the process with status 1 after a line in its words; the viewer
// ends with status 0 on every path and speaks for itself, so its failures come here instead.
void onToolkitError(const char* format, va_list arguments)
{
    char detail[512];
    std::vsnprintf(detail, sizeof detail, format, arguments);
    char line[640];
    if (std::strncmp(format, "failed to open display", 22) == 0) {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display)
            std::snprintf(line, sizeof line,
                          "cannot open the viewer's window: DISPLAY is not set (no display to show it on)");
        else
            std::snprintf(line, sizeof line, "cannot open the viewer's window: no display answers at DISPLAY=%s",
                          display);
    } else {
        std::snprintf(line, sizeof line, "cannot go on with the viewer's window: %s", detail);
    }
    reportError(line);
    std::exit(0);
}

void onToolkitWarning(const char* format, va_list arguments)
{
    char detail[512];
    std::vsnprintf(detail, sizeof detail, format, arguments);
    char line[600];
    std::snprintf(line, sizeof line, "window warning: %s", detail);
    reportError(line);
}

}  // namespace
#endif

Array<char> formatTitle(const char* programPath, const char* shapeName)
{
    const int length = std::snprintf(nullptr, 0, "%s - %s", programPath, shapeName);
    if (length < 0) return nullptr;
    const std::size_t size = static_cast<std::size_t>(length) + 1;
    Array<char> title = allocateArray<char>(size, "the window title's characters");
    if (title) std::snprintf(title.get(), size, "%s - %s", programPath, shapeName);
    return title;
}

void openViewerWindow(const char* programPath, const char* title)
{
    int toolkitArgc = 1;
    char* toolkitArgv[] = {const_cast<char*>(programPath), nullptr};
#ifdef __FREEGLUT_EXT_H__
    glutInitErrorFunc(onToolkitError);
    glutInitWarningFunc(onToolkitWarning);
#endif
    glutInit(&toolkitArgc, toolkitArgv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(kWindowWidth, kWindowHeight);
    glutInitWindowPosition(kWindowX, kWindowY);
    glutCreateWindow(title);
}

void runViewer(const char* programPath, const InputCallbacks& input)
{
    const Array<char> title = formatTitle(programPath, gShape.name);
    openViewerWindow(programPath, title ? title.get() : programPath);
    initScene();
    gShape.compileList(kShapeList, gLighting, gSmooth);
    glutReshapeFunc(onReshape);
    glutDisplayFunc(onDisplay);
    glutKeyboardFunc(input.keyboard);
    glutMouseFunc(input.mouse);
    glutMotionFunc(input.motion);
    glutMainLoop();
}

void onDisplay()
{
    drawFrame(windowView());
    glutSwapBuffers();
}

void onReshape(int width, int height)
{
    setProjection(width, height);
    glutPostRedisplay();
}
