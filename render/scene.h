// The scene: the view state, the one-time OpenGL state, the projection and the frame. No window toolkit,
// so that the viewer's window and the off-screen renderer draw with the same code.
#pragma once

extern bool gBlackBackground;    // clear to black, else white
extern bool gLighting;           // lighting stays on in display list 1
extern bool gSmooth;             // display list 1 carries vertex normals, else face normals
extern bool gWireframe;          // frames draw white outlines instead of display list 1
extern int gRotX;                // degrees about the model's X axis
extern int gRotY;                // degrees about the model's Y axis
extern double gDistance;         // model units along the eye's Z axis; negative is in front
extern float gLightPosition[4];  // light 0 in eye coordinates; w = 0 makes it directional

constexpr unsigned int kShapeList = 1;  // the one display list, a fixed name

// The window the viewer opens, and the projection it starts with.
constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 480;
constexpr int kWindowX = 100;
constexpr int kWindowY = 100;
constexpr double kFieldOfView = 45.0;  // degrees, vertical
constexpr double kNearPlane = 1.0;
constexpr double kFarPlane = 3000.0;

// The view when the program starts: black background, lit, smooth, unrotated, 500 units away.
struct ViewDefaults {
    bool blackBackground = true;
    bool lighting = true;
    bool smooth = true;
    bool wireframe = false;
    int rotX = 0;
    int rotY = 0;
    double distance = -500.0;
};
constexpr ViewDefaults kStartView{};

// Sets every view variable from view.
void setViewState(const ViewDefaults& view);

// Puts every view variable back to the value it has when the program starts.
inline void resetViewState() { setViewState(kStartView); }

void initScene();

// Viewport and perspective for a drawing surface of width x height; a height of 0 counts as 1, so
// that a window shrunk to nothing keeps a finite projection. Leaves the modelview matrix current
// and set to the identity.
void setProjection(int width, int height, double nearPlane = kNearPlane, double farPlane = kFarPlane);

// Moves everything the next frames draw by shift, in eye space; between setProjection and drawFrame.
void shiftView(const double shift[3]);

// The frame into the current draw buffer: clear, light, model transform, list 1 or the outlines.
void drawFrame();
