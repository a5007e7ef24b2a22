// zemconvert run for real on hostile files that the tests make, one class each: one line in the tool's
// words and status 1 (or 0 with a note where the file can still be read), within the time and memory
// limits, and nothing opened outside the model's folder.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sandbox/child.h"
#include "testlib/foreign_files.h"
#include "testlib/import_target.h"
#include "testlib/temp_dir.h"
#include "tests/support/test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint64_t kMegabyte = uint64_t(1) << 20;
// The limits the hostile runs are given, and what a loaded machine may add to the time.
constexpr uint64_t kMemoryLimit = 512 * kMegabyte;
constexpr double kTimeLimit = 10;
constexpr double kSlackSeconds = 15;

// ---- running zemconvert, measured ----

struct Measured {
    int status = -1;  // the exit status; -1 when a signal ended it
    std::string err;
    double seconds = 0;
    uint64_t peakBytes = 0;  // the largest resident set of zemconvert and every child it waited for
};

struct Started {
    pid_t pid = -1;
    std::string errPath;
    Clock::time_point start;
};

// settings ("NAME=value") join the environment; inChild runs in the forked process before the program starts.
Started start(const std::vector<std::string>& words, const std::string& program = ZEMCONVERT_PATH,
              const std::vector<std::string>& settings = {}, const std::function<void()>& inChild = nullptr)
{
    static int serial = 0;
    Started started;
    started.errPath = tempDir() + "/stderr" + std::to_string(++serial);
    started.start = Clock::now();
    started.pid = fork();
    if (started.pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int err = open(started.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(in, 1);
        dup2(err, 2);
        for (const std::string& setting : settings) putenv(const_cast<char*>(setting.c_str()));
        if (inChild) inChild();
        std::vector<std::string> all = {program};
        all.insert(all.end(), words.begin(), words.end());
        execv(program.c_str(), argumentVector(all).data());
        _exit(127);
    }
    return started;
}

// Waits for it, killing it past killAfter seconds so that a hang fails the test rather than hold it.
Measured finish(const Started& started, double killAfter = 120)
{
    Measured run;
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t got = wait4(started.pid, &status, WNOHANG, &usage);
        if (got == started.pid) break;
        if (std::chrono::duration<double>(Clock::now() - started.start).count() > killAfter) {
            kill(started.pid, SIGKILL);
            wait4(started.pid, &status, 0, &usage);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.seconds = std::chrono::duration<double>(Clock::now() - started.start).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = readFile(started.errPath);
    run.peakBytes = static_cast<uint64_t>(usage.ru_maxrss) * 1024;
    return run;
}

std::string outputFor(const std::string& input) { return input + ".zem"; }

// The words of an import of input under the hostile runs' limits, with more options before it.
std::vector<std::string> importWords(const std::string& input, const std::vector<std::string>& options = {})
{
    // At the source's own scale and place: the notes are then the reader's and the simplifier's alone.
    std::vector<std::string> words = {"--max-memory", "512M", "--time-limit", "10", "--scale", "1", "--no-center"};
    words.insert(words.end(), options.begin(), options.end());  // the last of an option counts
    words.insert(words.end(), {input, outputFor(input)});
    return words;
}

Measured import(const std::string& input, const std::vector<std::string>& options = {})
{
    return finish(start(importWords(input, options)));
}

// Words that belong to the reading library, or to C++, and never to the tool.
void expectTheToolsOwnWords(const Measured& run)
{
    for (const char* internal : {"aiMesh", "aiScene", "Validation", "bad_alloc", "std::", "GLTF", "Assimp", "assimp",
                                 "ai_assert", "Exception", "exception", "malloc"})
        EXPECT_EQ(run.err.find(internal), std::string::npos) << run.err;
}

// Within the time and memory the run was given (the peak is the sandboxed build's own business:
// its shadow memory and quarantine count there but not in its budget).
void expectBounded(const Measured& run, double seconds = kTimeLimit, uint64_t memory = kMemoryLimit)
{
    EXPECT_LT(run.seconds, seconds + kSlackSeconds) << run.err;
    if (!sandbox_detail::kSanitized) {
        EXPECT_LE(run.peakBytes, memory) << run.err;
    }
}

// Status 1, exactly the line "zemconvert: INPUT: why", bounded, and no output written.
void expectRefused(const std::string& input, const Measured& run, const std::string& why)
{
    EXPECT_EQ(run.status, 1) << input;
    EXPECT_EQ(run.err, "zemconvert: " + input + ": " + why + "\n");
    EXPECT_FALSE(exists(outputFor(input))) << input;
    expectTheToolsOwnWords(run);
    expectBounded(run);
}

// ---- files ----

std::string le32(uint32_t value) { return std::string(reinterpret_cast<const char*>(&value), 4); }
std::string f32(float value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

const char kTriangleVertices[] = "element vertex 3\nproperty float x\nproperty float y\nproperty float z\n";
const char kFaces[] = "property list uchar int vertex_indices\n";

std::string glb(const std::string& json, const std::string& binary)
{
    const std::string text = json + std::string((4 - json.size() % 4) % 4, ' ');
    std::string body = le32(static_cast<uint32_t>(text.size())) + "JSON" + text;
    if (!binary.empty()) body += le32(static_cast<uint32_t>(binary.size())) + std::string("BIN\0", 4) + binary;
    return "glTF" + le32(2) + le32(static_cast<uint32_t>(12 + body.size())) + body;
}

// One triangle, three positions then three 16-bit indices and their padding.
std::string triangleBuffer()
{
    std::string bytes;
    for (float v : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f}) bytes += f32(v);
    return bytes + std::string("\0\0\1\0\2\0\0\0", 8);
}

// A glTF triangle whose position accessor carries extra, and whose buffer is described by buffer.
std::string gltfJson(const std::string& accessorExtra, const std::string& buffer, const std::string& nodes = "")
{
    return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[)" +
           (nodes.empty() ? std::string(R"({"mesh":0})") : nodes) +
           R"(],"meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1}]}],"accessors":[{"bufferView":0,)"
           R"("componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0])" +
           accessorExtra +
           R"(},{"bufferView":1,"componentType":5123,"count":3,"type":"SCALAR"}],"bufferViews":[{"buffer":0,)"
           R"("byteLength":36},{"buffer":0,"byteOffset":36,"byteLength":6}],"buffers":[)" +
           buffer + "]}";
}

const std::string kEmbeddedBuffer = R"({"byteLength":42})";

// A zip of one stored entry and one whose deflated bytes repeat a megabyte of spaces: after a full
// flush the compressor starts afresh, so each megabyte compresses to the same bytes (about a
// thousand), and the archive stays small whatever it unpacks to.
std::string zipBomb(const std::string& storedName, const std::string& stored, const std::string& bombName,
                    uint32_t megabytes)
{
    const std::string spaces(kMegabyte, ' ');
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    std::string piece(deflateBound(&stream, kMegabyte) + 64, '\0');
    const auto deflateInto = [&](const std::string& in, int flush) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        stream.avail_in = static_cast<uInt>(in.size());
        stream.next_out = reinterpret_cast<Bytef*>(&piece[0]);
        stream.avail_out = static_cast<uInt>(piece.size());
        deflate(&stream, flush);
        return piece.substr(0, piece.size() - stream.avail_out);
    };
    const std::string megabyte = deflateInto(spaces, Z_FULL_FLUSH);
    std::string data;
    for (uint32_t k = 0; k < megabytes; ++k) data += megabyte;
    data += deflateInto(std::string(), Z_FINISH);
    deflateEnd(&stream);
    const uLong spaceCrc = crc32(0, reinterpret_cast<const Bytef*>(spaces.data()), kMegabyte);
    uLong crc = 0;
    for (uint32_t k = 0; k < megabytes; ++k) crc = crc32_combine(crc, spaceCrc, kMegabyte);

    struct Entry {
        std::string name, bytes;
        uint32_t crc, size;
        uint16_t method;
    };
    const Entry entries[] = {
        {storedName, stored,
         static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(stored.data()), stored.size())),
         static_cast<uint32_t>(stored.size()), 0},
        {bombName, data, static_cast<uint32_t>(crc), megabytes * uint32_t(kMegabyte), 8}};
    const auto le16 = [](uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
    std::string local, central;
    for (const Entry& e : entries) {
        const std::string common = le16(20) + le16(0) + le16(e.method) + le32(0) + le32(e.crc) +
                                   le32(static_cast<uint32_t>(e.bytes.size())) + le32(e.size) +
                                   le16(static_cast<uint16_t>(e.name.size())) + le16(0);
        central += le32(0x02014b50) + le16(20) + common + le16(0) + le16(0) + le16(0) + le32(0) +
                   le32(static_cast<uint32_t>(local.size())) + e.name;
        local += le32(0x04034b50) + common + e.name + e.bytes;
    }
    return local + central + le32(0x06054b50) + le32(0) + le16(2) + le16(2) +
           le32(static_cast<uint32_t>(central.size())) + le32(static_cast<uint32_t>(local.size())) + le16(0);
}

// The reader takes time for each line of a header: many short lines make a slow read.
std::string longPlyHeader(int commentLines, std::size_t lineBytes = 40)
{
    std::string comments;
    for (int k = 0; k < commentLines; ++k) comments += "comment " + std::string(lineBytes - 9, 'x') + "\n";
    return "ply\nformat ascii 1.0\n" + comments + kTriangleVertices + "element face 1\n" + kFaces +
           "end_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";
}

// ---- the classes ----

// Two vertex elements: the reader sizes its vertices by the first and writes the second's into them.
TEST(HostileImport, heapCorruptingBinaryPlyIsACrashInOneLine)
{
    const std::string header = "ply\nformat binary_little_endian 1.0\nelement vertex 1\nproperty float x\n"
                               "property float y\nproperty float z\nelement vertex 1000\nproperty float x\n"
                               "property float y\nproperty float z\nend_header\n";
    std::string body;
    for (int k = 0; k < 1001; ++k) body += f32(float(k)) + f32(0) + f32(1);
    const std::string input = writeTempFile("corrupting.ply", header + body);
    const Measured run = import(input);
    // The sanitizer's allocator puts red zones where the library's uninstrumented writes land: the
    // heap stays whole there, and the file reads as one with no mesh.
    if (sandbox_detail::kSanitized) {
        EXPECT_EQ(run.status, 1);
        return;
    }
    expectRefused(input, run, "the PLY reader failed on this file (it crashed: the file is damaged or hostile)");
}

// A sparse accessor without the buffer views its indices and values need.
TEST(HostileImport, glbThatDereferencesNullIsACrashInOneLine)
{
    const std::string json =
        gltfJson(R"(,"sparse":{"count":1,"indices":{"componentType":5123},"values":{}})", kEmbeddedBuffer);
    const std::string input = writeTempFile("null.glb", glb(json, triangleBuffer()));
    expectRefused(input, import(input),
                  "the glTF reader failed on this file (it crashed: the file is damaged or hostile)");
}

// Each of these overflowed the reader's stack: it recurses into what nests.
TEST(HostileImport, deepNestingIsRefusedBeforeAReaderRecursesIntoIt)
{
    const std::string deepJson =
        R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"extras":)" +
        std::string(200000, '[') + std::string(200000, ']') + "}]}";
    const std::string json = writeTempFile("deep-json.gltf", deepJson);
    expectRefused(json, import(json), "its JSON nests deeper than 1000 levels");

    std::string chain;
    for (int k = 0; k < 100000; ++k) chain += R"({"children":[)" + std::to_string(k + 1) + "]},";
    const std::string nodes =
        writeTempFile("deep-nodes.glb", glb(gltfJson("", kEmbeddedBuffer, chain + R"({"mesh":0})"), triangleBuffer()));
    expectRefused(nodes, import(nodes), "its node tree nests deeper than 1000 levels");

    std::string xml = "<?xml version=\"1.0\"?><COLLADA><library_visual_scenes><visual_scene id=\"s\">";
    for (int k = 0; k < 100000; ++k) xml += "<node>";
    for (int k = 0; k < 100000; ++k) xml += "</node>";
    const std::string dae = writeTempFile("deep.dae", xml + "</visual_scene></library_visual_scenes></COLLADA>");
    expectRefused(dae, import(dae), "its XML nests deeper than 1000 levels");

    // Inside a zip, and in binary FBX's node records.
    const std::string zae = writeTempFile(
        "deep.zae", zipArchive({{"scene.dae", xml + "</visual_scene></library_visual_scenes></COLLADA>"}}));
    expectRefused(zae, import(zae), "its zip entry 'scene.dae': its XML nests deeper than 1000 levels");
    const std::string fbx = writeTempFile("deep.fbx", binaryFbxChain(20000));
    expectRefused(fbx, import(fbx), "its FBX nodes nest deeper than 1000 levels");
}

// Each of these kept the reader looking for the end of its header for ever.
TEST(HostileImport, headersWhoseEndTheReaderNeverFindsAreRefusedAtOnce)
{
    const std::string hangs[] = {
        "ply\nformat ascii end_header\n",
        std::string("ply\nformat ascii 1.0\n") + kTriangleVertices + "end_headerx\n0 0 0\n",
        "ply\nformat ascii 1.0\nelement vertex 1\nproperty float end_header\n0\n",
    };
    for (const std::string& bytes : hangs) {
        const std::string input = writeTempFile("hang.ply", bytes);
        expectRefused(input, import(input), "its PLY header has no end_header line");
    }
}

TEST(HostileImport, declaredSizesBeyondTheFileAreRefusedBeforeAnyAllocation)
{
    std::string ply = "ply\nformat binary_little_endian 1.0\nelement vertex 500000000\nproperty float x\n"
                      "property float y\nproperty float z\nend_header\n";
    ply += std::string(226 - ply.size(), '\0');
    const std::string stl = std::string(80, 'x') + le32(4000000000u) + std::string(50, '\0');
    const std::string glbFile = glb(gltfJson("", kEmbeddedBuffer), triangleBuffer());
    std::string longGlb = glbFile;
    longGlb.replace(8, 4, le32(0x7fffffff));  // the whole file's length
    const struct {
        const char* name;
        std::string bytes;
        std::string why;
    } cases[] = {
        {"vertices.ply", ply, "declares 500000000 vertices, more than its 226 bytes can hold"},
        // The reader takes its word in any case.
        {"mixed-case.ply", "Ply" + ply.substr(3), "declares 500000000 vertices, more than its 226 bytes can hold"},
        {"headerless.off", "2000000000 1 0\n0 0 0\n", "declares 2000000000 vertices, more than its 21 bytes can hold"},
        {"counts.off", "OFF\n2000000000 1 0\n0 0 0\n", "declares 2000000000 vertices, more than its 25 bytes can hold"},
        {"triangles.stl", stl, "declares 4000000000 triangles, more than its 134 bytes can hold"},
        {"length.glb", longGlb,
         "its header declares 2147483647 bytes, more than its " + std::to_string(longGlb.size()) + " bytes can hold"},
        {"buffer.gltf", gltfJson("", R"({"byteLength":4000000000,"uri":"data:application/octet-stream;base64,AAAA"})"),
         "buffer 0 declares 4000000000 bytes, more than the 3 of its data"},
    };
    for (const auto& c : cases) {
        const std::string input = writeTempFile(c.name, c.bytes);
        expectRefused(input, import(input), c.why);
    }
}

// 600 MB of spaces in 600 KB: the archive's reader unpacks it whole.
TEST(HostileImport, zipBombRunsIntoTheMemoryLimit)
{
    const std::string types =
        R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/></Types>)";
    const std::string bomb = zipBomb("[Content_Types].xml", types, "_rels/.rels", 600);
    EXPECT_LT(bomb.size(), 700 * 1024u);
    const std::string input = writeTempFile("bomb.3mf", bomb);
    // Its white space is inflated whole before the reader sees it (XML may follow it): a couple of
    // seconds of processor time, which a loaded machine may stretch on the clock.
    const Measured run = import(input, {"--max-memory", "256M", "--time-limit", "60"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "zemconvert: " + input + ": the 3MF reader needed more than 256 MB (see --max-memory)\n");
    EXPECT_FALSE(exists(outputFor(input)));
    expectBounded(run, 60, 256 * kMegabyte);
}

// Forty levels of two nodes, each naming both of the next: a trillion paths to the mesh.
TEST(HostileImport, exponentialNodeGraphIsRefused)
{
    std::string nodes;
    for (int level = 0; level < 40; ++level)
        for (int k = 0; k < 2; ++k)
            nodes += R"({"children":[)" + std::to_string(2 * level + 2) + "," + std::to_string(2 * level + 3) + "]},";
    nodes += R"({"mesh":0},{"mesh":0})";
    const std::string input =
        writeTempFile("exponential.glb", glb(gltfJson("", kEmbeddedBuffer, nodes), triangleBuffer()));
    expectRefused(input, import(input), "node 2 is named as a child more than once");
}

// The simplifier's cost grows with the square of the faces on the same corners: 28 s here once.
TEST(HostileImport, seventyThousandIdenticalFacesAreSimplifiedAtOnce)
{
    std::string obj = "v 0 0 0\nv 10 0 0\nv 0 10 0\n";
    for (int k = 0; k < 70000; ++k) obj += "f 1 2 3\n";
    const std::string input = writeTempFile("identical.obj", obj);
    const Measured run = import(input);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "zemconvert: note: simplified from 3 vertices and 70000 polygons to 3 vertices and 1 "
                       "polygon, within the format's 32768 vertices and 65534 polygons\n");
    EXPECT_LT(run.seconds, 5 + kSlackSeconds);
    const Parsed written = loadFile(outputFor(input));
    ASSERT_TRUE(written.ok) << written.messages;
    EXPECT_EQ(written.shape.vertexCount, 3);
    EXPECT_EQ(written.shape.polygonCount, 1);
}

// ---- limits ----

TEST(HostileImport, readerPastTheTimeLimitIsStoppedInOneLine)
{
    // The reader takes about two seconds of processor time for each megabyte of header.
    const std::string input = writeTempFile("slow.ply", longPlyHeader(100000));
    const Measured run = finish(start({"--time-limit", "1", input, outputFor(input)}));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "zemconvert: " + input + ": the PLY reader took more than 1 s (see --time-limit)\n");
    EXPECT_LT(run.seconds, 1 + kSlackSeconds);
    EXPECT_FALSE(exists(outputFor(input)));
}

// Past its first megabyte, where such a header was once refused as cut short.
TEST(HostileImport, plyHeaderLongerThanAMegabyteIsRead)
{
    const std::string input = writeTempFile("long-header.ply", longPlyHeader(300, 4000));
    const Measured run = finish(start({"--time-limit", "120", "--scale", "1", "--no-center", input, outputFor(input)}));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
}

TEST(HostileImport, plyEdgeNamingAMissingVertexIsANote)
{
    const std::string input = writeTempFile(
        "edges.ply", std::string("ply\nformat ascii 1.0\n") + kTriangleVertices + "element face 1\n" + kFaces +
                         "element edge 3\nproperty int vertex1\nproperty int vertex2\nend_header\n"
                         "0 0 0\n10 0 0\n0 10 0\n3 0 1 2\n0 1\n1 7\n2 0\n");
    const Measured run = import(input, {"--scale", "1", "--no-center"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "zemconvert: note: 1 PLY edge dropped: it names a vertex that the file does not have\n");
    // The good edges on either side of it are kept: the face and two segments.
    const Parsed written = loadFile(outputFor(input));
    ASSERT_TRUE(written.ok) << written.messages;
    std::vector<int> counts;
    for (int p = 0; p < written.shape.polygonCount; ++p) counts.push_back(written.shape.polygons[p].count);
    std::sort(counts.begin(), counts.end());
    EXPECT_EQ(counts, (std::vector<int>{2, 2, 3}));
}

// ---- only the model's own folder ----

// A folder with a secret beside the model's folder, and models in it that name the secret in
// every way there is to climb out: "..", an absolute name, a link; and a FIFO that would block.
struct Outside {
    std::string root, models, secretMtl, secretBin;
};

const Outside& outsideFolders()
{
    static const Outside outside = [] {
        Outside o;
        o.root = tempDir() + "/outside";
        o.models = o.root + "/models";
        mkdir(o.root.c_str(), 0700);
        mkdir(o.models.c_str(), 0700);
        o.secretMtl = o.root + "/secret.mtl";
        o.secretBin = o.root + "/secret.bin";
        std::ofstream(o.secretMtl) << "newmtl warm\nKd 0.9 0.55 0.25\n";
        std::ofstream(o.secretBin, std::ios::binary) << triangleBuffer();
        symlink("../secret.mtl", (o.models + "/link.mtl").c_str());
        std::ofstream(o.models + "/stdin.mtl") << "newmtl warm\nKd 0.9 0.55 0.25\nmap_Kd /dev/stdin\n";
        mkfifo((o.models + "/pipe.mtl").c_str(), 0600);
        return o;
    }();
    return outside;
}

const char kObjTriangle[] = "usemtl warm\nv 0 0 0\nv 10 0 0\nv 0 10 0\nf 1 2 3\n";

struct NamedFile {
    const char* model;  // in the models' folder
    std::string bytes;
    std::string note;
    int status;
};

std::vector<NamedFile> climbingModels(const Outside& o)
{
    const std::string gltf = gltfJson("", R"({"byteLength":42,"uri":"../secret.bin"})");
    const std::string absoluteGltf = gltfJson("", R"({"byteLength":42,"uri":")" + o.secretBin + R"("})");
    return {
        {"climb.obj", "mtllib ../secret.mtl\n" + std::string(kObjTriangle),
         "ignored material file ../secret.mtl: outside the model's folder", 0},
        {"absolute.obj", "mtllib " + o.secretMtl + "\n" + kObjTriangle,
         "ignored material file " + o.secretMtl + ": outside the model's folder", 0},
        {"link.obj", "mtllib link.mtl\n" + std::string(kObjTriangle),
         "ignored material file link.mtl: outside the model's folder", 0},
        {"pipe.obj", "mtllib pipe.mtl\n" + std::string(kObjTriangle),
         "ignored material file pipe.mtl: not a regular file", 0},
        {"stdin.obj",
         "mtllib stdin.mtl\nusemtl warm\nv 0 0 0\nv 10 0 0\nv 0 10 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\n",
         "ignored texture /dev/stdin: outside the model's folder", 0},
        {"climb.gltf", gltf, "ignored buffer file ../secret.bin: outside the model's folder", 1},
        {"scheme.gltf", gltfJson("", R"({"byteLength":42,"uri":"file://)" + o.secretBin + R"("})"),
         "ignored buffer file file://" + o.secretBin + ": outside the model's folder", 1},
        {"absolute.gltf", absoluteGltf, "ignored buffer file " + o.secretBin + ": outside the model's folder", 1},
    };
}

TEST(HostileImport, filesOutsideTheModelsFolderAreNotesAndNeverOpened)
{
    const Outside& o = outsideFolders();
    for (const NamedFile& named : climbingModels(o)) {
        const std::string input = o.models + "/" + named.model;
        std::ofstream(input, std::ios::binary) << named.bytes;
        const Measured run = import(input);
        EXPECT_EQ(run.status, named.status) << named.model << ": " << run.err;
        const std::string noteLine = named.note.empty() ? "" : "zemconvert: note: " + named.note + "\n";
        if (named.status == 0) {
            EXPECT_EQ(run.err, noteLine) << named.model;
        } else {
            EXPECT_EQ(run.err, noteLine + "zemconvert: " + input +
                                   ": the glTF reader could not open this file or a file that it names\n")
                << named.model;
        }
        EXPECT_EQ(run.err.find("warm"), std::string::npos);
        expectBounded(run);
    }
    // The material's colour arrives only when the user allows it.
    const std::string climb = o.models + "/climb.obj";
    ASSERT_EQ(import(climb).status, 0);
    const std::string confined = readFile(outputFor(climb));
    const Measured allowed = import(climb, {"--allow-outside-files"});
    EXPECT_EQ(allowed.status, 0) << allowed.err;
    EXPECT_EQ(allowed.err, "");
    EXPECT_NE(readFile(outputFor(climb)), confined);  // the material's palette entry, not the default grey's
}

// strace, where it can trace: no process of the import opens anything that names the secrets.
std::string tracedOpens(const std::string& input, const std::vector<std::string>& options, Measured& run)
{
    const std::string log = input + ".strace";
    // (The leak checker of a sanitized build cannot run under a tracer.)
    std::vector<std::string> words = {"-f",           "-qq", "-e", "trace=open,openat,openat2",
                                      "-o",           log,   "-E", "ASAN_OPTIONS=detect_leaks=0",
                                      ZEMCONVERT_PATH};
    words.insert(words.end(), options.begin(), options.end());
    words.insert(words.end(), {input, outputFor(input)});
    run = finish(start(words, "/usr/bin/strace"));
    return readFile(log);
}

// The opens that succeeded: a name asked beneath the folder and refused by the kernel opened nothing.
std::string succeeded(const std::string& opens)
{
    std::istringstream lines(opens);
    std::string kept;
    for (std::string line; std::getline(lines, line);)
        if (line.find(" = -1 ") == std::string::npos) kept += line + "\n";
    return kept;
}

TEST(HostileImport, straceSeesNothingOutsideTheFolderOpened)
{
    // A tool that a package gives is no reason to skip: a security check that silently did nothing.
    ASSERT_EQ(access("/usr/bin/strace", X_OK), 0)
        << "strace is missing: install the Debian package strace (bash scripts/install-deps.sh test)";
    Measured probe = finish(start({"-qq", "-o", "/dev/null", "/bin/true"}, "/usr/bin/strace"));
    if (probe.status != 0) GTEST_SKIP() << "strace cannot trace here: " << probe.err;
    const Outside& o = outsideFolders();
    for (const NamedFile& named : climbingModels(o)) {
        const std::string input = o.models + "/" + named.model;
        std::ofstream(input, std::ios::binary) << named.bytes;
        Measured run;
        const std::string opens = succeeded(tracedOpens(input, {}, run));
        EXPECT_EQ(run.status, named.status) << named.model << ": " << run.err;
        EXPECT_EQ(opens.find("secret"), std::string::npos) << named.model << ":\n" << opens;
        // The trace did follow the import: the model was opened.
        EXPECT_GE(std::count(opens.begin(), opens.end(), '\n'), 2);
        EXPECT_NE(opens.find(named.model), std::string::npos) << opens;
    }
    // And it would see the secret opened, where the user allows it.
    Measured allowed;
    const std::string opens = succeeded(tracedOpens(o.models + "/climb.obj", {"--allow-outside-files"}, allowed));
    EXPECT_EQ(allowed.status, 0) << allowed.err;
    EXPECT_NE(opens.find("secret.mtl"), std::string::npos) << opens;
}

// A file that the model loads is handed over only after the same checks as the model's own: a
// LightWave scene's object here, which its reader once read into the memory limit.
TEST(HostileImport, filesThatTheModelLoadsAreCheckedBeforeTheirReader)
{
    std::string ply = "ply\nformat binary_little_endian 1.0\nelement vertex 100000000\nproperty float x\n"
                      "property float y\nproperty float z\nend_header\n";
    ply += std::string(226 - ply.size(), '\0');
    writeTempFile("huge.ply", ply);
    const std::string input = writeTempFile(
        "scene.lws",
        "LWSC\n3\n\nFirstFrame 1\nLastFrame 60\nFrameStep 1\n\nLoadObjectLayer 1 huge.ply\nShowObject 6 2\n");
    const Measured run = import(input);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "zemconvert: note: ignored file huge.ply: declares 100000000 vertices, more than its 226 bytes "
                       "can hold\nzemconvert: " +
                           input + ": the reader found no mesh in this file\n");
    expectBounded(run);
}

TEST(HostileImport, inputThatIsNoRegularFileIsRefusedWithoutWaiting)
{
    const std::string fifo = tempDir() + "/waiting.obj";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    expectRefused(fifo, import(fifo), "not a regular file");
    const std::string directory = tempDir() + "/folder.ply";
    ASSERT_EQ(mkdir(directory.c_str(), 0700), 0);
    expectRefused(directory, import(directory), "not a regular file");
}

// ---- a real crash in the child ----

// The children of a process, from the kernel's own list (empty where the kernel keeps none).
std::vector<pid_t> childrenOf(pid_t pid)
{
    std::ifstream list("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    std::vector<pid_t> children;
    for (pid_t child; list >> child;) children.push_back(child);
    return children;
}

TEST(HostileImport, childKilledWhileReadingIsACrashAndTheOutputIsUntouched)
{
    const std::string probe = "/proc/" + std::to_string(getpid()) + "/task/" + std::to_string(getpid()) + "/children";
    if (access(probe.c_str(), R_OK) != 0) GTEST_SKIP() << "this kernel lists no children in " << probe;
    // A header that takes the reader seconds; a folder of its own for the output.
    const std::string input = writeTempFile("slow-to-read.ply", longPlyHeader(100000));
    const std::string outputs = tempDir() + "/kept";
    mkdir(outputs.c_str(), 0700);
    const std::string output = outputs + "/model.zem";
    std::ofstream(output) << "what was there";
    const Started started = start({"--time-limit", "120", input, output});
    // The child, once it is confined (its filter is the last step before it reads).
    std::vector<pid_t> children;
    for (int wait = 0; wait < 20000; ++wait) {
        children = childrenOf(started.pid);
        if (children.size() == 1 &&
            readFile("/proc/" + std::to_string(children[0]) + "/status").find("Seccomp:\t2") != std::string::npos)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(children.size(), 1u) << "the reader's child never appeared";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(kill(children[0], SIGSEGV), 0);
    const Measured run = finish(started);
    EXPECT_EQ(run.status, 1);
    // A sanitized child reports the fault on standard error first, as it is built to.
    const std::string line =
        "zemconvert: " + input + ": the PLY reader failed on this file (it crashed: the file is damaged or hostile)\n";
    const std::string last = run.err.substr(run.err.rfind('\n', run.err.size() - 2) + 1);
    EXPECT_EQ(sandbox_detail::kSanitized ? last : run.err, line) << run.err;
    EXPECT_LT(run.seconds, 60);  // it did not read on to the end
    EXPECT_EQ(readFile(output), "what was there");
    std::vector<std::string> left;
    if (DIR* dir = opendir(outputs.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') left.push_back(entry->d_name);
        closedir(dir);
    }
    EXPECT_EQ(left, std::vector<std::string>{"model.zem"});
}

// ---- a reader taken over ----

// A reader that a hostile file took over, played by a library preloaded into zemconvert: it runs the
// attack named right after the child's filter is loaded (tests/support/taken_over_reader.cpp).
std::vector<std::string> attack(const std::string& name, std::vector<std::string> settings = {})
{
    settings.push_back("LD_PRELOAD=" TAKEN_OVER_READER_PATH);
    settings.push_back("ZEM_ATTACK=" + name);
    // The sanitizer's runtime must otherwise come first of the preloaded libraries.
    settings.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
    return settings;
}

const std::string kForbiddenLine = "(it tried what no reader may do: the file is hostile)";

// Ends with the filter's verdict on the attack; a sanitized child's report may come first.
void expectForbidden(const std::string& input, const Measured& run)
{
    EXPECT_EQ(run.status, 1) << run.err;
    const std::string line = "zemconvert: " + input + ": the OBJ reader failed on this file " + kForbiddenLine + "\n";
    EXPECT_EQ(run.err.substr(run.err.size() < line.size() ? 0 : run.err.size() - line.size()), line) << run.err;
}

std::string objTriangle(const std::string& name)
{
    return writeTempFile(name, "v 0 0 0\nv 10 0 0\nv 0 10 0\nf 1 2 3\n");
}

bool alive(pid_t pid) { return waitpid(pid, nullptr, WNOHANG) == 0; }

// Whether a child of this process is still running, leaving it to be waited for.
bool running(pid_t pid)
{
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

// F_SETOWN, F_SETSIG(SIGKILL) and O_ASYNC on the answer's pipe once made the parent's read of the
// answer kill any process: an unrelated one, or zemconvert itself (status 137, no line).
TEST(TakenOverReader, signalsThroughTheAnswersPipeReachNoProcess)
{
    const pid_t bystander = fork();
    if (bystander == 0) {
        execl("/bin/sleep", "sleep", "60", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(bystander, 0);
    const std::string input = objTriangle("signal.obj");
    const Measured run = finish(start(importWords(input), ZEMCONVERT_PATH,
                                      attack("signal", {"ZEM_ATTACK_TARGET=" + std::to_string(bystander)})));
    EXPECT_TRUE(alive(bystander)) << "the bystander was killed";
    kill(bystander, SIGKILL);
    waitpid(bystander, nullptr, 0);
    expectForbidden(input, run);

    const Measured self =
        finish(start(importWords(input), ZEMCONVERT_PATH, attack("signal", {"ZEM_ATTACK_TARGET=parent"})));
    expectForbidden(input, self);
}

// A lease on a file the child held once kept another process's write waiting for 18.5 s.
TEST(TakenOverReader, noLeaseIsHeldOnTheModel)
{
    const std::string input = objTriangle("leased.obj");
    const Started started = start(importWords(input), ZEMCONVERT_PATH,
                                  attack("lease", {"ZEM_ATTACK_FILE=" + input, "ZEM_ATTACK_SECONDS=3"}));
    int leases = 0, blockedWrites = 0;
    while (running(started.pid) && std::chrono::duration<double>(Clock::now() - started.start).count() < 30) {
        // A writer is turned away at once rather than kept waiting, where a lease stands.
        const int writer = open(input.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer < 0 && errno == EWOULDBLOCK) ++blockedWrites;
        if (writer >= 0) close(writer);
        if (readFile("/proc/locks").find("LEASE") != std::string::npos) ++leases;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const Measured run = finish(started);
    EXPECT_EQ(leases, 0);
    EXPECT_EQ(blockedWrites, 0);
    expectForbidden(input, run);
}

// A folder watched with F_NOTIFY signals the child (SIGIO, which ends it) on each new file.
TEST(TakenOverReader, foldersCannotBeWatched)
{
    const std::string folder = tempDir() + "/watched";
    mkdir(folder.c_str(), 0700);
    const std::string input = folder + "/watched.obj";
    std::ofstream(input) << "v 0 0 0\nv 10 0 0\nv 0 10 0\nf 1 2 3\n";
    const Started started = start(importWords(input), ZEMCONVERT_PATH,
                                  attack("notify", {"ZEM_ATTACK_FILE=" + folder, "ZEM_ATTACK_SECONDS=3"}));
    for (int k = 0; running(started.pid) && k < 1500; ++k) {
        std::ofstream(folder + "/new" + std::to_string(k)) << k;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    expectForbidden(input, finish(started));
}

// Files outside the model's folder, by every way a reader could name them: a secret of the
// system's, a secret in another folder, and a file beside the model's folder, absolute and relative.
TEST(TakenOverReader, filesOutsideTheFolderCannotBeRead)
{
    const std::string root = tempDir() + "/taken-over";
    mkdir(root.c_str(), 0700);
    mkdir((root + "/models").c_str(), 0700);
    std::ofstream(root + "/beside.txt") << "beside the folder";
    const std::string input = root + "/models/model.obj";
    std::ofstream(input) << "v 0 0 0\nv 10 0 0\nv 0 10 0\nf 1 2 3\n";
    const std::string files = "/etc/passwd:" + outsideFolders().secretMtl + ":" + root + "/beside.txt:" + root +
                              "/models/../beside.txt:../beside.txt:models/../beside.txt";
    const Started started = start(importWords(input), ZEMCONVERT_PATH, attack("outside", {"ZEM_ATTACK_FILES=" + files}),
                                  [&] { (void)!chdir((root + "/models").c_str()); });
    const Measured run = finish(started);
    // A read of any of them ends the child as a crash.
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(loadFile(outputFor(input)).ok);
}

// A material file swapped, again and again, with a link out of the folder (renameat2's
// RENAME_EXCHANGE), while the model is imported many times: the file outside is never read, each
// import reads either the material inside or none at all.
TEST(TakenOverReader, swappingAMaterialWithALinkOutReadsNothingOutside)
{
    const std::string root = tempDir() + "/swapped";
    const std::string models = root + "/models";
    mkdir(root.c_str(), 0700);
    mkdir(models.c_str(), 0700);
    std::ofstream(root + "/secret.mtl") << "newmtl warm\nKd 0.9 0.55 0.25\n";
    std::ofstream(models + "/swap.mtl") << "newmtl warm\nKd 0.1 0.2 0.9\n";
    ASSERT_EQ(symlink("../secret.mtl", (models + "/swap.link").c_str()), 0);
    const std::string input = models + "/race.obj";
    std::ofstream(input) << "mtllib swap.mtl\nusemtl warm\nv 0 0 0\nv 10 0 0\nv 0 10 0\nf 1 2 3\n";
    const auto exchange = [&] {
        return syscall(SYS_renameat2, AT_FDCWD, (models + "/swap.mtl").c_str(), AT_FDCWD,
                       (models + "/swap.link").c_str(), RENAME_EXCHANGE) == 0;
    };
    // What each import may write: the inside material's colour, or the default's beside a note;
    // and what the outside one's colour would be.
    ASSERT_EQ(import(input).status, 0);
    const std::string inside = readFile(outputFor(input));
    ASSERT_TRUE(exchange());
    ASSERT_EQ(import(input).status, 0);
    const std::string refused = readFile(outputFor(input));
    ASSERT_EQ(import(input, {"--allow-outside-files"}).status, 0);
    const std::string secret = readFile(outputFor(input));
    ASSERT_NE(secret, inside);
    ASSERT_NE(secret, refused);

    std::atomic<bool> racing{true};
    std::thread swapper([&] {
        while (racing) exchange();
    });
    int secretRead = 0, other = 0;
    for (int k = 0; k < 100; ++k) {
        const Measured run = import(input);
        const std::string written = run.status == 0 ? readFile(outputFor(input)) : std::string();
        if (written == secret)
            ++secretRead;
        else if (written != inside && written != refused)
            ++other;
        EXPECT_EQ(run.err.find("warm"), std::string::npos) << run.err;
    }
    racing = false;
    swapper.join();
    EXPECT_EQ(secretRead, 0);
    EXPECT_EQ(other, 0);
}

// A line typed at zemconvert's terminal stays there for whoever reads the terminal, not the child.
TEST(TakenOverReader, theTerminalIsNotTheChilds)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        GTEST_SKIP() << "no pseudo-terminal can be made here";
    const std::string terminal = ptsname(master);
    const std::string input = objTriangle("typed.obj");
    const int slave = open(terminal.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(slave, 0);
    termios settings{};
    tcgetattr(slave, &settings);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(slave, TCSANOW, &settings);
    ASSERT_EQ(write(master, "typed secret\n", 13), 13);
    // zemconvert in a session of its own, with the terminal as its controlling terminal.
    const Measured run = finish(start(importWords(input), ZEMCONVERT_PATH, attack("tty"), [&] {
        setsid();
        const int controlling = open(terminal.c_str(), O_RDWR);
        if (controlling >= 0) close(controlling);
    }));
    EXPECT_EQ(run.status, 0) << run.err;
    char line[64] = {};
    EXPECT_EQ(read(slave, line, sizeof line), 13) << "the typed line was read by the child";
    EXPECT_STREQ(line, "typed secret\n");
    close(slave);
    close(master);
}

// ---- the fuzzer's findings ----

// Each input the import's fuzz target found a fault with, named after the fault: replayed through
// the target's own steps (where the sanitizers see it again), and as a file given to zemconvert,
// which ends it as any hostile file must end.
TEST(HostileImport, fuzzFindingsReplayCleanly)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(IMPORT_FINDINGS_DIR)) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') names.push_back(entry->d_name);
        closedir(dir);
    }
    ASSERT_FALSE(names.empty()) << "no findings in " << IMPORT_FINDINGS_DIR;
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string bytes = readFile(std::string(IMPORT_FINDINGS_DIR) + "/" + name);
        ASSERT_FALSE(bytes.empty()) << name;
        importOnce(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        const std::string input = writeTempFile(name + "." + importInputExtension(uint8_t(bytes[0])), bytes.substr(1));
        const Measured run = import(input);
        EXPECT_TRUE(run.status == 0 || run.status == 1) << name << ": " << run.err;
        // Notes first, one line each; a failure is the last line, and names the file.
        std::istringstream lines(run.err);
        std::vector<std::string> failures;
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("zemconvert: note: ", 0) != 0) failures.push_back(line);
        EXPECT_EQ(failures.size(), run.status == 1 ? 1u : 0u) << name << ": " << run.err;
        if (!failures.empty()) {
            EXPECT_EQ(failures[0].rfind("zemconvert: " + input + ": ", 0), 0u) << failures[0];
        }
        expectTheToolsOwnWords(run);
        expectBounded(run);
    }
}

}  // namespace
