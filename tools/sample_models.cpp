// The generated models: random ones of any size, and the geometry of the sample solids.
#include "tools/sample_models.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <random>

namespace {

struct Point {
    double x, y, z;
};

Point minus(Point a, Point b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Point crossOf(Point a, Point b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(Point a, Point b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Geometry is built with y upwards, as it is drawn; the file holds y downwards.
TextVertex toFile(Point p)
{
    return {static_cast<int>(std::lround(p.x)), -static_cast<int>(std::lround(p.y)),
            static_cast<int>(std::lround(p.z))};
}

// Orders a face's corners counter-clockwise seen from outside, where outside is away from the origin.
void orderOutwards(std::vector<int>& face, const std::vector<Point>& points)
{
    Point centre{0, 0, 0};
    for (int i : face) centre = {centre.x + points[i].x, centre.y + points[i].y, centre.z + points[i].z};
    const double n = static_cast<double>(face.size());
    centre = {centre.x / n, centre.y / n, centre.z / n};
    const Point axis = centre;
    const Point u = minus(points[face[0]], centre);
    const Point v = crossOf(axis, u);
    std::sort(face.begin(), face.end(), [&](int a, int b) {
        const Point da = minus(points[a], centre);
        const Point db = minus(points[b], centre);
        return std::atan2(dot(da, v), dot(da, u)) < std::atan2(dot(db, v), dot(db, u));
    });
}

std::vector<TextVertex> toFile(const std::vector<Point>& points)
{
    std::vector<TextVertex> vertices;
    for (const Point& p : points) vertices.push_back(toFile(p));
    return vertices;
}

}  // namespace

std::string randomModel(int vertexCount, int polygonCount, uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> coordinate(-32768, 32767);
    std::uniform_int_distribution<int> index(0, std::max(vertexCount - 1, 0));
    std::uniform_int_distribution<int> count(3, 5);
    std::uniform_int_distribution<int> colour(0, 31);
    std::vector<TextVertex> vertices(static_cast<std::size_t>(vertexCount));
    for (TextVertex& v : vertices) v = {coordinate(random), coordinate(random), coordinate(random)};
    std::vector<TextPolygon> polygons(static_cast<std::size_t>(vertexCount > 0 ? polygonCount : 0));
    for (TextPolygon& p : polygons) {
        p.colour = colour(random);
        p.indices.resize(static_cast<std::size_t>(count(random)));
        for (int& i : p.indices) i = index(random);
    }
    return formatModel("random", vertices, polygons);
}

std::string terrainModel(int side, uint32_t seed)
{
    side = std::max(side, 2);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> phase(0.0, 2.0 * std::acos(-1.0));
    std::uniform_real_distribution<double> turn(-1.0, 1.0);
    // A few waves of falling length and height in seeded directions make hills and valleys.
    struct Wave {
        double dx, dz, phase, length, height;
    };
    std::vector<Wave> waves;
    for (int w = 0; w < 5; ++w) {
        const double angle = turn(random) * std::acos(-1.0);
        waves.push_back(
            {std::cos(angle), std::sin(angle), phase(random), 40.0 / std::pow(1.6, w), 16.0 / std::pow(1.7, w)});
    }
    constexpr double kSpacing = 2.0;
    const double half = (side - 1) * kSpacing / 2.0;
    std::vector<Point> points;
    for (int row = 0; row < side; ++row)
        for (int column = 0; column < side; ++column) {
            const double x = column * kSpacing - half;
            const double z = row * kSpacing - half;
            double y = 0.0;
            for (const Wave& w : waves) y += w.height * std::sin((x * w.dx + z * w.dz) / w.length + w.phase);
            points.push_back({x, y, z});
        }
    // Bands of height, low to high: deep and shallow water, sand, two greens, rock, snow.
    auto colourAt = [](double height) {
        const double bounds[] = {-20.0, -12.0, -9.0, 3.0, 12.0, 20.0};
        const int colours[] = {17, 1, 6, 2, 18, 23, 15};
        int band = 0;
        while (band < 6 && height > bounds[band]) ++band;
        return colours[band];
    };
    std::vector<TextPolygon> polygons;
    for (int row = 0; row + 1 < side; ++row)
        for (int column = 0; column + 1 < side; ++column) {
            const int a = row * side + column;  // (x0, z0)
            const int b = a + side;             // (x0, z1)
            const int c = b + 1;                // (x1, z1)
            const int d = a + 1;                // (x1, z0)
            // Counter-clockwise seen from above, so that the normals point up.
            for (const std::array<int, 3>& t : {std::array<int, 3>{a, b, c}, std::array<int, 3>{a, c, d}}) {
                const double height = (points[t[0]].y + points[t[1]].y + points[t[2]].y) / 3.0;
                polygons.push_back({colourAt(height), {t[0], t[1], t[2]}});
            }
        }
    return formatModel("terrain", toFile(points), polygons);
}

std::string sphereModel(int rings, int segments)
{
    const double pi = std::acos(-1.0);
    const double radius = 10000.0;
    // The poles, then rings - 1 circles of latitude from the top down.
    std::vector<Point> points = {{0, radius, 0}, {0, -radius, 0}};
    for (int r = 1; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const double polar = pi * r / rings;
            const double around = 2 * pi * s / segments;
            points.push_back({radius * std::sin(polar) * std::cos(around), radius * std::cos(polar),
                              radius * std::sin(polar) * std::sin(around)});
        }
    const auto at = [&](int r, int s) { return 2 + (r - 1) * segments + s % segments; };
    std::vector<TextPolygon> polygons;
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            // A quad between two circles; at a pole its circle is the pole alone.
            std::vector<int> face;
            if (r == 0) face.push_back(0);
            else face.insert(face.end(), {at(r, s), at(r, s + 1)});
            if (r == rings - 1) face.push_back(1);
            else face.insert(face.end(), {at(r + 1, s + 1), at(r + 1, s)});
            orderOutwards(face, points);
            polygons.push_back({9 + r * 6 / rings, face});
        }
    return formatModel("sphere", toFile(points), polygons);
}

std::string cubeModel()
{
    std::vector<Point> points;
    for (int i = 0; i < 8; ++i)
        points.push_back({i & 1 ? 100.0 : -100.0, i & 2 ? 100.0 : -100.0, i & 4 ? 100.0 : -100.0});
    const std::array<std::array<int, 4>, 6> faces = {
        {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}}};
    const std::array<int, 6> colours = {9, 10, 11, 12, 13, 14};
    std::vector<TextPolygon> polygons;
    for (std::size_t f = 0; f < faces.size(); ++f) {
        std::vector<int> face(faces[f].begin(), faces[f].end());
        orderOutwards(face, points);
        polygons.push_back({colours[f], face});
    }
    return formatModel("cube", toFile(points), polygons);
}

std::string dodecahedronModel()
{
    const double phi = (1.0 + std::sqrt(5.0)) / 2.0;
    const double s = 90.0;
    std::vector<Point> points;
    for (int i = 0; i < 8; ++i) points.push_back({i & 1 ? s : -s, i & 2 ? s : -s, i & 4 ? s : -s});
    for (int a : {-1, 1})
        for (int b : {-1, 1}) {
            points.push_back({0, a * s / phi, b * s * phi});
            points.push_back({a * s / phi, b * s * phi, 0});
            points.push_back({b * s * phi, 0, a * s / phi});
        }
    // Each face lies around one vertex of the dual icosahedron: the five corners nearest to it.
    std::vector<Point> centres;
    for (int a : {-1, 1})
        for (int b : {-1, 1}) {
            centres.push_back({0, b * phi, static_cast<double>(a)});
            centres.push_back({static_cast<double>(a), 0, b * phi});
            centres.push_back({b * phi, static_cast<double>(a), 0});
        }
    std::vector<TextPolygon> polygons;
    int colour = 9;
    for (const Point& c : centres) {
        std::vector<int> order(points.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
        std::sort(order.begin(), order.end(), [&](int a, int b) { return dot(points[a], c) > dot(points[b], c); });
        std::vector<int> face(order.begin(), order.begin() + 5);
        orderOutwards(face, points);
        polygons.push_back({colour, face});
        colour = colour == 14 ? 9 : colour + 1;
    }
    return formatModel("dodecahedron", toFile(points), polygons);
}

std::string torusModel(int rings, int sides)
{
    const double pi = std::acos(-1.0);
    const double major = 140.0;
    const double minor = 55.0;
    std::vector<Point> points;
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < sides; ++s) {
            const double u = 2 * pi * r / rings;
            const double v = 2 * pi * s / sides;
            const double radius = major + minor * std::cos(v);
            points.push_back({radius * std::cos(u), minor * std::sin(v), radius * std::sin(u)});
        }
    std::vector<TextPolygon> polygons;
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < sides; ++s) {
            const int a = r * sides + s;
            const int b = ((r + 1) % rings) * sides + s;
            const int c = ((r + 1) % rings) * sides + (s + 1) % sides;
            const int d = r * sides + (s + 1) % sides;
            // Outwards from the tube's own centre line, not from the origin.
            const double u = 2 * pi * (r + 0.5) / rings;
            const Point tube{major * std::cos(u), 0, major * std::sin(u)};
            std::vector<int> quad = {a, b, c, d};
            const Point normal = crossOf(minus(points[a], points[b]), minus(points[b], points[c]));
            Point centre{0, 0, 0};
            for (int i : quad)
                centre = {centre.x + points[i].x / 4, centre.y + points[i].y / 4, centre.z + points[i].z / 4};
            if (dot(normal, minus(centre, tube)) < 0) std::reverse(quad.begin(), quad.end());
            polygons.push_back({s % 2 == 0 ? 12 : 28, quad});
        }
    return formatModel("torus", toFile(points), polygons);
}

std::string segmentsModel()
{
    // A pyramid with its edges traced again as coloured segments, and a free-standing axis cross.
    std::vector<Point> points = {{-100, -80, -100}, {100, -80, -100}, {100, -80, 100}, {-100, -80, 100},
                                 {0, 100, 0},       {-160, 0, 0},     {160, 0, 0},     {0, -160, 0},
                                 {0, 160, 0},       {0, 0, -160},     {0, 0, 160}};
    std::vector<TextPolygon> polygons;
    const std::array<std::array<int, 3>, 4> sides = {{{0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4}}};
    for (const auto& side : sides) {
        std::vector<int> face(side.begin(), side.end());
        orderOutwards(face, points);
        polygons.push_back({7, face});
    }
    std::vector<int> base = {0, 1, 2, 3};
    orderOutwards(base, points);
    polygons.push_back({8, base});
    polygons.push_back({12, {5, 6}});
    polygons.push_back({10, {7, 8}});
    polygons.push_back({9, {9, 10}});
    return formatModel("segments", toFile(points), polygons);
}
