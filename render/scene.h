// The scene: the view a frame is drawn in, the one-time OpenGL state, the projection and the frame.
// No window toolkit, so that the viewer's window and the off-screen renderer draw with the same code.
#pragma once

// What a frame shows and from where. The start values are the view when the viewer starts: black
// background, lit, smooth, unrotated, 500 units away, the light above, right and behind the eye.
struct SceneView {
    bool blackBackground = true;  // clear to black, else white
    bool lighting = true;         // display list 1 was compiled with lighting left on
    bool smooth = true;           // display list 1 was compiled with vertex normals, else face normals
    bool wireframe = false;       // white outlines instead of display list 1
    int rotX = 0;                 // degrees about the model's X axis
    int rotY = 0;                 // degrees about the model's Y axis
    double distance = -500.0;     // model units along the eye's Z axis; negative is in front
    float lightPosition[4] = {500.0f, 500.0f, 1000.0f, 0.0f};  // light 0 in eye coordinates; w = 0: directional
};
constexpr SceneView kStartView{};

// The viewer's window's view, which its input changes; the off-screen renderer and the tests draw
// views of their own and leave these alone.
extern bool gBlackBackground;    // clear to black, else white
extern bool gLighting;           // lighting stays on in display list 1
extern bool gSmooth;             // display list 1 carries vertex normals, else face normals
extern bool gWireframe;          // frames draw white outlines instead of display list 1
extern int gRotX;                // degrees about the model's X axis
extern int gRotY;                // degrees about the model's Y axis
extern double gDistance;         // model units along the eye's Z axis; negative is in front
extern float gLightPosition[4];  // light 0 in eye coordinates; w = 0 makes it directional

// The window's view as one value, for its frames.
SceneView windowView();

// Puts every window view variable back to the value it has when the program starts.
void resetWindowView();

constexpr unsigned int kShapeList = 1;  // the one display list, a fixed name

// The window the viewer opens, and the projection it starts with.
constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 480;
constexpr int kWindowX = 100;
constexpr int kWindowY = 100;
constexpr double kFieldOfView = 45.0;  // degrees, vertical
constexpr double kNearPlane = 1.0;
constexpr double kFarPlane = 3000.0;

void initScene();

// Viewport and perspective for a drawing surface of width x height; a height of 0 counts as 1, so
// that a window shrunk to nothing keeps a finite projection. Leaves the modelview matrix current
// and set to the identity.
void setProjection(int width, int height, double nearPlane = kNearPlane, double farPlane = kFarPlane);

// Moves everything the next frames draw by shift, in eye space; between setProjection and drawFrame.
void shiftView(const double shift[3]);

// The frame of view into the current draw buffer: clear, light, model transform, then list 1 (which
// the caller compiled for view.lighting and view.smooth) or the outlines.
void drawFrame(const SceneView& view);
