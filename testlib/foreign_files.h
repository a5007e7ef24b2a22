// Model files of other tools' formats and their containers, written by our own code for the import's tests and
// benchmark.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

using Point = std::array<float, 3>;
using Rgb = std::array<float, 3>;

// Each returns the file's bytes; the contents are described where each is defined.
std::string objScene();  // with objMaterials() as "scene.mtl" beside it
std::string objMaterials();
std::string plyCubeWithVertexColours();
std::string stlTetrahedron();
std::string glbScene();
std::string colladaScene();

// A tube along a (2, 3) torus knot about 6.3 units across: along x around segments, so
// 2 * along * around triangles, each ring of vertices in one colour, the hue running along the knot.
struct TriangleMesh {
    std::vector<Point> positions;
    std::vector<Rgb> colours;  // one per position
    std::vector<std::array<uint32_t, 3>> triangles;
};
TriangleMesh torusKnot(int along, int around);
std::string binaryPly(const TriangleMesh& mesh);  // with the colours as uchar red, green, blue

// The colours the files give, between palette entries.
constexpr Rgb kObjWarm{0.9f, 0.55f, 0.25f};  // CIEDE2000: entry 6; plain RGB distance would pick 30
constexpr Rgb kObjCool{0.05f, 0.65f, 0.9f};  // CIEDE2000: entry 3; plain RGB distance would pick 27
constexpr Rgb kGlbRoof{0.9f, 0.9f, 0.4f};    // CIEDE2000: entry 30; plain RGB distance would pick 14
constexpr Rgb kGlbWire{0.05f, 0.3f, 1.0f};   // entry 9
constexpr Rgb kDaeWall{0.25f, 0.1f, 0.3f};   // CIEDE2000: entry 21; plain RGB distance would pick 24

// A zip archive of these entries, each deflated (stored where deflated is false), its directory
// at the end; declaredSize, where not zero, is written as the entry's size instead of the true one.
struct ZipEntry {
    std::string name;
    std::string bytes;
    bool deflated = true;
    uint32_t declaredSize = 0;
};
std::string zipArchive(const std::vector<ZipEntry>& entries);

// A binary FBX (version 7400) of one chain of depth nested nodes named "Node", the innermost with
// one integer property.
std::string binaryFbxChain(int depth);
