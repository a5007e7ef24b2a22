// Normal tests: worked cases, and the linear-time computation against the literal loop, bit for bit.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tools/sample_models.h"
#include "testlib/normals_oracle.h"
#include "tests/test_support.h"

namespace {

// Builds a Shape from stored coordinates (y as drawn) and polygons, then computes its normals.
Shape shapeOf(const std::vector<ShapeVertex>& vertices, const std::vector<std::vector<int>>& polygons)
{
    Shape shape;
    shape.vertexCount = static_cast<int32_t>(vertices.size());
    shape.polygonCount = static_cast<int32_t>(polygons.size());
    shape.vertices = allocateArray<ShapeVertex>(vertices.size(), "vertices");
    std::copy(vertices.begin(), vertices.end(), shape.vertices.get());
    shape.polygons = allocateArray<ShapePolygon>(polygons.size(), "polygons");
    for (std::size_t p = 0; p < polygons.size(); ++p) {
        shape.polygons[p].count = static_cast<uint8_t>(polygons[p].size());
        for (std::size_t k = 0; k < polygons[p].size(); ++k)
            shape.polygons[p].indices[k] = static_cast<int16_t>(polygons[p][k]);
    }
    EXPECT_TRUE(shape.computeNormals());
    return shape;
}

void expectVector(const Vector3& v, float x, float y, float z)
{
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}

TEST(Normals, triangleOrientationFollowsTheRightHandRule)
{
    Shape ccw = shapeOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    expectVector(ccw.polygons[0].faceNormal, 0, 0, 1);
    for (int i = 0; i < 3; ++i) expectVector(ccw.vertexNormals[i], 0, 0, 1);
    Shape cw = shapeOf({{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, {{0, 1, 2}});
    expectVector(cw.polygons[0].faceNormal, 0, 0, -1);

    // Written counter-clockwise in the file, the loader's negated y turns it round.
    Parsed fromFile = parseText(
        "SHAPE t_shape = { 0, 3, 1 }; VECTOR { {0, 0, 0 } {1, 0, 0 } {0, 1, 0 } } SPOLY { { 1, 3, { 0, 1, 2 } } }");
    ASSERT_TRUE(fromFile.ok && fromFile.shape.computeNormals());
    expectVector(fromFile.shape.polygons[0].faceNormal, 0, 0, -1);
}

TEST(Normals, onlyTheFirstThreeCornersGiveTheFaceNormal)
{
    Shape quad = shapeOf({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 3}});
    expectVector(quad.polygons[0].faceNormal, 0, 0, 0);
    Shape segment = shapeOf({{0, 0, 0}, {1, 0, 0}}, {{0, 1}});
    expectVector(segment.polygons[0].faceNormal, 0, 0, 0);
    expectVector(segment.vertexNormals[0], 0, 0, 0);
}

TEST(Normals, vertexNormalsAverageWithoutWeighting)
{
    // Faces along +z and +x meeting at the origin; a third along +y for the three-axis case.
    const std::vector<ShapeVertex> v = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, -1, 0}};
    Shape two = shapeOf(v, {{0, 1, 2}, {0, 2, 3}});
    expectVector(two.vertexNormals[0], 0.70710677f, 0, 0.70710677f);
    Shape three = shapeOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 1, 2}, {0, 2, 3}, {0, 3, 1}});
    expectVector(three.vertexNormals[0], 0.57735026f, 0.57735026f, 0.57735026f);
    Shape opposite = shapeOf(v, {{0, 1, 2}, {0, 2, 1}});
    expectVector(opposite.vertexNormals[0], 0, 0, 0);
    // A large and a small triangle weigh the same.
    Shape sizes = shapeOf({{0, 0, 0}, {30000, 0, 0}, {0, 30000, 0}, {0, 0, 1}, {0, 1, 0}}, {{0, 1, 2}, {0, 4, 3}});
    expectVector(sizes.vertexNormals[0], 0.70710677f, 0, 0.70710677f);
}

TEST(Normals, verticesMatchByPosition)
{
    // Two entries at the origin, each used by a different triangle; vertex 6 is named by no polygon.
    Shape shape =
        shapeOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {0, 0, 1}, {0, 1, 0}, {9, 9, 9}}, {{0, 1, 2}, {3, 5, 4}});
    expectVector(shape.vertexNormals[0], 0.70710677f, 0, 0.70710677f);
    expectVector(shape.vertexNormals[3], 0.70710677f, 0, 0.70710677f);
    expectVector(shape.vertexNormals[6], 0, 0, 0);
    Shape empty = shapeOf({}, {});
    EXPECT_NE(empty.vertexNormals, nullptr);
}

// A random model made to hit shared positions, repeated indices, collinear and coincident corners,
// segments, empty polygons, unused vertices and the extreme coordinates.
Shape randomShape(std::mt19937& random)
{
    const int vertexCount = std::uniform_int_distribution<int>(1, 40)(random);
    const int positionCount = std::uniform_int_distribution<int>(1, vertexCount)(random);
    std::vector<ShapeVertex> positions;
    const int16_t extremes[] = {-32768, 32767, 0, 1, -1};
    for (int i = 0; i < positionCount; ++i) {
        auto coordinate = [&]() -> int16_t {
            const int kind = std::uniform_int_distribution<int>(0, 9)(random);
            if (kind < 2) return extremes[std::uniform_int_distribution<int>(0, 4)(random)];
            if (kind < 6) return static_cast<int16_t>(std::uniform_int_distribution<int>(-3, 3)(random));
            return static_cast<int16_t>(std::uniform_int_distribution<int>(-32768, 32767)(random));
        };
        const int16_t x = coordinate();
        const int16_t y = coordinate();
        // Some points on the line through the first, to give collinear corners.
        positions.push_back(i > 0 && random() % 5 == 0 ? ShapeVertex{static_cast<int16_t>(positions[0].x * 2),
                                                                     static_cast<int16_t>(positions[0].y * 2),
                                                                     static_cast<int16_t>(positions[0].z * 2)}
                                                       : ShapeVertex{x, y, coordinate()});
    }
    std::vector<ShapeVertex> vertices;
    for (int i = 0; i < vertexCount; ++i)
        vertices.push_back(positions[std::uniform_int_distribution<int>(0, positionCount - 1)(random)]);
    const int polygonCount = std::uniform_int_distribution<int>(0, 30)(random);
    std::vector<std::vector<int>> polygons;
    const int used = std::uniform_int_distribution<int>(1, vertexCount)(random);  // the rest stay unused
    for (int p = 0; p < polygonCount; ++p) {
        std::vector<int> indices(static_cast<std::size_t>(std::uniform_int_distribution<int>(0, 5)(random)));
        for (int& i : indices) i = std::uniform_int_distribution<int>(0, used - 1)(random);
        polygons.push_back(indices);
    }
    return shapeOf(vertices, polygons);
}

TEST(Normals, equalTheLiteralLoopBitForBitOnRandomModels)
{
    std::mt19937 random(1208);
    for (int model = 0; model < 5000; ++model) {
        const Shape shape = randomShape(random);
        ASSERT_EQ(firstNormalMismatch(shape, literalNormals(shape)), -1) << "model " << model;
    }
}

TEST(Normals, equalTheLiteralLoopOnAGeneratedFile)
{
    Parsed r = parseText(randomModel(600, 1200, 3));
    ASSERT_TRUE(r.ok) << r.messages;
    ASSERT_TRUE(r.shape.computeNormals());
    EXPECT_EQ(firstNormalMismatch(r.shape, literalNormals(r.shape)), -1);
    Parsed torus = parseText(torusModel(36, 18));
    ASSERT_TRUE(torus.ok && torus.shape.computeNormals());
    EXPECT_EQ(firstNormalMismatch(torus.shape, literalNormals(torus.shape)), -1);
}

}  // namespace
