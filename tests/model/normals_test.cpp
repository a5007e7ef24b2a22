// Normal tests: small cases by hand, and the linear-time computation against the literal loop, bit for bit.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include <random>
#include <string>
#include <vector>

#include "model/console.h"
#include "model/position_groups.h"
#include "testlib/crafted_positions.h"
#include "testlib/normals_oracle.h"
#include "tests/support/test_support.h"
#include "tools/sample_models.h"

namespace {

// Builds a Shape from stored coordinates (y as drawn) and polygons, then computes its normals.
Shape shapeOf(const std::vector<ShapeVertex>& vertices, const std::vector<std::vector<int>>& polygons)
{
    Shape shape;
    shape.vertexCount = static_cast<int32_t>(vertices.size());
    shape.polygonCount = static_cast<int32_t>(polygons.size());
    shape.vertices = allocateArray<ShapeVertex>(vertices.size(), "the vertices");
    std::copy(vertices.begin(), vertices.end(), shape.vertices.get());
    shape.polygons = allocateArray<ShapePolygon>(polygons.size(), "the polygons");
    for (std::size_t p = 0; p < polygons.size(); ++p) {
        shape.polygons[p].count = static_cast<uint8_t>(polygons[p].size());
        for (std::size_t k = 0; k < polygons[p].size(); ++k)
            shape.polygons[p].indices[k] = static_cast<int16_t>(polygons[p][k]);
    }
    EXPECT_TRUE(shape.computeNormals());
    return shape;
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

// Polygons spanning the whole 16-bit range, whose cross products need more than a float's 24 bits.
// The expected bits were worked out outside C++: exact integer cross products rounded once to float,
// then the double-precision normalisation and the float sums, step by step in Python's IEEE
// arithmetic. An optimiser that skips a rounding to float changes the last bit of some of them.
TEST(Normals, largePolygonsMatchValuesDerivedOutsideTheCompiler)
{
    Shape shape = shapeOf({{12516, -22720, -31665},
                           {17967, -20223, -23682},
                           {9801, -32083, 16893},
                           {-30011, 28763, 7201},
                           {-4455, 32767, -32768},
                           {32767, -31999, 29000},
                           {-27000, 5, -12345}},
                          {{0, 1, 2}, {2, 3, 4, 0}, {4, 5, 6, 0, 1}});
    expectVector(shape.polygons[0].faceNormal, 0x1.1edb24p-1f, -0x1.a31ebep-1f, -0x1.031afp-3f);
    expectVector(shape.polygons[1].faceNormal, -0x1.6101a6p-1f, -0x1.0f419p-1f, -0x1.f9c4e2p-2f);
    expectVector(shape.polygons[2].faceNormal, 0x1.993584p-3f, -0x1.3a32f4p-1f, -0x1.8718f4p-1f);
    expectVector(shape.vertexNormals[0], 0x1.e19148p-6f, -0x1.a22d1ap-1f, -0x1.270936p-1f);
    expectVector(shape.vertexNormals[1], 0x1.a4c024p-2f, -0x1.8c6ce4p-1f, -0x1.ece1dp-2f);
    expectVector(shape.vertexNormals[2], -0x1.6331f6p-4f, -0x1.cf5f5cp-1f, -0x1.aa6ba8p-2f);
    expectVector(shape.vertexNormals[3], -0x1.6101a6p-1f, -0x1.0f419p-1f, -0x1.f9c4e2p-2f);
    expectVector(shape.vertexNormals[4], -0x1.1b71f6p-2f, -0x1.4af4e6p-1f, -0x1.6c0ab2p-1f);
    expectVector(shape.vertexNormals[5], 0x1.993582p-3f, -0x1.3a32f4p-1f, -0x1.8718f4p-1f);
    expectVector(shape.vertexNormals[6], 0x1.993582p-3f, -0x1.3a32f4p-1f, -0x1.8718f4p-1f);
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
    // The benchmarks' ball: within the format's vertex table, and every face turned outwards.
    Parsed sphere = parseText(sphereModel());
    ASSERT_TRUE(sphere.ok && sphere.shape.computeNormals()) << sphere.messages;
    EXPECT_EQ(sphere.shape.vertexCount, 32514);
    EXPECT_EQ(sphere.shape.polygonCount, 32768);
    for (int32_t p = 0; p < sphere.shape.polygonCount; ++p) {
        const ShapePolygon& face = sphere.shape.polygons[p];
        const ShapeVertex& corner = sphere.shape.vertices[face.indices[0]];
        ASSERT_GT(face.faceNormal.x * corner.x + face.faceNormal.y * corner.y + face.faceNormal.z * corner.z, 0.0)
            << "face " << p;
    }
}

std::size_t groupingSteps(const std::vector<ShapeVertex>& vertices, int32_t* groups)
{
    const std::size_t n = vertices.size();
    GroupTables t;
    t.order = allocateArray<int32_t>(n, "the order");
    t.scratch = allocateArray<int32_t>(n, "the scratch");
    t.buckets = allocateArray<int32_t>(kBuckets, "the buckets");
    t.groupOf = allocateArray<int32_t>(n, "the groups");
    std::size_t steps = 0;
    *groups = groupByPosition(vertices.data(), static_cast<int32_t>(n), t, &steps);
    return steps;
}

TEST(Normals, positionsCraftedAgainstAHashCostTheGroupingNoMoreThanRandomOnes)
{
    for (const int count : {2000, 131072}) {
        int slotBits = 4;
        while ((1 << slotBits) < 2 * count) ++slotBits;
        const std::vector<ShapeVertex> crafted = positionsCollidingInAHash(count, slotBits);
        // They are hostile: every one lands in the first 4096 slots of a table of 2^slotBits.
        std::size_t crowded = 0;
        for (const ShapeVertex& v : crafted) crowded += multiplicativeSlot(packedPosition(v), slotBits) < 4096;
        ASSERT_EQ(crowded, crafted.size());

        int32_t craftedGroups = 0;
        int32_t randomGroups = 0;
        const std::size_t craftedSteps = groupingSteps(crafted, &craftedGroups);
        const std::size_t randomSteps = groupingSteps(randomPositions(count, 5), &randomGroups);
        EXPECT_EQ(craftedGroups, count);
        EXPECT_GT(randomGroups, count * 99 / 100);
        EXPECT_LE(craftedSteps, randomSteps * 2) << count << " positions";
        // Linear, or n log n below the radix sort's threshold: never anything like n squared.
        EXPECT_LE(craftedSteps, static_cast<std::size_t>(count) * 30) << count << " positions";
    }
}

TEST(Normals, equalTheLiteralLoopOnCraftedPositions)
{
    // Above and below the size from which the grouping sorts by radix.
    for (const int count : {1000, 6000}) {
        std::vector<ShapeVertex> vertices = positionsCollidingInAHash(count, 14);
        // Every position twice, so that groups hold several vertices.
        const std::vector<ShapeVertex> again(vertices);
        vertices.insert(vertices.end(), again.begin(), again.end());
        std::mt19937 random(static_cast<uint32_t>(count));
        std::vector<std::vector<int>> polygons(static_cast<std::size_t>(count));
        for (std::vector<int>& polygon : polygons) {
            polygon.resize(std::uniform_int_distribution<std::size_t>(2, 5)(random));
            for (int& index : polygon) index = std::uniform_int_distribution<int>(0, 2 * count - 1)(random);
        }
        const Shape shape = shapeOf(vertices, polygons);
        EXPECT_EQ(firstNormalMismatch(shape, literalNormals(shape)), -1) << count;
    }
}

int gMessageFd = -1;

TEST(Normals, runningOutOfMemoryIsOneLineThatNamesTheModelsSize)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
#endif
    // Four million vertices: the normals need 160 MB of tables, and the child gets 60 MB more
    // address space than it holds, enough for the first tables but not for all.
    Shape shape;
    shape.vertexCount = 4000000;
    shape.vertices = allocateArray<ShapeVertex>(4000000, "the vertices");
    shape.polygons = allocateArray<ShapePolygon>(0, "the polygons");
    for (int32_t i = 0; i < shape.vertexCount; ++i) shape.vertices[i] = {static_cast<int16_t>(i), 0, 0};
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        gMessageFd = fds[1];
        messageSink() = [](const char* line) {
            (void)!write(gMessageFd, line, std::strlen(line));
            (void)!write(gMessageFd, "\n", 1);
        };
        long pages = 0;
        std::FILE* statm = std::fopen("/proc/self/statm", "r");
        if (!statm || std::fscanf(statm, "%ld", &pages) != 1) _exit(3);
        std::fclose(statm);
        const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (60 << 20);
        const rlimit cap = {limit, limit};
        if (setrlimit(RLIMIT_AS, &cap) != 0) _exit(4);
        _exit(shape.computeNormals() ? 0 : 1);
    }
    close(fds[1]);
    std::string messages;
    char buffer[256];
    for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;)
        messages.append(buffer, static_cast<std::size_t>(got));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(messages, "error: out of memory: the normals of the model's 4000000 vertices need 160 MB\n");
}

}  // namespace
