// Framing: the model's vertices turned as the frame turns them, the depth at which their projection
// fills the field of view, and the shift across that centres the projection.
#include "render/framing.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "render/scene.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Point {
    double x, y, z;
};

// Rotation about Y, then about X, of every vertex, as the frame turns the model.
std::vector<Point> turnedVertices(const Shape& shape, int rotX, int rotY)
{
    const double ax = rotX * kPi / 180.0;
    const double ay = rotY * kPi / 180.0;
    const double cx = std::cos(ax), sx = std::sin(ax), cy = std::cos(ay), sy = std::sin(ay);
    std::vector<Point> turned(static_cast<std::size_t>(shape.vertexCount));
    for (int32_t i = 0; i < shape.vertexCount; ++i) {
        const ShapeVertex& v = shape.vertices[i];
        const double x1 = v.x * cy + v.z * sy;
        const double z1 = -v.x * sy + v.z * cy;
        turned[static_cast<std::size_t>(i)] = {x1, v.y * cx - z1 * sx, v.y * sx + z1 * cx};
    }
    return turned;
}

double across(const Point& p, int axis) { return axis == 0 ? p.x : p.y; }

// The eye-space z to move the model by so that its outermost vertices along axis lie on the planes
// through the eye whose slope is tangent, on both sides: the nearest place that holds it all.
// A vertex c across and z along lies inside both planes when |c + t| <= tangent * -(z + move).
double touchingMove(const std::vector<Point>& points, int axis, double tangent)
{
    double high = -HUGE_VAL, low = -HUGE_VAL;
    for (const Point& p : points) {
        high = std::max(high, across(p, axis) + tangent * p.z);
        low = std::max(low, -across(p, axis) + tangent * p.z);
    }
    return -(high + low) / (2.0 * tangent);
}

// The shift along axis that puts the projected vertices' two outermost values at equal distances
// from the middle, at the depth move gives them. Both outermost values grow with the shift, so
// their sum has one root, between the shifts that put every vertex on one side.
double centringShift(const std::vector<Point>& points, int axis, double move)
{
    double lowShift = HUGE_VAL, highShift = -HUGE_VAL;
    for (const Point& p : points) {
        lowShift = std::min(lowShift, -across(p, axis));
        highShift = std::max(highShift, -across(p, axis));
    }
    for (int step = 0; step < 64 && lowShift < highShift; ++step) {
        const double shift = (lowShift + highShift) / 2.0;
        double top = -HUGE_VAL, bottom = HUGE_VAL;
        for (const Point& p : points) {
            const double seen = (across(p, axis) + shift) / -(p.z + move);
            top = std::max(top, seen);
            bottom = std::min(bottom, seen);
        }
        (top + bottom > 0.0 ? highShift : lowShift) = shift;
    }
    return (lowShift + highShift) / 2.0;
}

}  // namespace

Framing frameShape(const Shape& shape, int width, int height, int rotX, int rotY)
{
    Framing framing;
    if (shape.vertexCount <= 0) return framing;
    const std::vector<Point> points = turnedVertices(shape, rotX, rotY);
    Point low = points[0], high = points[0];
    for (const Point& p : points) {
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    const double nearest = high.z, farthest = low.z;
    const double tangentY = std::tan(kFieldOfView / 2.0 * kPi / 180.0) * kFramingFill;
    const double tangentX = tangentY * width / height;
    // The farther of the two places is the one where the model fits both ways.
    double move = std::min(touchingMove(points, 0, tangentX), touchingMove(points, 1, tangentY));
    // A vertex may touch the eye itself (a single point, a segment along the view axis): the
    // nearest one stays a little way off, so that the depth range stays finite.
    const double span = std::max({high.x - low.x, high.y - low.y, high.z - low.z});
    const double closest = std::max(1.0, 0.01 * span);
    move = std::min(move, -nearest - closest);
    framing.shift[0] = centringShift(points, 0, move);
    framing.shift[1] = centringShift(points, 1, move);
    // Along the view axis, the turned box's centre moves to the distance.
    const double middle = (nearest + farthest) / 2.0;
    framing.shift[2] = -middle;
    framing.distance = move + middle;
    framing.nearPlane = -(nearest + move) * 0.99;
    framing.farPlane = -(farthest + move) * 1.01;
    return framing;
}

double pictureCoverage(const Shape& shape, const Framing& framing, int width, int height, int rotX, int rotY)
{
    const std::vector<Point> points = turnedVertices(shape, rotX, rotY);
    // Projected as the perspective does, in normalised device coordinates: the picture spans 2 x 2.
    const double focal = 1.0 / std::tan(kFieldOfView / 2.0 * kPi / 180.0);
    std::vector<double> seenX(points.size()), seenY(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double depth = -(points[i].z + framing.shift[2] + framing.distance);
        seenX[i] = focal * height / width * (points[i].x + framing.shift[0]) / depth;
        seenY[i] = focal * (points[i].y + framing.shift[1]) / depth;
    }
    double area = 0.0;
    for (int32_t p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& polygon = shape.polygons[p];
        double twice = 0.0;
        for (int k = 0; k < polygon.count && polygon.count >= 3; ++k) {
            const auto a = static_cast<std::size_t>(polygon.indices[k]);
            const auto b = static_cast<std::size_t>(polygon.indices[(k + 1) % polygon.count]);
            twice += seenX[a] * seenY[b] - seenX[b] * seenY[a];
        }
        area += std::fabs(twice) / 2.0;
    }
    return area / 4.0;
}
