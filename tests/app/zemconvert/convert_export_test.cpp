// zemconvert's export tests: the real program run end to end, its files compared with hand-written
// ones, read back with assimp or checked by the Khronos validator, and its failures.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/paths.h"
#include "formats/export/materials.h"
#include "formats/export/mesh_view.h"
#include "render/palette.h"
#include "tests/support/test_support.h"
#include "tools/sample_models.h"

namespace {

using Point = std::array<double, 3>;

RunResult convert(const std::vector<std::string>& arguments)
{
    std::vector<std::string> words = {"zemconvert"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return runProgram(ZEMCONVERT_PATH, words);
}

std::string baseOf(const std::string& path)
{
    const std::string name = lastName(path);
    return name.substr(0, name.rfind('.'));
}

// The companion's name as the output refers to it: OBJ's mtllib on its first line, glTF's buffer uri.
std::string companionName(const std::string& outputText)
{
    if (outputText.compare(0, 7, "mtllib ") == 0) return outputText.substr(7, outputText.find('\n') - 7);
    const std::size_t key = outputText.find("\"uri\": \"");
    if (key == std::string::npos) return std::string();
    return outputText.substr(key + 8, outputText.find('"', key + 8) - key - 8);
}

Point positionOf(const ShapeVertex& v) { return {double(v.x), double(v.y), double(v.z)}; }
Point pointOf(const Vector3& v) { return {v.x, v.y, v.z}; }
Point pointOf(const aiVector3D& v) { return {v.x, v.y, v.z}; }

// --- reading back with assimp ------------------------------------------------------------------

// A face or segment as the reader found it.
struct ReadPolygon {
    std::vector<unsigned> vertices;  // the reader's numbers of its corners (PLY: the file's)
    std::vector<Point> positions;    // per corner
    std::vector<Point> normals;      // per corner, where the format gives them
    Point colour{-1, -1, -1};        // 0 to 1
    std::string material;            // where the format names materials
};

struct ReadModel {
    bool ok = false;
    std::vector<Point> positions;  // the first mesh's vertices: all of a PLY's, in the file's order
    std::vector<ReadPolygon> faces;
    std::vector<ReadPolygon> segments;
};

void readMesh(const aiScene& scene, const aiMesh& mesh, ReadModel& model)
{
    aiString name;
    aiColor4D diffuse(-1, -1, -1, 1);
    const aiMaterial& material = *scene.mMaterials[mesh.mMaterialIndex];
    material.Get(AI_MATKEY_NAME, name);
    material.Get(AI_MATKEY_COLOR_DIFFUSE, diffuse);
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        ReadPolygon polygon;
        polygon.material = name.C_Str();
        polygon.colour = {diffuse.r, diffuse.g, diffuse.b};
        for (unsigned k = 0; k < face.mNumIndices; ++k) {
            const unsigned v = face.mIndices[k];
            polygon.vertices.push_back(v);
            polygon.positions.push_back(pointOf(mesh.mVertices[v]));
            if (mesh.HasNormals()) polygon.normals.push_back(pointOf(mesh.mNormals[v]));
        }
        (face.mNumIndices == 2 ? model.segments : model.faces).push_back(polygon);
    }
}

void readNode(const aiScene& scene, const aiNode& node, ReadModel& model)
{
    for (unsigned i = 0; i < node.mNumMeshes; ++i) readMesh(scene, *scene.mMeshes[node.mMeshes[i]], model);
    for (unsigned i = 0; i < node.mNumChildren; ++i) readNode(scene, *node.mChildren[i], model);
}

// The file as assimp reads it, polygons as they are written: no triangulation and no joining of
// vertices, so that every corner keeps its place. The scene's nodes are walked in order, which
// for OBJ is the file's order (a mesh for each run of one material).
ReadModel readBack(const std::string& path)
{
    ReadModel model;
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, aiProcess_ValidateDataStructure);
    if (!scene || !scene->mRootNode) {
        ADD_FAILURE() << path << ": " << importer.GetErrorString();
        return model;
    }
    readNode(*scene, *scene->mRootNode, model);
    if (scene->mNumMeshes > 0)
        for (unsigned v = 0; v < scene->mMeshes[0]->mNumVertices; ++v)
            model.positions.push_back(pointOf(scene->mMeshes[0]->mVertices[v]));
    model.ok = true;
    return model;
}

// --- what assimp does not read of a PLY ----------------------------------------------------------

// The header's format and comment, the faces' colours and the edge element, read straight from the
// file past the vertices, in the layout the export declares: text lines, or a uchar count, int
// indices and three uchar colours per face and two ints and three uchars per edge.
struct PlyExtras {
    bool ascii = false;
    std::string comment;
    std::vector<Point> faceColours;
    std::vector<ReadPolygon> edges;  // vertices and colour
};

PlyExtras readPlyExtras(const std::string& bytes, std::size_t vertices, std::size_t faces, std::size_t edges)
{
    PlyExtras extras;
    const std::size_t end = bytes.find("end_header\n"), comment = bytes.find("\ncomment ");
    if (end == std::string::npos || comment > end) {
        ADD_FAILURE() << "no end_header, or no comment before it";
        return extras;
    }
    const std::size_t header = end + std::strlen("end_header\n");
    const auto startsWith = [&](const std::string& start) { return bytes.compare(0, start.size(), start) == 0; };
    extras.ascii = startsWith("ply\nformat ascii 1.0\n");
    EXPECT_TRUE(extras.ascii || startsWith("ply\nformat binary_little_endian 1.0\n"));
    const std::size_t from = comment + std::strlen("\ncomment ");
    extras.comment = bytes.substr(from, bytes.find('\n', from) - from);
    std::istringstream text(bytes.substr(header));
    std::size_t at = header + vertices * 24;  // six floats a vertex
    std::string line;
    for (std::size_t v = 0; extras.ascii && v < vertices; ++v) std::getline(text, line);
    // The next number of the given size in bytes, text or binary; -1 past the end.
    const auto number = [&](std::size_t size) -> long {
        long value = -1;
        if (extras.ascii) return text >> value ? value : -1;
        if (at + size > bytes.size()) {
            at = bytes.size() + 1;  // and never at the end
            return value;
        }
        const uint32_t bits = static_cast<uint32_t>(littleEndian(bytes, at, size));
        at += size;
        return size == 4 ? static_cast<int32_t>(bits) : static_cast<long>(bits);
    };
    const auto colour = [&] { return Point{number(1) / 255.0, number(1) / 255.0, number(1) / 255.0}; };
    for (std::size_t f = 0; f < faces; ++f) {
        for (long k = number(1); k > 0; --k) number(4);
        extras.faceColours.push_back(colour());
    }
    for (std::size_t e = 0; e < edges; ++e) {
        ReadPolygon edge;
        edge.vertices = {static_cast<unsigned>(number(4)), static_cast<unsigned>(number(4))};
        edge.colour = colour();
        extras.edges.push_back(edge);
    }
    std::string rest;
    const bool atTheEnd = extras.ascii ? !text.fail() && !(text >> rest) : at == bytes.size();
    EXPECT_TRUE(atTheEnd) << "the elements end early or are followed by more: " << rest;
    return extras;
}

// --- checks against the model as the project's loader reads it ---------------------------------

void expectNear(const Point& a, const Point& b, double tolerance, const std::string& what)
{
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], b[i], tolerance) << what << " component " << i;
}

// How a format numbers the corners it writes: the model's own vertex numbers (PLY, smooth), a
// vertex for each corner (PLY, --flat), or numbers of the reader's own that say nothing (OBJ).
enum class Numbering { Model, PerCorner, Reader };

struct Expected {
    bool flat = false;
    double colourTolerance = 0;
    Numbering numbering = Numbering::Reader;
    bool materials = false;  // each polygon's material named after its palette entry
};

// The viewer draws nothing for polygons of fewer than 2 indices, and no format gets them.
bool drawn(const ShapePolygon& polygon) { return polygon.count >= 2; }

// The vertices an export writes: the model's, or with --flat one for each corner of what is drawn.
std::size_t writtenVertexCount(const Shape& shape, bool flat)
{
    std::size_t corners = 0;
    for (int32_t p = 0; p < shape.polygonCount; ++p)
        if (drawn(shape.polygons[p])) corners += shape.polygons[p].count;
    return flat ? corners : static_cast<std::size_t>(shape.vertexCount);
}

// Every face and segment in the model's order, with its corners' positions, normals and colour.
void expectSameModel(const Shape& shape, const ReadModel& read, const Expected& expected)
{
    std::vector<const ShapePolygon*> faces, segments;
    for (int32_t p = 0; p < shape.polygonCount; ++p)
        if (drawn(shape.polygons[p])) (shape.polygons[p].count == 2 ? segments : faces).push_back(&shape.polygons[p]);
    ASSERT_EQ(read.faces.size(), faces.size());
    ASSERT_EQ(read.segments.size(), segments.size());
    std::map<unsigned, int> uses;
    for (int kind = 0; kind < 2; ++kind) {
        const auto& want = kind == 0 ? faces : segments;
        const auto& got = kind == 0 ? read.faces : read.segments;
        for (std::size_t i = 0; i < want.size(); ++i) {
            const ShapePolygon& polygon = *want[i];
            const ReadPolygon& polygon2 = got[i];
            const std::string where = (kind == 0 ? "face " : "segment ") + std::to_string(i);
            ASSERT_EQ(polygon2.positions.size(), polygon.count) << where;
            ASSERT_EQ(polygon2.normals.size(), kind == 0 ? polygon.count : 0u) << where << ": normals of its corners";
            const double* rgb = Palette::colour(polygon.colourIndex);
            expectNear(polygon2.colour, {rgb[0], rgb[1], rgb[2]}, expected.colourTolerance, where + " colour");
            if (expected.materials) {
                EXPECT_EQ(polygon2.material, materialName(polygon.colourIndex % 32)) << where;
            }
            for (int k = 0; k < polygon.count; ++k) {
                const unsigned vertex = polygon2.vertices[static_cast<std::size_t>(k)];
                if (expected.numbering == Numbering::Model) {
                    EXPECT_EQ(vertex, unsigned(polygon.indices[k])) << where;
                } else if (expected.numbering == Numbering::PerCorner) {
                    EXPECT_EQ(++uses[vertex], 1) << where << ": a corner shared in --flat";
                }
                expectNear(polygon2.positions[static_cast<std::size_t>(k)],
                           positionOf(shape.vertices[polygon.indices[k]]), 0, where + " position");
                if (kind == 1) continue;
                const Vector3 normal = expected.flat ? polygon.faceNormal : shape.vertexNormals[polygon.indices[k]];
                expectNear(polygon2.normals[static_cast<std::size_t>(k)], pointOf(normal), 1e-6, where + " normal");
            }
        }
    }
}

std::size_t linesStartingWith(const std::string& text, const std::string& start)
{
    std::size_t count = text.compare(0, start.size(), start) == 0;
    for (std::size_t at = text.find("\n" + start); at != std::string::npos; at = text.find("\n" + start, at + 1))
        ++count;
    return count;
}

// An OBJ export read back with its MTL. assimp gives each corner a vertex of its own, so the
// sharing of vertices is seen in the file's own vertex lines.
void expectObjFile(const Shape& shape, const std::string& path, bool flat)
{
    const std::string obj = readFile(path);
    // The MTL file named first: the output's name, a hash of the MTL file's bytes, the extension.
    const std::string mtllib = companionName(obj);
    EXPECT_EQ(mtllib.size(), baseOf(path).size() + 21) << mtllib;
    EXPECT_EQ(mtllib.compare(0, baseOf(path).size() + 1, baseOf(path) + "."), 0) << mtllib;
    EXPECT_EQ(mtllib.compare(mtllib.size() - 4, 4, ".mtl"), 0) << mtllib;
    EXPECT_EQ(linesStartingWith(obj, "v "), writtenVertexCount(shape, flat));
    const ReadModel read = readBack(path);
    ASSERT_TRUE(read.ok);
    expectSameModel(shape, read, {flat, 1e-6, Numbering::Reader, true});
}

std::size_t segmentCount(const Shape& shape)
{
    std::size_t segments = 0;
    for (int32_t p = 0; p < shape.polygonCount; ++p) segments += shape.polygons[p].count == 2;
    return segments;
}

// A PLY export read back, with what assimp leaves out read from the file: face colours and edges.
void expectPlyFile(const Shape& shape, const std::string& path, bool ascii, bool flat)
{
    ReadModel read = readBack(path);
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.positions.size(), writtenVertexCount(shape, flat));
    const PlyExtras extras =
        readPlyExtras(readFile(path), read.positions.size(), read.faces.size(), segmentCount(shape));
    EXPECT_EQ(extras.ascii, ascii);
    EXPECT_EQ(extras.comment, shape.name);
    ASSERT_EQ(extras.faceColours.size(), read.faces.size());
    for (std::size_t f = 0; f < read.faces.size(); ++f) read.faces[f].colour = extras.faceColours[f];
    read.segments = extras.edges;
    for (ReadPolygon& edge : read.segments)
        for (const unsigned vertex : edge.vertices)
            edge.positions.push_back(vertex < read.positions.size() ? read.positions[vertex] : Point{NAN, NAN, NAN});
    // Colours are bytes: within half a step of the palette.
    expectSameModel(shape, read, {flat, 0.5 / 255 + 1e-9, flat ? Numbering::PerCorner : Numbering::Model, false});
}

// A binary STL export, read straight from its fixed layout: every face's fan, each triangle with
// the face's normal; segments have no place in it.
void expectStlFile(const Shape& shape, const std::string& path)
{
    const std::string bytes = readFile(path);
    ASSERT_GE(bytes.size(), 84u);
    EXPECT_NE(bytes.compare(0, 5, "solid"), 0) << "a binary STL must not start as the text form";
    uint32_t count;
    std::memcpy(&count, bytes.data() + 80, 4);
    ASSERT_EQ(bytes.size(), 84 + std::size_t(count) * 50);
    std::size_t at = 84, triangles = 0;
    const auto next = [&] {
        float f;
        std::memcpy(&f, bytes.data() + at, 4);
        at += 4;
        return static_cast<double>(f);
    };
    for (int32_t p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& polygon = shape.polygons[p];
        for (int k = 1; k + 1 < polygon.count; ++k, ++triangles) {
            ASSERT_LT(triangles, count);
            const Point normal{next(), next(), next()};
            expectNear(normal, pointOf(polygon.faceNormal), 0, "normal of polygon " + std::to_string(p));
            for (const int corner : {0, k, k + 1}) {
                const Point position{next(), next(), next()};
                expectNear(position, positionOf(shape.vertices[polygon.indices[corner]]), 0,
                           "corner of polygon " + std::to_string(p));
            }
            at += 2;
        }
    }
    EXPECT_EQ(triangles, count);
}

Shape loaded(const std::string& path)
{
    Parsed parsed = loadFile(path);
    EXPECT_TRUE(parsed.ok) << path << ": " << parsed.messages;
    return std::move(parsed.shape);
}

// The sample models, and a random one with 4- and 5-index faces and colours past 15.
std::vector<std::string> testModels()
{
    std::vector<std::string> models;
    for (const char* name : {"tetra", "cube", "dodecahedron", "torus", "segments"})
        models.push_back(modelPath(std::string(name) + ".zem"));
    models.push_back(writeTempFile("random.zem", randomModel(60, 120, 7)));
    // Stored colours past the palette wrap: 36 is entry 4, 255 entry 31, 32 entry 0.
    models.push_back(writeTempFile("wrapped.zem", "SHAPE wrapped_shape = { 0, 5, 4 };\nVECTOR v[] = {\n"
                                                  "{ 0, 0, 0 },\n{ 100, 0, 0 },\n{ 100, 100, 0 },\n"
                                                  "{ 0, 100, 0 },\n{ 50, 50, 80 }\n};\nSPOLY p[] = {\n"
                                                  "{ 36, 4, { 0, 1, 2, 3 } },\n{ 255, 3, { 0, 1, 4 } },\n"
                                                  "{ 4, 5, { 0, 1, 4, 2, 3 } },\n{ 32, 2, { 2, 4 } }\n};\n"));
    return models;
}

// --- known outputs -----------------------------------------------------------------------------

TEST(ConvertExport, tetraAndCubeMatchTheHandWrittenFiles)
{
    for (const std::string name : {"tetra", "cube"}) {
        const std::string out = tempDir() + "/" + name;
        const RunResult obj = convert({modelPath(name + ".zem"), out + ".obj"});
        EXPECT_EQ(obj.exitStatus, 0) << obj.err;
        EXPECT_EQ(obj.err, "");
        const std::string expected = readFile(std::string(ZEM_TEST_DATA) + "/" + name + ".obj");
        EXPECT_EQ(readFile(out + ".obj"), expected) << name;
        // The hand-written OBJ names its MTL file with the hash of that file's bytes, worked out apart.
        EXPECT_EQ(readFile(tempDir() + "/" + companionName(expected)),
                  readFile(std::string(ZEM_TEST_DATA) + "/" + name + ".mtl"))
            << name;
        const RunResult ply = convert({"--ascii", modelPath(name + ".zem"), out + ".ply"});
        EXPECT_EQ(ply.exitStatus, 0) << ply.err;
        EXPECT_EQ(readFile(out + ".ply"), readFile(std::string(ZEM_TEST_DATA) + "/" + name + ".ply")) << name;
        // Standard output gets the same bytes as a file.
        const RunResult piped = convert({"--ascii", "-f", "PLY", modelPath(name + ".zem"), "-"});
        EXPECT_EQ(piped.out, readFile(out + ".ply"));
    }
}

// --- read back ---------------------------------------------------------------------------------

TEST(ConvertExport, objReadsBackWithItsMaterials)
{
    for (const std::string& model : testModels()) {
        const Shape shape = loaded(model);
        for (const bool flat : {false, true}) {
            SCOPED_TRACE(model + (flat ? " --flat" : ""));
            const std::string out = tempDir() + "/" + baseOf(model) + (flat ? "-flat" : "") + ".obj";
            std::vector<std::string> words = {model, out};
            if (flat) words.insert(words.begin(), "--flat");
            const RunResult r = convert(words);
            ASSERT_EQ(r.exitStatus, 0) << r.err;
            expectObjFile(shape, out, flat);
        }
    }
}

TEST(ConvertExport, plyReadsBackAsTextAndAsBinary)
{
    for (const std::string& model : testModels()) {
        const Shape shape = loaded(model);
        for (const bool ascii : {false, true}) {
            for (const bool flat : {false, true}) {
                SCOPED_TRACE(model + (ascii ? " --ascii" : "") + (flat ? " --flat" : ""));
                const std::string out = tempDir() + "/" + baseOf(model) + ".ply";
                std::vector<std::string> words = {model, out};
                if (ascii) words.insert(words.begin(), "--ascii");
                if (flat) words.insert(words.begin(), "--flat");
                const RunResult r = convert(words);
                ASSERT_EQ(r.exitStatus, 0) << r.err;
                expectPlyFile(shape, out, ascii, flat);
            }
        }
    }
}

TEST(ConvertExport, stlReadsBackAsFansWithFaceNormals)
{
    for (const std::string& model : testModels()) {
        SCOPED_TRACE(model);
        const Shape shape = loaded(model);
        const std::string out = tempDir() + "/" + baseOf(model) + ".stl";
        const RunResult r = convert({model, out});
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        expectStlFile(shape, out);
        const std::size_t segments = segmentCount(shape);
        const std::string note = "zemconvert: " + out + ": note: " + std::to_string(segments) +
                                 (segments == 1 ? " segment" : " segments") + " left out: STL has no lines\n";
        EXPECT_EQ(r.err, segments > 0 ? note : "");
    }
}

// --- the Khronos validator ---------------------------------------------------------------------

// Runs the Khronos validator once on every file: the counts it reports per file, in order.
std::vector<std::map<std::string, long>> validate(const std::vector<std::string>& paths, std::string& report)
{
    std::vector<std::string> words = {"env", "NODE_PATH=" NODE_MODULES_DIR, NODE_PATH_PROGRAM,
                                      ZEM_TEST_SOURCE "/validate_gltf.js"};
    words.insert(words.end(), paths.begin(), paths.end());
    const RunResult r = runProgram("/usr/bin/env", words);
    report = r.out + r.err;
    std::vector<std::map<std::string, long>> counts;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        counts.emplace_back();
        for (const char* key : {"errors", "warnings", "drawCalls", "materials", "triangles"}) {
            const std::size_t at = line.find(std::string("\"") + key + "\":");
            if (at != std::string::npos) counts.back()[key] = std::stol(line.substr(at + std::strlen(key) + 3));
        }
    }
    EXPECT_EQ(r.exitStatus, 0) << report;
    EXPECT_EQ(counts.size(), paths.size()) << report;
    counts.resize(paths.size());
    return counts;
}

// What a model's glTF must draw: one primitive per colour and kind, fans of count - 2 triangles.
void expectValidGltf(const Shape& shape, std::map<std::string, long> counts, const std::string& report)
{
    EXPECT_EQ(counts.count("errors") ? counts.at("errors") : -1, 0) << report;
    EXPECT_EQ(counts.count("warnings") ? counts.at("warnings") : -1, 0) << report;
    std::map<int, bool> colours;
    std::map<std::pair<int, bool>, bool> primitives;
    long triangles = 0;
    for (int32_t p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& polygon = shape.polygons[p];
        if (!drawn(polygon)) continue;
        colours[polygon.colourIndex % 32] = true;
        primitives[{polygon.colourIndex % 32, polygon.count == 2}] = true;
        if (polygon.count > 2) triangles += polygon.count - 2;
    }
    EXPECT_EQ(counts["materials"], static_cast<long>(colours.size())) << report;
    EXPECT_EQ(counts["drawCalls"], static_cast<long>(primitives.size())) << report;
    EXPECT_EQ(counts["triangles"], triangles) << report;
}

// The glTF as the tests' own reader finds it: for each colour in use, in ascending order, a triangle
// primitive of the colour's faces split as fans, then a line primitive of its segments, each
// corner with its position and, for faces, a unit normal that is the model's wherever that is unit.
void expectSameGltf(const Shape& shape, const std::string& text, bool flat)
{
    std::istringstream in(text);
    std::string line;
    for (const char* key : {"scene ", "node ", "mesh "}) {
        if (shape.polygonCount == 0 && std::string(key) == "mesh ") break;
        ASSERT_TRUE(std::getline(in, line));
        EXPECT_EQ(line, key + exportedName(shape.name));
    }
    for (int colour = 0; colour < 32; ++colour) {
        for (const bool segments : {false, true}) {
            std::vector<std::pair<const ShapePolygon*, int>> corners;  // polygon and corner, as drawn
            for (int32_t p = 0; p < shape.polygonCount; ++p) {
                const ShapePolygon& polygon = shape.polygons[p];
                if (polygon.colourIndex % 32 != colour || (polygon.count == 2) != segments) continue;
                if (segments) corners.insert(corners.end(), {{&polygon, 0}, {&polygon, 1}});
                for (int k = 1; !segments && k + 1 < polygon.count; ++k)
                    corners.insert(corners.end(), {{&polygon, 0}, {&polygon, k}, {&polygon, k + 1}});
            }
            if (corners.empty()) continue;
            const std::string where = "colour " + std::to_string(colour) + (segments ? " segments" : " faces");
            ASSERT_TRUE(std::getline(in, line)) << where;
            std::istringstream header(line);
            std::string word, name;
            int mode = -1, doubleSided = -1;
            Point rgb;
            double alpha = 0, metallic = -1;
            header >> word >> mode >> name >> rgb[0] >> rgb[1] >> rgb[2] >> alpha >> metallic >> doubleSided;
            EXPECT_EQ(word, "primitive") << where;
            EXPECT_EQ(mode, segments ? 1 : 4) << where;
            EXPECT_EQ(name, "colour" + std::to_string(colour)) << where;
            // The palette's sRGB as glTF's linear light: ((c + 0.055) / 1.055) ^ 2.4 above 0.04045.
            const double* palette = Palette::colours[colour];
            Point linear;
            for (int k = 0; k < 3; ++k)
                linear[k] = palette[k] <= 0.04045 ? palette[k] / 12.92 : std::pow((palette[k] + 0.055) / 1.055, 2.4);
            expectNear(rgb, linear, 1e-12, where + " colour");
            EXPECT_EQ(alpha, 1.0) << where;
            EXPECT_EQ(metallic, 0.0) << where;
            EXPECT_EQ(doubleSided, 1) << where;
            for (const auto& [polygon, k] : corners) {
                ASSERT_TRUE(std::getline(in, line)) << where;
                std::istringstream values(line);
                Point position, normal;
                values >> position[0] >> position[1] >> position[2];
                expectNear(position, positionOf(shape.vertices[polygon->indices[k]]), 0, where + " position");
                if (segments) {
                    EXPECT_TRUE(values.eof()) << where << ": a line with a normal";
                    continue;
                }
                values >> normal[0] >> normal[1] >> normal[2];
                ASSERT_FALSE(values.fail()) << where << ": no normal";
                const Vector3 model = flat ? polygon->faceNormal : shape.vertexNormals[polygon->indices[k]];
                if (std::fabs(model.length() - 1.0) < 1e-6)
                    expectNear(normal, pointOf(model), 0, where + " normal");
                else
                    EXPECT_NEAR(std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]), 1.0,
                                1e-6)
                        << where;
            }
        }
    }
    EXPECT_FALSE(std::getline(in, line)) << "more than the model: " << line;
}

struct GltfFile {
    const Shape* shape;
    std::string path;
    bool flat;
};

// Every file through the validator and through the tests' reader, each script run once for all.
void expectGltfFiles(const std::vector<GltfFile>& files, bool readBack)
{
    std::vector<std::string> paths;
    for (const GltfFile& file : files) paths.push_back(file.path);
    std::string report;
    const auto counts = validate(paths, report);
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].path);
        expectValidGltf(*files[i].shape, counts[i], report);
    }
    if (!readBack) return;
    std::vector<std::string> words = {"env", NODE_PATH_PROGRAM, ZEM_TEST_SOURCE "/read_gltf.js"};
    words.insert(words.end(), paths.begin(), paths.end());
    const RunResult r = runProgram("/usr/bin/env", words);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].path + (files[i].flat ? " --flat" : ""));
        const std::string header = "file " + files[i].path + "\n";
        const std::size_t start = r.out.find(header);
        ASSERT_NE(start, std::string::npos);
        const std::size_t end = r.out.find("\nfile ", start);
        const std::size_t from = start + header.size();
        expectSameGltf(*files[i].shape, r.out.substr(from, end == std::string::npos ? end : end + 1 - from),
                       files[i].flat);
    }
}

TEST(ConvertExport, gltfAndGlbPassTheValidatorAndReadBack)
{
    std::vector<std::string> models = testModels();
    std::vector<Shape> shapes;
    for (const std::string& model : models) shapes.push_back(loaded(model));
    std::vector<GltfFile> files;
    for (std::size_t m = 0; m < models.size(); ++m) {
        for (const std::string ext : {".gltf", ".glb"}) {
            for (const bool flat : {false, true}) {
                SCOPED_TRACE(models[m] + ext + (flat ? " --flat" : ""));
                const std::string out =
                    tempDir() + "/" + baseOf(models[m]) + (flat ? "-flat-" : "-") + ext.substr(1) + ext;
                std::vector<std::string> words = {models[m], out};
                if (flat) words.insert(words.begin(), "--flat");
                const RunResult r = convert(words);
                ASSERT_EQ(r.exitStatus, 0) << r.err;
                // A .gltf names its buffer beside it, and the buffer is there; a .glb holds its own.
                const std::string buffer = companionName(readFile(out));
                EXPECT_EQ(buffer.rfind(baseOf(out) + ".", 0) == 0 && exists(tempDir() + "/" + buffer), ext == ".gltf");
                files.push_back({&shapes[m], out, flat});
            }
        }
    }
    // On standard output the buffer is embedded, so the file stands alone.
    const RunResult r = convert({"--format", "gltf", models[3], "-"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.out.find("data:application/octet-stream;base64,"), std::string::npos);
    files.push_back({&shapes[3], writeTempFile("alone.gltf", r.out), false});
    expectGltfFiles(files, true);
}

TEST(ConvertExport, largestGeneratedModelPassesTheValidator)
{
    const std::string model = writeTempFile("largest.zem", randomModel(32767, 65534, 1));
    const Shape shape = loaded(model);
    std::vector<GltfFile> files;
    for (const std::string name : {"largest.gltf", "largest.glb"}) {
        const std::string out = tempDir() + "/" + name;
        const RunResult r = convert({model, out});
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        files.push_back({&shape, out, false});
    }
    expectGltfFiles(files, false);
}

// One colour and --flat: one primitive with a vertex per corner. 65,535 corners still fit 16-bit
// indices; 65,536 would need the index 65,535, the restart value, which glTF forbids.
TEST(ConvertExport, indicesWidenBeforeReachingTheRestartValue)
{
    std::vector<TextVertex> vertices;
    for (int i = 0; i < 4000; ++i) vertices.push_back({i % 200 * 10, i / 200 * 10, i % 7});
    std::vector<Shape> shapes;
    std::vector<GltfFile> files;
    shapes.reserve(2);
    for (const int corners : {65535, 65536}) {
        std::vector<TextPolygon> polygons;
        for (int left = corners, i = 0; left > 0; left -= 4, ++i) {
            const int first = i * 4 % 3996;
            if (left == 3)
                polygons.push_back({3, {first, first + 1, first + 2}});
            else
                polygons.push_back({3, {first, first + 1, first + 2, first + 3}});
        }
        const std::string name = "corners" + std::to_string(corners);
        const std::string model = writeTempFile(name + ".zem", formatModel(name, vertices, polygons));
        shapes.push_back(loaded(model));
        const std::string out = tempDir() + "/" + name + ".glb";
        const RunResult r = convert({"--flat", model, out});
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        files.push_back({&shapes.back(), out, true});
    }
    expectGltfFiles(files, true);
}

// --- what the viewer does not draw --------------------------------------------------------------

// The format takes polygons of 0 and 1 index and the viewer draws nothing for them: every format
// leaves them out, with a note, and gives no material to a colour that only they use.
TEST(ConvertExport, polygonsOfFewerThanTwoIndicesAreLeftOutWithANote)
{
    const std::string model = writeTempFile("hollow.zem", "SHAPE hollow_shape = { 0, 5, 6 };\nVECTOR v[] = {\n"
                                                          "{ 0, 0, 0 },\n{ 100, 0, 0 },\n{ 100, 100, 0 },\n"
                                                          "{ 0, 100, 0 },\n{ 50, 50, 80 }\n};\nSPOLY p[] = {\n"
                                                          "{ 3, 3, { 0, 1, 2 } },\n{ 20, 0, { } },\n"
                                                          "{ 21, 1, { 4 } },\n{ 6, 2, { 0, 4 } },\n"
                                                          "{ 3, 4, { 0, 1, 4, 3 } },\n{ 3, 1, { 2 } }\n};\n");
    const Shape shape = loaded(model);
    ASSERT_EQ(shape.polygonCount, 6);
    std::vector<GltfFile> gltf;
    for (const std::string format : {"obj", "gltf", "glb", "ply", "ascii.ply", "stl"}) {
        for (const bool flat : {false, true}) {
            SCOPED_TRACE(format + (flat ? " --flat" : ""));
            const std::string out = tempDir() + "/hollow" + (flat ? "-flat." : ".") + format;
            std::vector<std::string> words = {model, out};
            if (format == "ascii.ply") words.insert(words.begin(), "--ascii");
            if (flat) words.insert(words.begin(), "--flat");
            const RunResult r = convert(words);
            ASSERT_EQ(r.exitStatus, 0) << r.err;
            const std::string note = "zemconvert: " + out + ": note: ";
            EXPECT_EQ(r.err, note + "3 polygons of fewer than 2 indices left out: the viewer draws nothing for them\n" +
                                 (format == "stl" ? note + "1 segment left out: STL has no lines\n" : ""));
            if (format == "obj") {
                expectObjFile(shape, out, flat);
                EXPECT_EQ(readFile(out.substr(0, out.size() - 4) + ".mtl").find("colour2"), std::string::npos);
            } else if (format == "stl") {
                expectStlFile(shape, out);
            } else if (format == "gltf" || format == "glb") {
                gltf.push_back({&shape, out, flat});
            } else {
                expectPlyFile(shape, out, format == "ascii.ply", flat);
            }
        }
    }
    expectGltfFiles(gltf, true);
}

// --- names -------------------------------------------------------------------------------------

TEST(ConvertExport, namesAreWrittenAsWellFormedTextOnOneLine)
{
    EXPECT_EQ(exportedName("tetra"), "tetra");
    EXPECT_EQ(exportedName("caf\xc3\xa9 \xe2\x82\xac"), "caf\xc3\xa9 \xe2\x82\xac");  // kept as it is
    EXPECT_EQ(exportedName("a\nb\tc\x7f"), "a_b_c_");
    EXPECT_EQ(exportedName("\xff\xc3(\xe2\x82"), "__(__");     // a broken sequence, byte by byte
    EXPECT_EQ(exportedName("\xc0\xaf\xed\xa0\x80"), "_____");  // overlong and surrogate forms

    // Through the program: the name carries a newline and a stray byte, and every file stays sound.
    const std::string model = writeTempFile(
        "odd.zem", "SHAPE two\nlines\xff_shape = { 0, 3, 1 };\nVECTOR v[] = {\n{ 0, 0, 0 },\n{ 100, 0, 0 },\n"
                   "{ 0, 100, 0 }\n};\nSPOLY p[] = {\n{ 5, 3, { 0, 1, 2 } }\n};\n");
    const Shape shape = loaded(model);
    ASSERT_STREQ(shape.name, "two\nlines\xff");
    const RunResult obj = convert({model, tempDir() + "/odd.obj"});
    ASSERT_EQ(obj.exitStatus, 0) << obj.err;
    EXPECT_NE(readFile(tempDir() + "/odd.obj").find("\no two_lines_\n"), std::string::npos);
    const RunResult gltf = convert({model, tempDir() + "/odd.gltf"});
    ASSERT_EQ(gltf.exitStatus, 0) << gltf.err;
    expectGltfFiles({{&shape, tempDir() + "/odd.gltf", false}}, true);
}

// --- failures ----------------------------------------------------------------------------------

TEST(ConvertErrors, aModelThatDoesNotLoadWritesNothing)
{
    const std::string bad = writeTempFile("bad.zem", "SHAPE b_shape = { 0, 1, 0 };");
    const std::string missing = tempDir() + "/missing.zem";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {missing, "zemconvert: error: file could not be opened for reading\n"},
        {bad, "zemconvert: VECTOR description missing\n"},
    };
    for (const auto& [model, loaderLine] : cases) {
        const std::string out = tempDir() + "/never.obj";
        const RunResult r = convert({model, out});
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.err, loaderLine + "zemconvert: " + model + ": the model could not be loaded\n");
        EXPECT_FALSE(exists(out));
        EXPECT_EQ(runProgram("/bin/sh", {"sh", "-c", "ls -A \"$0\" | grep -c '^never\\.'", tempDir()}).out, "0\n")
            << "no companion and no temporary file";
    }
}

TEST(ConvertErrors, usageErrorsExitWithTwo)
{
    const std::string tetra = modelPath("tetra.zem");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{tetra, tempDir() + "/out.xyz"}, tempDir() + "/out.xyz: unknown extension"},
        {{tetra, tempDir() + "/noextension"}, "unknown extension"},
        {{"--format", "dxf", tetra, tempDir() + "/out.obj"}, "unknown format 'dxf'"},
        {{tetra, "-"}, "standard output needs --format"},
        {{tetra}, "an input and an output are needed"},
        {{tetra, "a.obj", "b.obj"}, "too many operands"},
        {{"--bogus", tetra, "a.obj"}, "unknown option '--bogus'"},
        {{"--format"}, "option '--format' needs a value"},
        {{"--ascii", tetra, tempDir() + "/a.obj"}, "--ascii applies to PLY only"},
        {{"--scale", "2", tetra, tempDir() + "/a.obj"}, "apply to importing only"},
        {{"--flat", tetra, tempDir() + "/a.zem"}, "--flat and --ascii apply to exporting only"},
        {{"--colour", "32", tetra, tempDir() + "/a.zem"}, "invalid colour '32'"},
        {{"--scale", "-1", tetra, tempDir() + "/a.zem"}, "invalid scale '-1'"},
    };
    for (const auto& [words, message] : cases) {
        const RunResult r = convert(words);
        EXPECT_EQ(r.exitStatus, 2) << message;
        EXPECT_EQ(r.err.compare(0, 12, "zemconvert: "), 0) << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(" (see zemconvert --help)\n"), r.err.size() - 25) << "one line, pointing at the help";
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(exists(tempDir() + "/out.xyz"));
}

TEST(ConvertErrors, helpAndVersionGoToStandardOutput)
{
    const RunResult help = convert({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.err, "");
    for (const char* word : {"Usage: zemconvert", "--flat", "--ascii", "--format", "--scale", "--no-center", "--colour",
                             "--no-simplify", ".obj", ".gltf", ".glb", ".ply", ".stl", ".zem"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    const RunResult version = convert({"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out, "zemconvert " ZEM_VERSION_TEXT "\n");
}

TEST(ConvertErrors, anOutputThatCannotBeWrittenIsOneLine)
{
    const std::string tetra = modelPath("tetra.zem");
    const std::string noFolder = tempDir() + "/no/such/folder/out.ply";
    const RunResult missing = convert({tetra, noFolder});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_EQ(missing.err, "zemconvert: " + noFolder + ": No such file or directory\n");

    const std::string folder = tempDir() + "/a-folder.stl";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    const RunResult directory = convert({tetra, folder});
    EXPECT_EQ(directory.exitStatus, 1);
    EXPECT_EQ(directory.err, "zemconvert: " + folder + ": Is a directory\n");
}

// The files of one run are committed together: a companion that cannot be written leaves the
// output as it was, and no temporary file behind.
TEST(ConvertErrors, aCompanionThatCannotBeWrittenKeepsTheOutputAsItWas)
{
    const std::string folder = tempDir() + "/together";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    for (const std::string output : {"m.obj", "m.gltf"}) {
        const std::string out = folder + "/" + output;
        // The companion's name, hash included, from a run elsewhere.
        const std::string probe = tempDir() + "/" + output;
        ASSERT_EQ(convert({modelPath("cube.zem"), probe}).exitStatus, 0);
        const std::string companion = companionName(readFile(probe));
        writeTempFile("together/" + output, "the earlier file\n");
        ASSERT_EQ(mkdir((folder + "/" + companion).c_str(), 0755), 0);
        const RunResult r = convert({modelPath("cube.zem"), out});
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.err, "zemconvert: " + folder + "/" + companion + ": Is a directory\n");
        EXPECT_EQ(readFile(out), "the earlier file\n");
        const RunResult listing = runProgram("/bin/ls", {"ls", "-A", folder});
        EXPECT_EQ(listing.out, companion + "\n" + output + "\n") << "nothing else is left in the folder";
        rmdir((folder + "/" + companion).c_str());
        unlink(out.c_str());
    }
}

// An output with its companion's extension keeps its own content: the companion's name differs.
TEST(ConvertErrors, anOutputNamedLikeItsCompanionKeepsItsOwnContent)
{
    for (const auto& [format, output] :
         std::vector<std::array<std::string, 2>>{{"obj", "model.mtl"}, {"gltf", "model.bin"}}) {
        const std::string out = tempDir() + "/" + output;
        const RunResult r = convert({"--format", format, modelPath("cube.zem"), out});
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        const std::string text = readFile(out);
        EXPECT_EQ(text.compare(0, format == "obj" ? 7 : 1, format == "obj" ? "mtllib " : "{"), 0) << text;
        EXPECT_TRUE(exists(tempDir() + "/" + companionName(text))) << companionName(text);
    }
}

TEST(ConvertErrors, anEmptyModelIsAnEmptySceneWithANote)
{
    const std::string model =
        writeTempFile("empty.zem", "SHAPE empty_shape = { 0, 0, 0 };\nVECTOR v[] = {\n};\nSPOLY p[] = {\n};\n");
    const Shape shape = loaded(model);
    std::vector<GltfFile> gltf;
    for (const std::string ext : {".obj", ".gltf", ".glb", ".ply", ".stl"}) {
        const std::string out = tempDir() + "/empty" + ext;
        const RunResult r = convert({model, out});
        EXPECT_EQ(r.exitStatus, 0) << ext;
        EXPECT_EQ(r.err, "zemconvert: " + model + ": note: the model is empty; an empty scene is written\n") << ext;
        ASSERT_TRUE(exists(out)) << ext;
        if (ext == ".gltf" || ext == ".glb") gltf.push_back({&shape, out, false});
    }
    expectGltfFiles(gltf, true);
    EXPECT_EQ(companionName(readFile(tempDir() + "/empty.gltf")), "") << "no buffer to write";
    // Nothing for assimp to read: the header declares no element and nothing follows it.
    const std::string ply = readFile(tempDir() + "/empty.ply");
    for (const char* element : {"vertex", "face", "edge"})
        EXPECT_NE(ply.find(std::string("\nelement ") + element + " 0\n"), std::string::npos) << element;
    const PlyExtras extras = readPlyExtras(ply, 0, 0, 0);
    EXPECT_FALSE(extras.ascii);
    EXPECT_EQ(extras.comment, "empty");
    EXPECT_EQ(readFile(tempDir() + "/empty.stl").size(), 84u);
}

}  // namespace
