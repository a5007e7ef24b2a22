// The scene: the window's view variables, the one-time OpenGL state, the projection and the frame.
#include "render/scene.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>

#include "model/shape.h"

bool gBlackBackground = kStartView.blackBackground;
bool gLighting = kStartView.lighting;
bool gSmooth = kStartView.smooth;
bool gWireframe = kStartView.wireframe;
int gRotX = kStartView.rotX;
int gRotY = kStartView.rotY;
double gDistance = kStartView.distance;
float gLightPosition[4] = {kStartView.lightPosition[0], kStartView.lightPosition[1], kStartView.lightPosition[2],
                           kStartView.lightPosition[3]};

SceneView windowView()
{
    SceneView view;
    view.blackBackground = gBlackBackground;
    view.lighting = gLighting;
    view.smooth = gSmooth;
    view.wireframe = gWireframe;
    view.rotX = gRotX;
    view.rotY = gRotY;
    view.distance = gDistance;
    std::copy(gLightPosition, gLightPosition + 4, view.lightPosition);
    return view;
}

void resetWindowView()
{
    gBlackBackground = kStartView.blackBackground;
    gLighting = kStartView.lighting;
    gSmooth = kStartView.smooth;
    gWireframe = kStartView.wireframe;
    gRotX = kStartView.rotX;
    gRotY = kStartView.rotY;
    gDistance = kStartView.distance;
    std::copy(kStartView.lightPosition, kStartView.lightPosition + 4, gLightPosition);
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

void setProjection(int width, int height, double nearPlane, double farPlane)
{
    if (height == 0) height = 1;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(kFieldOfView, static_cast<double>(width) / static_cast<double>(height), nearPlane, farPlane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void shiftView(const double shift[3]) { glTranslated(shift[0], shift[1], shift[2]); }

void drawFrame(const SceneView& view)
{
    glClearDepth(1.0);
    if (view.blackBackground)
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    else
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // The modelview matrix is the identity here, so the light stays fixed to the eye.
    glLightfv(GL_LIGHT0, GL_POSITION, view.lightPosition);
    glPushMatrix();
    glTranslated(0.0, 0.0, view.distance);
    glRotated(static_cast<double>(view.rotX), 1.0, 0.0, 0.0);
    glRotated(static_cast<double>(view.rotY), 0.0, 1.0, 0.0);
    if (view.wireframe)
        gShape.drawWireframe();
    else
        glCallList(kShapeList);
    glPopMatrix();
    glFlush();
}
