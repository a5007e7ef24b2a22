// Framing tests: the arithmetic alone, checked by projecting the model's vertices as the frame does.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "render/framing.h"
#include "render/scene.h"
#include "tests/support/test_support.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// A vertex as the picture shows it: turned about Y then X, shifted, moved along z, then projected
// with the 45-degree field, in normalised device coordinates (-1 to 1 across the picture).
struct Seen {
    double x, y, depth;  // depth: distance in front of the eye
};

Seen see(const ShapeVertex& v, const Framing& framing, int rotX, int rotY, double aspect)
{
    const double ax = rotX * kPi / 180, ay = rotY * kPi / 180;
    const double x1 = v.x * std::cos(ay) + v.z * std::sin(ay);
    const double z1 = -v.x * std::sin(ay) + v.z * std::cos(ay);
    const double y2 = v.y * std::cos(ax) - z1 * std::sin(ax);
    const double z2 = v.y * std::sin(ax) + z1 * std::cos(ax);
    const double x = x1 + framing.shift[0], y = y2 + framing.shift[1], z = z2 + framing.shift[2] + framing.distance;
    const double f = 1 / std::tan(kFieldOfView / 2 * kPi / 180);
    return Seen{f / aspect * x / -z, f * y / -z, -z};
}

TEST(Framing, everyVertexIsInsideThePictureAndItsDepthRange)
{
    Parsed torus = loadFile(modelPath("torus.zem"));
    ASSERT_TRUE(torus.ok);
    for (const auto& [width, height, rotX, rotY] : std::vector<std::array<int, 4>>{
             {640, 480, 0, 0}, {256, 256, 25, -35}, {100, 400, 90, 10}, {400, 100, -70, 200}}) {
        const Framing framing = frameShape(torus.shape, width, height, rotX, rotY);
        double extreme = 0;
        for (int32_t i = 0; i < torus.shape.vertexCount; ++i) {
            const Seen seen = see(torus.shape.vertices[i], framing, rotX, rotY, double(width) / height);
            extreme = std::max({extreme, std::fabs(seen.x), std::fabs(seen.y)});
            EXPECT_GT(seen.depth, framing.nearPlane);
            EXPECT_LT(seen.depth, framing.farPlane);
        }
        EXPECT_LT(extreme, 1.0) << width << "x" << height;
        EXPECT_GT(extreme, 0.6) << "the model fills much of the picture at " << width << "x" << height;
    }
}

TEST(Framing, theProjectedVerticesAreCentredAndSpanTheFillOneWay)
{
    // Turned to show a corner, a model's near half looks larger than its far half: fitting a box or
    // a sphere in model space leaves it off centre. What is centred is the projection.
    for (const char* name : {"cube.zem", "torus.zem", "segments.zem"}) {
        Parsed model = loadFile(modelPath(name));
        ASSERT_TRUE(model.ok) << name;
        for (const auto& [width, height, rotX, rotY] : std::vector<std::array<int, 4>>{{256, 256, 25, -35},
                                                                                       {128, 128, 25, -35},
                                                                                       {640, 480, 0, 0},
                                                                                       {300, 120, -60, 170},
                                                                                       {120, 300, 35, 45}}) {
            const Framing framing = frameShape(model.shape, width, height, rotX, rotY);
            double left = HUGE_VAL, right = -HUGE_VAL, bottom = HUGE_VAL, top = -HUGE_VAL;
            for (int32_t i = 0; i < model.shape.vertexCount; ++i) {
                const Seen seen = see(model.shape.vertices[i], framing, rotX, rotY, double(width) / height);
                left = std::min(left, seen.x);
                right = std::max(right, seen.x);
                bottom = std::min(bottom, seen.y);
                top = std::max(top, seen.y);
            }
            const std::string what = std::string(name) + " at " + std::to_string(width) + "x" + std::to_string(height) +
                                     " turned " + std::to_string(rotX) + ", " + std::to_string(rotY);
            EXPECT_NEAR(left + right, 0.0, 1e-9) << what << ": " << left << " to " << right;
            EXPECT_NEAR(bottom + top, 0.0, 1e-9) << what << ": " << bottom << " to " << top;
            EXPECT_NEAR(std::max(right, top), kFramingFill, 1e-9) << what;
            EXPECT_LE(std::min(right, top), kFramingFill + 1e-9) << what;
        }
    }
}

TEST(Framing, coverageIsHowManyTimesTheFacesCoverThePicture)
{
    // A square facing the eye, framed, spans the fill of a square picture both ways: fill squared
    // of it. Its second copy facing away covers as much again; a segment covers nothing.
    const Parsed square = parseText("SHAPE s_shape = { 0, 4, 3 }; VECTOR { { -50, -50, 7 } { 50, -50, 7 } "
                                    "{ 50, 50, 7 } { -50, 50, 7 } } SPOLY { { 1, 4, { 0, 1, 2, 3 } } "
                                    "{ 2, 4, { 3, 2, 1, 0 } } { 3, 2, { 0, 2 } } }");
    ASSERT_TRUE(square.ok) << square.messages;
    const Framing framing = frameShape(square.shape, 256, 256, 0, 0);
    EXPECT_NEAR(pictureCoverage(square.shape, framing, 256, 256, 0, 0), 2 * kFramingFill * kFramingFill, 1e-9);
    // In a picture twice as wide, the height binds and the square covers half as much of it.
    const Framing wide = frameShape(square.shape, 512, 256, 0, 0);
    EXPECT_NEAR(pictureCoverage(square.shape, wide, 512, 256, 0, 0), kFramingFill * kFramingFill, 1e-9);
}

TEST(Framing, aSinglePointStillHasADepthRange)
{
    const Parsed point = parseText("SHAPE p_shape = { 0, 1, 0 }; VECTOR { { 5, 5, 5 } } SPOLY { }");
    ASSERT_TRUE(point.ok);
    const Framing framing = frameShape(point.shape, 64, 64, 0, 0);
    EXPECT_LT(framing.nearPlane, -framing.distance);
    EXPECT_GT(framing.farPlane, -framing.distance);
    EXPECT_EQ(framing.shift[0], -5);
}

}  // namespace
