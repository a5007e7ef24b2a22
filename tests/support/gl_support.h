// GL test support: one real GLUT window for the whole test binary, and pixels read back from it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/shape.h"
#include "render/scene.h"

struct Pixel {
    int r, g, b;
    bool operator==(const Pixel& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Pixel& o) const { return !(*this == o); }
};
std::ostream& operator<<(std::ostream& out, const Pixel& p);

// Window pixels, x from the left and y from the top as a user sees them, of the back buffer.
Pixel pixelAt(int x, int y);
std::vector<unsigned char> backBuffer();  // the whole 640 x 480 window, RGB rows from the bottom

// Puts a model from its text into gShape (normals computed) and resets the view to its start.
void useModel(const std::string& text);

// Compiles display list 1 from gShape for view's lighting and shading and draws one frame of view.
void drawModelFrame(const SceneView& view);

// Resets the window's view and drag state to their start values, the window to 640 x 480.
class GlTest : public testing::Test {
protected:
    void SetUp() override;
};
