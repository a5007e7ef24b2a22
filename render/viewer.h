// The viewer window: view state, window set-up, one-time scene state, frame and reshape.
#pragma once

#include "model/allocate.h"

extern bool gBlackBackground;    // clear to black, else white
extern bool gLighting;           // lighting stays on in display list 1
extern bool gSmooth;             // display list 1 carries vertex normals, else face normals
extern bool gWireframe;          // frames draw white outlines instead of display list 1
extern int gRotX;                // degrees about the model's X axis, never wrapped
extern int gRotY;                // degrees about the model's Y axis, never wrapped
extern double gDistance;         // model units along the eye's Z axis; negative is in front
extern float gLightPosition[4];  // light 0 in eye coordinates; w = 0 makes it directional

constexpr unsigned int kShapeList = 1;  // the one display list, a fixed name

// The input callbacks live with the application; the window set-up only registers them.
struct InputCallbacks {
    void (*keyboard)(unsigned char key, int x, int y);
    void (*mouse)(int button, int state, int x, int y);
    void (*motion)(int x, int y);
};

// Opens the window titled programPath + " - " + the shape's name, sets the scene up, compiles
// gShape into display list 1 and runs the event loop, which does not return while the window is open.
void runViewer(const char* programPath, const InputCallbacks& input);

// "programPath - name" in a buffer sized to hold it, or null when memory runs out.
Array<char> formatTitle(const char* programPath, const char* shapeName);

void initScene();
void onDisplay();  // drawFrame, then the buffer swap
void drawFrame();  // the frame into the back buffer: clear, light, model transform, list or outlines
void onReshape(int width, int height);
