// Mouse and keyboard: the drag state and the callbacks that turn input into view changes.
#pragma once

extern bool gRotating;     // a left-button drag turns the model
extern bool gZooming;      // a right-button drag moves the model along the view axis
extern int gLastX;         // pointer x, window pixels, at the last button event or rotate step
extern int gLastY;         // pointer y, window pixels, at the last button event or rotate step
extern double gLastZoomY;  // pointer y, window pixels, at the last button event or zoom step

// Puts the drag state back to its start: no drag, every last position 0.
void resetDragState();

void onKeyboard(unsigned char key, int x, int y);
void onMouse(int button, int state, int x, int y);
void onMotion(int x, int y);
