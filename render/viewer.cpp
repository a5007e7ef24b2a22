// The viewer window: view state, window set-up, one-time scene state, frame and reshape.
#include "viewer.h"

#include <GL/freeglut.h>
#include <GL/glu.h>

#include <cstdio>
#include <memory>

#include "model/allocate.h"
#include "model/shape.h"

bool gBlackBackground = true;
bool gLighting = true;
bool gSmooth = true;
bool gWireframe = false;
int gRotX = 0;
int gRotY = 0;
double gDistance = -500.0;
float gLightPosition[4] = {500.0f, 500.0f, 1000.0f, 0.0f};

Array<char> formatTitle(const char* programPath, const char* shapeName)
{
    const int length = std::snprintf(nullptr, 0, "%s - %s", programPath, shapeName);
    if (length < 0) return nullptr;
    const std::size_t size = static_cast<std::size_t>(length) + 1;
    Array<char> title = allocateArray<char>(size, "window title");
    if (title) std::snprintf(title.get(), size, "%s - %s", programPath, shapeName);
    return title;
}

void runViewer(const char* programPath, const InputCallbacks& input)
{
    // freeglut must be initialised before its first window; it is handed word 0 alone, so that
    // no word of the command line is taken as a toolkit option.
    int toolkitArgc = 1;
    char* toolkitArgv[] = {const_cast<char*>(programPath), nullptr};
    glutInit(&toolkitArgc, toolkitArgv);

    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(640, 480);
    glutInitWindowPosition(100, 100);
    const Array<char> title = formatTitle(programPath, gShape.name);
    glutCreateWindow(title ? title.get() : programPath);
    initScene();
    gShape.compileList(kShapeList, gLighting, gSmooth);
    glutReshapeFunc(onReshape);
    glutDisplayFunc(onDisplay);
    glutKeyboardFunc(input.keyboard);
    glutMouseFunc(input.mouse);
    glutMotionFunc(input.motion);
    glutMainLoop();
}

// Leaves: lighting on with light 0 (its position comes with each frame), depth test on, colour
// material on both faces from the current colour, white specular at shininess 128, counter-
// clockwise front faces, back faces culled (the solid list switches culling off), alpha blending.
void initScene()
{
    const GLfloat ambient[] = {0.3f, 0.3f, 0.3f, 1.0f};
    const GLfloat diffuse[] = {0.7f, 0.7f, 0.7f, 1.0f};
    const GLfloat white[] = {1.0f, 1.0f, 1.0f, 1.0f};
    glEnable(GL_LIGHTING);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, white);
    glEnable(GL_LIGHT0);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_COLOR_MATERIAL);
    glFrontFace(GL_CCW);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, white);
    glMateriali(GL_FRONT_AND_BACK, GL_SHININESS, 128);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void drawFrame()
{
    glClearDepth(1.0);
    if (gBlackBackground)
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    else
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // The modelview matrix is the identity here, so the light stays fixed to the eye.
    glLightfv(GL_LIGHT0, GL_POSITION, gLightPosition);
    glPushMatrix();
    glTranslated(0.0, 0.0, gDistance);
    glRotated(static_cast<double>(gRotX), 1.0, 0.0, 0.0);
    glRotated(static_cast<double>(gRotY), 0.0, 1.0, 0.0);
    if (gWireframe)
        gShape.drawWireframe();
    else
        glCallList(kShapeList);
    glPopMatrix();
    glFlush();
}

void onDisplay()
{
    drawFrame();
    glutSwapBuffers();
}

void onReshape(int width, int height)
{
    if (height == 0) height = 1;  // a window shrunk to nothing keeps a finite projection
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height), 1.0, 3000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glutPostRedisplay();
}
