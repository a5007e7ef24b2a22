// Whole reads in the sandbox with the real reading library: each format read under the filter, refusals, failures in
// the tool's words.
#include "formats/import/confined_read.h"

#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <assimp/Importer.hpp>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "formats/import/read_failure.h"
#include "testlib/temp_dir.h"

namespace {

std::string writeFile(const std::string& name, const std::string& bytes)
{
    const std::string path = privateTempDir("zem-confined-read") + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string le(uint32_t value, int bytes)
{
    std::string out;
    for (int k = 0; k < bytes; ++k) out += static_cast<char>(value >> (8 * k));
    return out;
}

std::string floats(std::initializer_list<float> values)
{
    std::string out;
    for (float v : values) out.append(reinterpret_cast<const char*>(&v), 4);
    return out;
}

// A plain reader of every mesh (no node transforms), as the import's own reader is, but small.
bool readMeshes(const std::string& path, std::unique_ptr<Assimp::IOSystem> io, SourceModel& model,
                std::vector<std::string>&, std::string& libraryMessage)
{
    Assimp::Importer importer;
    importer.SetIOHandler(io.release());
    const aiScene* scene = importer.ReadFile(path, aiProcess_JoinIdenticalVertices | aiProcess_ValidateDataStructure);
    if (!scene || scene->mNumMeshes == 0) {
        libraryMessage = scene ? "no meshes" : importer.GetErrorString();
        return false;
    }
    for (unsigned int m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh& mesh = *scene->mMeshes[m];
        const uint32_t base = static_cast<uint32_t>(model.positions.size());
        for (unsigned int i = 0; i < mesh.mNumVertices; ++i)
            model.positions.push_back({mesh.mVertices[i].x, mesh.mVertices[i].y, mesh.mVertices[i].z});
        aiColor4D c(0.6f, 0.6f, 0.6f, 1);
        scene->mMaterials[mesh.mMaterialIndex]->Get(AI_MATKEY_COLOR_DIFFUSE, c);
        for (unsigned int f = 0; f < mesh.mNumFaces; ++f) {
            std::vector<uint32_t> corners;
            for (unsigned int k = 0; k < mesh.mFaces[f].mNumIndices; ++k)
                corners.push_back(base + mesh.mFaces[f].mIndices[k]);
            model.addPolygon(corners.data(), corners.size(), SourceColour{c.r, c.g, c.b});
        }
    }
    return true;
}

SandboxLimits readLimits()
{
    SandboxLimits limits;
    limits.memoryBytes = uint64_t(1) << 30;
    limits.cpuSeconds = 20;
    limits.wallSeconds = 30;
    return limits;
}

// The whole confined read, as the import does it: the outcome, then the answer decoded.
struct Confined {
    SandboxOutcome outcome;
    ReadAnswer answer;
    bool decoded = false;
};

Confined readInSandbox(const std::string& path, bool allowOutside = false)
{
    Confined read;
    read.outcome = runConfinedRead(path, allowOutside, readLimits(), readMeshes);
    std::string why;
    if (read.outcome.end == SandboxEnd::answered)
        read.decoded = decodeReadAnswer(read.outcome.answer.data(), read.outcome.answer.size(), read.answer, why);
    return read;
}

#define REQUIRE_CONFINEMENT()                                                                                          \
    do {                                                                                                               \
        const SandboxOutcome probe = runSandboxed([] { return std::string(); }, readLimits());                         \
        if (probe.end == SandboxEnd::notStarted) GTEST_SKIP() << "no confinement here: " << probe.detail;              \
    } while (0)

// A zip of stored entries, as the 3MF reader wants its parts.
std::string storedZip(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::string local, central;
    for (const auto& [name, data] : entries) {
        const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), data.size()));
        const std::string common = le(20, 2) + le(0, 2) + le(0, 2) + le(0, 4) + le(crc, 4) + le(data.size(), 4) +
                                   le(data.size(), 4) + le(name.size(), 2) + le(0, 2);
        central += le(0x02014b50, 4) + le(20, 2) + common + le(0, 2) + le(0, 2) + le(0, 2) + le(0, 4) +
                   le(local.size(), 4) + name;
        local += le(0x04034b50, 4) + common + name + data;
    }
    return local + central + le(0x06054b50, 4) + le(0, 4) + le(entries.size(), 2) + le(entries.size(), 2) +
           le(central.size(), 4) + le(local.size(), 4) + le(0, 2);
}

std::string threeMf()
{
    const std::string types =
        R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="model" ContentType="application/vnd.ms-package.3dmanufacturing-3dmodel+xml"/></Types>)";
    const std::string rels =
        R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Target="/3D/3dmodel.model" Id="rel0" Type="http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel"/></Relationships>)";
    const std::string model =
        R"(<?xml version="1.0" encoding="UTF-8"?><model unit="millimeter" xmlns="http://schemas.microsoft.com/3dmanufacturing/core/2015/02"><resources><object id="1" type="model"><mesh><vertices><vertex x="0" y="0" z="0"/><vertex x="1" y="0" z="0"/><vertex x="0" y="1" z="0"/></vertices><triangles><triangle v1="0" v2="1" v3="2"/></triangles></mesh></object></resources><build><item objectid="1"/></build></model>)";
    return storedZip({{"[Content_Types].xml", types}, {"_rels/.rels", rels}, {"3D/3dmodel.model", model}});
}

std::string glbTriangle()
{
    const std::string json =
        R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],"meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],"accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]}],"bufferViews":[{"buffer":0,"byteLength":36}],"buffers":[{"byteLength":36}]})";
    const std::string padded = json + std::string((4 - json.size() % 4) % 4, ' ');
    const std::string body = le(padded.size(), 4) + "JSON" + padded + le(36, 4) + std::string("BIN\0", 4) +
                             floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
    return "glTF" + le(2, 4) + le(12 + body.size(), 4) + body;
}

TEST(ConfinedRead, everyFormatIsReadUnderTheFilter)
{
    REQUIRE_CONFINEMENT();
    writeFile("warm.mtl", "newmtl warm\nKd 0.9 0.55 0.25\n");
    writeFile("triangle.bin", floats({0, 0, 0, 1, 0, 0, 0, 1, 0}));
    const std::string stlTriangle = floats({0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0}) + std::string(2, '\0');
    const std::pair<const char*, std::string> files[] = {
        {"ascii.ply",
         "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
         "element face 1\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"},
        {"binary.ply", "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                       "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n" +
                           floats({0, 0, 0, 1, 0, 0, 0, 1, 0}) + "\x03" + le(0, 4) + le(1, 4) + le(2, 4)},
        {"scene.obj", "mtllib warm.mtl\nusemtl warm\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"},
        {"scene.gltf",
         R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],"meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],"accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]}],"bufferViews":[{"buffer":0,"byteLength":36}],"buffers":[{"uri":"triangle.bin","byteLength":36}]})"},
        {"scene.glb", glbTriangle()},
        {"binary.stl", std::string(80, ' ') + le(1, 4) + stlTriangle},
        {"ascii.stl", "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendloop\n"
                      "endfacet\nendsolid t\n"},
        {"model.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"},
        {"scene.dae",
         R"(<?xml version="1.0"?><COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1"><library_geometries><geometry id="tri"><mesh><source id="pos"><float_array id="pa" count="9">0 0 0 1 0 0 0 1 0</float_array><technique_common><accessor source="#pa" count="3" stride="3"><param name="X" type="float"/><param name="Y" type="float"/><param name="Z" type="float"/></accessor></technique_common></source><vertices id="v"><input semantic="POSITION" source="#pos"/></vertices><triangles count="1"><input semantic="VERTEX" source="#v" offset="0"/><p>0 1 2</p></triangles></mesh></geometry></library_geometries><library_visual_scenes><visual_scene id="s"><node id="n"><instance_geometry url="#tri"/></node></visual_scene></library_visual_scenes><scene><instance_visual_scene url="#s"/></scene></COLLADA>)"},
        {"model.3mf", threeMf()},
    };
    for (const auto& [name, bytes] : files) {
        const Confined read = readInSandbox(writeFile(name, bytes));
        ASSERT_EQ(read.outcome.end, SandboxEnd::answered)
            << name << ": " << sandboxEndLine(readerName(name), read.outcome, readLimits());
        ASSERT_TRUE(read.decoded) << name;
        ASSERT_EQ(read.answer.kind, ReadAnswer::Kind::model)
            << name << ": " << readerFailureLine(readerName(name), read.answer.failure, "1 GB") << read.answer.refusal;
        EXPECT_EQ(read.answer.model.positions.size(), 3u) << name;
        EXPECT_EQ(read.answer.model.polygons.size(), 1u) << name;
        EXPECT_TRUE(read.answer.notes.empty()) << name;
    }
}

TEST(ConfinedRead, refusalsAndNotesComeFromTheChild)
{
    REQUIRE_CONFINEMENT();
    // Once a header the reader looked for the end of for ever.
    const Confined hang = readInSandbox(writeFile("hang.ply", "ply\nformat ascii end_header\n"));
    ASSERT_EQ(hang.outcome.end, SandboxEnd::answered);
    ASSERT_TRUE(hang.decoded);
    EXPECT_EQ(hang.answer.kind, ReadAnswer::Kind::refused);
    EXPECT_EQ(hang.answer.refusal, "its PLY header has no end_header line");

    // Once a stack overflow in the reader.
    std::string deep = "<?xml version=\"1.0\"?><COLLADA><library_visual_scenes><visual_scene id=\"s\">";
    for (int k = 0; k < 100000; ++k) deep += "<node>";
    const Confined nested = readInSandbox(writeFile("deep.dae", deep));
    ASSERT_TRUE(nested.decoded);
    EXPECT_EQ(nested.answer.refusal, "its XML nests deeper than 1000 levels");

    const std::string folder = privateTempDir("zem-confined-read") + "/inner";
    mkdir(folder.c_str(), 0700);
    writeFile("outside.mtl", "newmtl warm\nKd 0.9 0.55 0.25\n");
    writeFile("inner/scene.obj", "mtllib ../outside.mtl\nusemtl warm\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    const Confined outside = readInSandbox(folder + "/scene.obj");
    ASSERT_TRUE(outside.decoded);
    EXPECT_EQ(outside.answer.kind, ReadAnswer::Kind::model);
    EXPECT_EQ(outside.answer.notes,
              std::vector<std::string>{"ignored material file ../outside.mtl: outside the model's folder"});
    EXPECT_EQ(outside.answer.model.polygons.at(0).colour.r, 0.6f);
    const Confined allowed = readInSandbox(folder + "/scene.obj", true);
    ASSERT_TRUE(allowed.decoded);
    EXPECT_EQ(allowed.answer.model.polygons.at(0).colour.r, 0.9f);
}

// The library's messages quote the file and name its internals: the user gets a class in the tool's words.
TEST(ConfinedRead, failuresAreWordedWithoutTheFileOrTheLibrary)
{
    REQUIRE_CONFINEMENT();
    const std::string secret = writeFile("secret.off", "OFF\n3 1 0\nSECRET-LINE-42 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
    Assimp::Importer importer;
    ASSERT_EQ(importer.ReadFile(secret, 0), nullptr);
    EXPECT_NE(std::string(importer.GetErrorString()).find("SECRET-LINE-42"), std::string::npos);

    const Confined read = readInSandbox(secret);
    ASSERT_TRUE(read.decoded);
    ASSERT_EQ(read.answer.kind, ReadAnswer::Kind::failed);
    EXPECT_EQ(
        readerFailureLine(readerName(secret), read.answer.failure, "1 GB"),
        "the OFF reader could not read this file: it is damaged, or holds something that reader does not support");
    EXPECT_EQ(read.outcome.answer.find("SECRET"), std::string::npos);

    const struct {
        const char* name;
        std::string bytes;
        ReaderFailure failure;
    } cases[] = {{"unknown.xyz", "nothing a reader knows", ReaderFailure::noReader},
                 {"short.obj", "v 1 2\n", ReaderFailure::endsEarly},
                 {"empty.off", "OFF\n0 0 0\n", ReaderFailure::noModel},
                 {"scene.gltf", R"({"asset":{"version":"2.0"}})", ReaderFailure::noModel},
                 {"bad.ply",
                  "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\nproperty float z\n"
                  "element face 1\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n3 0 1 2\n",
                  ReaderFailure::damaged}};
    for (const auto& c : cases) {
        const Confined failed = readInSandbox(writeFile(c.name, c.bytes));
        ASSERT_TRUE(failed.decoded) << c.name;
        EXPECT_EQ(failed.answer.kind, ReadAnswer::Kind::failed) << c.name;
        EXPECT_EQ(failed.answer.failure, c.failure) << c.name;
    }
    EXPECT_EQ(classifyReaderMessage("std::bad_alloc"), ReaderFailure::outOfMemory);
    EXPECT_EQ(classifyReaderMessage("Unable to open file \"x.obj\"."), ReaderFailure::cannotOpen);
}

TEST(ConfinedRead, eachEndHasItsLine)
{
    SandboxLimits limits;
    SandboxOutcome outcome;
    const std::string reader = readerName("/models/knot.PLY");
    EXPECT_EQ(reader, "the PLY reader");
    outcome.end = SandboxEnd::crashed;
    EXPECT_EQ(sandboxEndLine(reader, outcome, limits),
              "the PLY reader failed on this file (it crashed: the file is damaged or hostile)");
    outcome.end = SandboxEnd::outOfMemory;
    EXPECT_EQ(sandboxEndLine(reader, outcome, limits), "the PLY reader needed more than 2 GB (see --max-memory)");
    outcome.end = SandboxEnd::timeLimit;
    limits.wallSeconds = 90;
    EXPECT_EQ(sandboxEndLine(reader, outcome, limits), "the PLY reader took more than 60 s (see --time-limit)");
    outcome.wallClock = true;
    EXPECT_EQ(sandboxEndLine(reader, outcome, limits), "the PLY reader took more than 90 s (see --time-limit)");
    outcome.end = SandboxEnd::forbidden;
    EXPECT_EQ(sandboxEndLine(reader, outcome, limits),
              "the PLY reader failed on this file (it tried what no reader may do: the file is hostile)");
    outcome.end = SandboxEnd::notStarted;
    outcome.detail = "could not install the system call filter: Invalid argument";
    EXPECT_EQ(sandboxEndLine(reader, outcome, limits),
              "could not read it safely: could not install the system call filter: Invalid argument");
    EXPECT_EQ(readerName("model"), "the reader");
    EXPECT_EQ(readerName("dir.v2/model"), "the reader");
}

// The fit runs in the child after the read: its model comes back fitted, its refusal in its own
// words, and a fit that runs away ends in words about fitting, not about the file's reader.
TEST(ConfinedRead, fitInTheChildAndItsEnds)
{
    REQUIRE_CONFINEMENT();
    const std::string triangle = writeFile("fit.off", "OFF\n3 1 0\n0 0 0\n10 0 0\n0 10 0\n3 0 1 2\n");
    SandboxLimits limits = readLimits();
    limits.cpuSeconds = 1;
    limits.wallSeconds = 20;
    const auto readWith = [&](const ConfinedFit& fit, ReadAnswer& answer, std::string& line) {
        return readConfined(triangle, false, limits, readMeshes, fit, answer, line);
    };
    // Only the loop below is meant to run out of time (the sanitizer's allocations are slow).
    const auto readWithTime = [&](const ConfinedFit& fit, ReadAnswer& answer, std::string& line) {
        SandboxLimits generous = limits;
        generous.cpuSeconds = 20;
        return readConfined(triangle, false, generous, readMeshes, fit, answer, line);
    };
    ReadAnswer answer;
    std::string line;
    const ConfinedFit fitted = [](const SourceModel& source, ImportedModel& model, std::vector<std::string>& notes,
                                  std::string&) {
        model.vertices = {{0, 0, 0}, {int(source.positions.size()), 0, 0}, {0, 1, 0}};
        model.polygons = {{7, {0, 1, 2}}};
        notes.push_back("fitted in the child");
        return true;
    };
    ASSERT_TRUE(readWith(fitted, answer, line)) << line;
    ASSERT_EQ(answer.kind, ReadAnswer::Kind::fitted);
    EXPECT_EQ(answer.fitted.vertices[1].x, 3);
    EXPECT_EQ(answer.notes, std::vector<std::string>{"fitted in the child"});

    const ConfinedFit refusing = [](const SourceModel&, ImportedModel&, std::vector<std::string>&, std::string& error) {
        error = "no faces or lines to convert";
        return false;
    };
    EXPECT_FALSE(readWith(refusing, answer, line));
    EXPECT_EQ(line, "no faces or lines to convert");

    const ConfinedFit spinning = [](const SourceModel&, ImportedModel&, std::vector<std::string>&, std::string&) {
        for (volatile unsigned long spin = 0;; spin = spin + 1) {
        }
        return true;
    };
    EXPECT_FALSE(readWith(spinning, answer, line));
    EXPECT_EQ(line, "fitting it to the format took more than 1 s (see --time-limit)");

    const ConfinedFit crashing = [](const SourceModel&, ImportedModel&, std::vector<std::string>&, std::string&) {
        std::abort();
        return true;
    };
    EXPECT_FALSE(readWith(crashing, answer, line));
    EXPECT_EQ(line, "fitting it to the format failed (it crashed)");

    const ConfinedFit growing = [](const SourceModel&, ImportedModel&, std::vector<std::string>&, std::string&) {
        // Untouched blocks: the budget ends it, not the time its pages would take.
        std::vector<std::unique_ptr<char[]>> blocks;
        for (;;) blocks.emplace_back(new char[1 << 20]);
        return true;
    };
    EXPECT_FALSE(readWithTime(growing, answer, line));
    EXPECT_EQ(line, "fitting it to the format needed more than 1 GB (see --max-memory)");

    // A fitted model the format cannot hold is no answer the parent takes.
    const ConfinedFit outside = [](const SourceModel&, ImportedModel& model, std::vector<std::string>& notes,
                                   std::string&) {
        model.vertices = {{0, 0, 0}, {40000, 0, 0}, {0, 1, 0}};
        model.polygons = {{7, {0, 1, 2}}};
        notes.push_back("never shown");
        return true;
    };
    EXPECT_FALSE(readWith(outside, answer, line));
    EXPECT_EQ(line, "the OFF reader failed on this file (its answer was malformed: the file is damaged or hostile)");
    EXPECT_TRUE(answer.notes.empty());
}

}  // namespace
