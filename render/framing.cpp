// Framing: the bounding box and sphere of a model's vertices, the distance that fits the sphere into
// the field of view, and the turned centre shifted onto the view axis.
#include "render/framing.h"

#include <algorithm>
#include <cmath>

#include "render/scene.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

void boundingBoxCentre(const Shape& shape, double centre[3])
{
    double low[3] = {0.0, 0.0, 0.0};
    double high[3] = {0.0, 0.0, 0.0};
    for (int32_t i = 0; i < shape.vertexCount; ++i) {
        const double p[3] = {double(shape.vertices[i].x), double(shape.vertices[i].y), double(shape.vertices[i].z)};
        for (int axis = 0; axis < 3; ++axis) {
            low[axis] = i == 0 ? p[axis] : std::min(low[axis], p[axis]);
            high[axis] = i == 0 ? p[axis] : std::max(high[axis], p[axis]);
        }
    }
    for (int axis = 0; axis < 3; ++axis) centre[axis] = (low[axis] + high[axis]) / 2.0;
}

double radiusAround(const Shape& shape, const double centre[3])
{
    double radius = 0.0;
    for (int32_t i = 0; i < shape.vertexCount; ++i) {
        const double dx = shape.vertices[i].x - centre[0];
        const double dy = shape.vertices[i].y - centre[1];
        const double dz = shape.vertices[i].z - centre[2];
        radius = std::max(radius, std::sqrt(dx * dx + dy * dy + dz * dz));
    }
    // A single point still gets a finite view volume.
    return std::max(radius, 1.0);
}

// Rotation about Y, then about X, of a point, as the frame turns the model.
void rotate(const double point[3], int rotX, int rotY, double out[3])
{
    const double ax = rotX * kPi / 180.0;
    const double ay = rotY * kPi / 180.0;
    const double x1 = point[0] * std::cos(ay) + point[2] * std::sin(ay);
    const double z1 = -point[0] * std::sin(ay) + point[2] * std::cos(ay);
    out[0] = x1;
    out[1] = point[1] * std::cos(ax) - z1 * std::sin(ax);
    out[2] = point[1] * std::sin(ax) + z1 * std::cos(ax);
}

}  // namespace

Framing frameShape(const Shape& shape, int width, int height, int rotX, int rotY)
{
    Framing framing;
    double centre[3];
    boundingBoxCentre(shape, centre);
    const double radius = radiusAround(shape, centre);
    const double halfHeight = kFieldOfView / 2.0 * kPi / 180.0;
    const double halfWidth = std::atan(std::tan(halfHeight) * width / height);
    // A little room, so that no vertex lands on the picture's last pixel.
    const double distance = 1.02 * radius / std::sin(std::min(halfHeight, halfWidth));
    framing.distance = -distance;
    framing.nearPlane = distance - 1.01 * radius;
    framing.farPlane = distance + 1.01 * radius;
    double turned[3];
    rotate(centre, rotX, rotY, turned);
    for (int axis = 0; axis < 3; ++axis) framing.shift[axis] = -turned[axis];
    return framing;
}
