// The viewer window: GLUT set-up, event loop, and the display and reshape callbacks.
#include "render/viewer.h"

#include <GL/freeglut.h>

#include <cstdio>

#include "model/shape.h"

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
    drawFrame();
    glutSwapBuffers();
}

void onReshape(int width, int height)
{
    setProjection(width, height);
    glutPostRedisplay();
}
