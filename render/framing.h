// Framing: where a model must stand for its picture to show all of it. Arithmetic only, no OpenGL.
#pragma once

#include "model/shape.h"

// The share of the picture's narrower extent that a framed model spans, in normalised device
// coordinates: what is left is an even margin on both sides.
constexpr double kFramingFill = 0.94;

// The eye's distance and depth range that show the whole model, and the shift, in eye space, that
// centres its turned and projected vertices in the picture. The model is drawn moved by shift, then
// by distance along the view axis; -distance is the depth of its turned bounding box's centre.
struct Framing {
    double shift[3] = {0.0, 0.0, 0.0};
    double distance = -500.0;  // as the view's distance: negative is in front of the eye
    double nearPlane = 1.0;
    double farPlane = 3000.0;
};

// The framing of shape in a picture of width x height pixels, turned by rotX and rotY degrees as
// the frame turns it. The vertices as the perspective projects them span kFramingFill of the
// picture in one direction and at most that in the other, with equal margins on opposite sides;
// the near and far planes enclose every vertex. A model without vertices keeps the viewer's view.
Framing frameShape(const Shape& shape, int width, int height, int rotX, int rotY);

// How many times over the model's faces, projected as framing places them, cover a picture of
// width x height turned by rotX and rotY: the sum of their areas over the picture's. About 2 for a
// closed model seen whole (its back faces are drawn too), thousands for a soup of random polygons.
// Segments cover nothing.
double pictureCoverage(const Shape& shape, const Framing& framing, int width, int height, int rotX, int rotY);
