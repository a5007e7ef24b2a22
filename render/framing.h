// Framing: where a model must stand for its picture to show all of it. Arithmetic only, no OpenGL.
#pragma once

#include "model/shape.h"

// The eye's distance and depth range that show the whole model, and the shift, in eye space, that
// brings its turned centre onto the view axis.
struct Framing {
    double shift[3] = {0.0, 0.0, 0.0};
    double distance = -500.0;  // as the view's distance: negative is in front of the eye
    double nearPlane = 1.0;
    double farPlane = 3000.0;
};

// The framing of shape in a picture of width x height pixels, turned by rotX and rotY degrees as
// the frame turns it: the bounding sphere of its vertices fits the narrower field of view.
Framing frameShape(const Shape& shape, int width, int height, int rotX, int rotY);
