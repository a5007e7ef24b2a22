// Loader tests: files, directories, pipes and devices, and what a failed load leaves behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_support.h"
#include "tools/sample_models.h"

namespace {

const std::string kOpenFailure = "error: file could not be opened for reading\n\n";

TEST(Load, theTetrahedronFileGetsItsNormals)
{
    Parsed r = loadFile(modelPath("tetra.zem"));
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_EQ(r.messages, "");
    EXPECT_STREQ(r.shape.name, "tetra");
    ASSERT_NE(r.shape.vertexNormals, nullptr);
    // Face 0 runs (0,-100,0), (-100,100,100), (100,100,100): (p0 - p1) x (p1 - p2) is (0, 20000, -40000).
    const Vector3 n = r.shape.polygons[0].faceNormal;
    EXPECT_EQ(n.x, 0.0f);
    EXPECT_EQ(n.y, static_cast<float>(20000.0 / std::sqrt(2.0e9)));
    EXPECT_EQ(n.z, static_cast<float>(-40000.0 / std::sqrt(2.0e9)));
    // The segment keeps a zero face normal.
    EXPECT_EQ(r.shape.polygons[4].faceNormal.length(), 0.0);
}

TEST(Load, everySampleModelLoads)
{
    for (const char* name : {"tetra.zem", "cube.zem", "dodecahedron.zem", "segments.zem", "torus.zem"}) {
        Parsed r = loadFile(modelPath(name));
        EXPECT_TRUE(r.ok) << name << ": " << r.messages;
    }
}

TEST(Load, sampleSolidsHavePlanarFacesTurnedOutwards)
{
    for (const char* name : {"cube.zem", "dodecahedron.zem"}) {
        Parsed r = loadFile(modelPath(name));
        ASSERT_TRUE(r.ok) << name << ": " << r.messages;
        std::vector<int> facesAtVertex(static_cast<std::size_t>(r.shape.vertexCount), 0);
        for (int32_t p = 0; p < r.shape.polygonCount; ++p) {
            const ShapePolygon& face = r.shape.polygons[p];
            const Vector3 n = face.faceNormal;
            const ShapeVertex& first = r.shape.vertices[face.indices[0]];
            for (int k = 0; k < face.count; ++k) {
                const ShapeVertex& v = r.shape.vertices[face.indices[k]];
                ++facesAtVertex[static_cast<std::size_t>(face.indices[k])];
                // Every corner on the face's plane (coordinates are rounded to whole units)...
                EXPECT_NEAR(n.x * (v.x - first.x) + n.y * (v.y - first.y) + n.z * (v.z - first.z), 0.0, 1.5)
                    << name << " face " << p;
                // ...and the normal pointing away from the solid's centre at the origin.
                EXPECT_GT(n.x * v.x + n.y * v.y + n.z * v.z, 0.0f) << name << " face " << p;
            }
        }
        for (int count : facesAtVertex) EXPECT_EQ(count, 3) << name;
    }
}

TEST(Load, whatCannotBeReadAsAFileGetsTheOpenFailure)
{
    Parsed missing = loadFile(tempDir() + "/no such file.zem");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.messages, kOpenFailure);
    EXPECT_EQ(missing.shape.vertexNormals, nullptr);

    Parsed directory = loadFile(tempDir());
    EXPECT_FALSE(directory.ok);
    EXPECT_EQ(directory.messages, kOpenFailure);
}

TEST(Load, aFailedParseComputesNoNormals)
{
    Parsed r = loadFile(writeTempFile("nopolys.zem", "SHAPE a_shape = { 0, 1, 1 }; VECTOR { { 1, 2, 3 } }"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.messages, "SPOLY description missing\n");
    EXPECT_EQ(r.shape.vertexNormals, nullptr);
    EXPECT_EQ(r.shape.polygonCount, 1);
}

TEST(Load, emptyAndZeroFilledFilesAreNotModels)
{
    EXPECT_EQ(loadFile(writeTempFile("empty.zem", "")).messages, "not a valid ZEM model\n");
    EXPECT_EQ(loadFile(writeTempFile("zeros.zem", std::string(100000, '\0'))).messages, "not a valid ZEM model\n");
    EXPECT_EQ(loadFile("/dev/zero").messages, "not a valid ZEM model\n");
    EXPECT_EQ(loadFile("/dev/null").messages, "not a valid ZEM model\n");
}

TEST(Load, aPipeLoadsLikeARegularFile)
{
    const std::string text = readFile(modelPath("torus.zem"));  // larger than one pipe buffer
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::thread writer([&] {
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t wrote = write(fds[1], text.data() + done, text.size() - done);
            if (wrote <= 0) break;
            done += static_cast<std::size_t>(wrote);
        }
        close(fds[1]);
    });
    Parsed r = loadFile("/dev/fd/" + std::to_string(fds[0]));
    writer.join();
    close(fds[0]);
    ASSERT_TRUE(r.ok) << r.messages;
    Parsed regular = loadFile(modelPath("torus.zem"));
    ASSERT_EQ(r.shape.vertexCount, regular.shape.vertexCount);
    ASSERT_EQ(r.shape.polygonCount, regular.shape.polygonCount);
    for (int32_t i = 0; i < r.shape.vertexCount; ++i) {
        EXPECT_EQ(r.shape.vertices[i].y, regular.shape.vertices[i].y);
        EXPECT_EQ(r.shape.vertexNormals[i].z, regular.shape.vertexNormals[i].z);
    }
}

TEST(Load, aRegularFileThatSeeksToLengthZeroIsReadToItsEnd)
{
    // /proc files are regular and seek to 0 whatever they hold. A process started with a model as
    // its word 0 shows it in /proc/<pid>/cmdline, ended by a zero byte.
    const std::string text = readFile(modelPath("tetra.zem"));
    const pid_t child = fork();
    if (child == 0) {
        execl("/bin/sleep", text.c_str(), "30", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(child, 0);
    const std::string cmdline = "/proc/" + std::to_string(child) + "/cmdline";
    for (int tries = 0; tries < 500 && readFile(cmdline).compare(0, text.size(), text) != 0; ++tries) usleep(10000);
    struct stat info;
    ASSERT_EQ(stat(cmdline.c_str(), &info), 0);
    ASSERT_TRUE(S_ISREG(info.st_mode));
    ASSERT_EQ(info.st_size, 0);
    Parsed r = loadFile(cmdline);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_STREQ(r.shape.name, "tetra");
    EXPECT_EQ(r.shape.polygonCount, 5);
}

// Loads path with a limit of maxBytes, the messages captured.
Parsed loadWithin(const std::string& path, std::size_t maxBytes)
{
    Parsed result;
    const CapturedMessages capture;
    result.ok = result.shape.load(path.c_str(), maxBytes);
    result.messages = capture.text();
    return result;
}

TEST(Load, aFileOverTheLimitIsRefusedInOneLineAndOneAtItLoads)
{
    const std::string text = readFile(modelPath("torus.zem"));
    const std::string path = writeTempFile("limit.zem", text);
    EXPECT_TRUE(loadWithin(path, text.size()).ok);
    const Parsed over = loadWithin(path, text.size() - 1);
    EXPECT_FALSE(over.ok);
    EXPECT_EQ(over.messages,
              "error: the model file is larger than the limit of " + std::to_string(text.size() - 1) + " bytes\n");
    // 20 GB that take no room on the disk: refused by their length, before any of it is allocated.
    const std::string huge = writeTempFile("huge.zem", "");
    ASSERT_EQ(truncate(huge.c_str(), off_t(20) << 30), 0);
    EXPECT_EQ(loadWithin(huge, std::size_t(1) << 30).messages,
              "error: the model file is larger than the limit of 1024 MB\n");
}

TEST(Load, aPipeIsReadNoFurtherThanTheLimit)
{
    // A source that never ends and never sends a zero byte, as a hostile pipe or device may.
    signal(SIGPIPE, SIG_IGN);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::thread writer([&] {
        const std::string spaces(1 << 16, ' ');
        while (write(fds[1], spaces.data(), spaces.size()) > 0) {
        }
        close(fds[1]);
    });
    const Parsed endless = loadWithin("/dev/fd/" + std::to_string(fds[0]), std::size_t(3) << 20);
    close(fds[0]);
    writer.join();
    EXPECT_FALSE(endless.ok);
    EXPECT_EQ(endless.messages, "error: the model file is larger than the limit of 3 MB\n");
}

TEST(Load, aSparseFileIsReadOnlyUpToItsFirstHole)
{
    // 1 GB of hole: its first piece ends the text, and nothing more of it is read into memory.
    const std::string sparse = writeTempFile("sparse.zem", "SHAPE sparse_shape = { 0, 1, 1 };");
    ASSERT_EQ(truncate(sparse.c_str(), off_t(1) << 30), 0);
    const pid_t child = fork();
    if (child == 0) {
        const Parsed r = loadFile(sparse);
        _exit(!r.ok && r.messages == "VECTOR description missing\n" ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    rusage usage;
    ASSERT_EQ(wait4(child, &status, 0, &usage), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the text before the hole is the model";
    EXPECT_LT(usage.ru_maxrss, 256 * 1024) << "peak resident memory in KB";
}

}  // namespace
