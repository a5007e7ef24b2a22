// The viewer window: the GLUT window, its set-up, and the display and reshape callbacks.
#pragma once

#include "model/allocate.h"
#include "render/scene.h"

// The input callbacks live with the application; the window set-up only registers them.
struct InputCallbacks {
    void (*keyboard)(unsigned char key, int x, int y);
    void (*mouse)(int button, int state, int x, int y);
    void (*motion)(int x, int y);
};

// Initialises the toolkit with programPath as its only word, so that no word of the command line
// is taken as a toolkit option, then opens the viewer's window: RGBA, double-buffered, with depth,
// 640 x 480 at (100, 100). Its OpenGL context is current afterwards. Where the toolkit cannot go on
// (no display to open, say), one line of the viewer's own says why and the process ends with status 0.
void openViewerWindow(const char* programPath, const char* title);

// Opens the window titled programPath + " - " + the shape's name, sets the scene up, compiles
// gShape into display list 1 and runs the event loop, which does not return while the window is open.
void runViewer(const char* programPath, const InputCallbacks& input);

// "programPath - name" in a buffer sized to hold it, or null when memory runs out.
Array<char> formatTitle(const char* programPath, const char* shapeName);

void onDisplay();                       // drawFrame, then the buffer swap
void onReshape(int width, int height);  // setProjection, then a redisplay
