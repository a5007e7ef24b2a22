// zemconvert on textured files for real: the palette entries of the faces it writes, its notes, and the files it
// refuses to open.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "testlib/texture_files.h"
#include "tests/support/test_support.h"

namespace {

std::string folder(const std::string& name)
{
    const std::string path = tempDir() + "/" + name;
    mkdir(path.c_str(), 0700);
    return path + "/";
}

void write(const std::string& path, const std::string& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

struct Imported {
    RunResult run;
    Parsed loaded;
};

Imported import(const std::string& input, std::vector<std::string> options = {})
{
    static int serial = 0;
    const std::string output = tempDir() + "/textured" + std::to_string(++serial) + ".zem";
    std::vector<std::string> words{ZEMCONVERT_PATH};
    words.insert(words.end(), options.begin(), options.end());
    words.push_back(input);
    words.push_back(output);
    Imported result;
    result.run = runProgram(ZEMCONVERT_PATH, words);
    if (result.run.exitStatus == 0) result.loaded = loadFile(output);
    return result;
}

// Each polygon's palette entry, the polygons ordered by their centres along x (then y, z).
std::vector<int> entriesAlongX(const Shape& shape)
{
    std::vector<std::pair<std::array<double, 3>, int>> centres;
    for (int p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& polygon = shape.polygons[p];
        std::array<double, 3> c{0, 0, 0};
        for (int k = 0; k < polygon.count; ++k) {
            const ShapeVertex& v = shape.vertices[polygon.indices[k]];
            c[0] += double(v.x) / polygon.count;
            c[1] += double(v.y) / polygon.count;
            c[2] += double(v.z) / polygon.count;
        }
        centres.push_back({c, polygon.colourIndex});
    }
    std::sort(centres.begin(), centres.end());
    std::vector<int> entries;
    for (const auto& centre : centres) entries.push_back(centre.second);
    return entries;
}

std::vector<int> entries(const Shape& shape)
{
    std::vector<int> all;
    for (int p = 0; p < shape.polygonCount; ++p) all.push_back(shape.polygons[p].colourIndex);
    return all;
}

Picture halves(int left, int right)
{
    Picture picture(64, 64, paletteBytes(left));
    picture.paint(32, 0, 64, 64, paletteBytes(right));
    return picture;
}

// Notes on standard error, without the fitting's, which every import gives.
std::string textureNotes(const std::string& err)
{
    std::string lines;
    std::size_t start = 0;
    while (start < err.size()) {
        const std::size_t end = err.find('\n', start);
        const std::string line = err.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line.find("scaled by") == std::string::npos && line.find("simplified") == std::string::npos &&
            line.find("dropped that rounding") == std::string::npos)
            lines += line + "\n";
        start = end == std::string::npos ? err.size() : end + 1;
    }
    return lines;
}

}  // namespace

TEST(TextureImport, EveryFaceOfAGlbCubeTakesItsRegionsEntry)
{
    const std::array<int, 6> regions{12, 9, 10, 14, 13, 11};
    std::array<Rgb8, 6> colours;
    for (int k = 0; k < 6; ++k) colours[k] = paletteBytes(regions[k]);
    GltfTexture texture;
    texture.png = pngFile(cubeAtlas(colours));
    const std::string dir = folder("cube");
    write(dir + "cube.glb", glbTextured(texturedCube(), texture));
    const Imported cube = import(dir + "cube.glb");
    ASSERT_EQ(cube.run.exitStatus, 0) << cube.run.err;
    ASSERT_EQ(cube.loaded.shape.polygonCount, 12);
    EXPECT_EQ(textureNotes(cube.run.err), "");
    // Faces by the axis and side their centre lies on: +x, -x, +y, -y, +z, -z as the cube was
    // written (the loader takes back the y that the import negated).
    const Shape& shape = cube.loaded.shape;
    for (int p = 0; p < 12; ++p) {
        const ShapePolygon& polygon = shape.polygons[p];
        int sum[3] = {0, 0, 0};
        for (int k = 0; k < 3; ++k) {
            const ShapeVertex& v = shape.vertices[polygon.indices[k]];
            sum[0] += v.x, sum[1] += v.y, sum[2] += v.z;
        }
        int face = -1;
        for (int axis = 0; axis < 3; ++axis)
            if (std::abs(sum[axis]) > 3 * 140) face = 2 * axis + (sum[axis] < 0 ? 1 : 0);
        ASSERT_GE(face, 0) << p;
        EXPECT_EQ(polygon.colourIndex, regions[face]) << "polygon " << p << " on face " << face;
    }
    // Its material alone is white.
    const Imported material = import(dir + "cube.glb", {"--colours", "material"});
    ASSERT_EQ(material.run.exitStatus, 0) << material.run.err;
    EXPECT_EQ(entries(material.loaded.shape), std::vector<int>(12, 15));
}

TEST(TextureImport, HalvesOfAPictureAcrossAQuadsDiagonalInsideAndOutsideZeroToOne)
{
    const std::string dir = folder("halves");
    GltfTexture texture;
    texture.png = pngFile(halves(12, 9));
    write(dir + "quad.gltf", gltfTextured(diagonalQuad(), texture));  // everything in data URIs
    const Imported quad = import(dir + "quad.gltf");
    ASSERT_EQ(quad.run.exitStatus, 0) << quad.run.err;
    EXPECT_EQ(entriesAlongX(quad.loaded.shape), (std::vector<int>{12, 9}));

    // Moved 3 pictures across: repeated, mirrored (3 to 4 is 1 to 0) and clamped to the right edge.
    TexturedMesh moved = diagonalQuad();
    for (auto& uv : moved.uvs) uv[0] += 3;
    const struct {
        int wrap;
        std::vector<int> entries;
    } cases[] = {{10497, {12, 9}}, {33648, {9, 12}}, {33071, {9, 9}}};
    for (const auto& c : cases) {
        texture.wrapS = c.wrap;
        const std::string path = dir + "moved" + std::to_string(c.wrap) + ".glb";
        write(path, glbTextured(moved, texture));
        const Imported run = import(path);
        ASSERT_EQ(run.run.exitStatus, 0) << run.run.err;
        EXPECT_EQ(entriesAlongX(run.loaded.shape), c.entries) << c.wrap;
    }
}

TEST(TextureImport, JpegAndTgaBesideAnObjColourTheTrianglesOfAHexagon)
{
    // A hexagon, which the import splits into triangles that keep its colour, and a triangle.
    const ObjTextured obj = hexagonAndTriangle();
    const std::string dir = folder("obj");
    mkdir((dir + "maps").c_str(), 0700);
    write(dir + "maps/skin.jpg", jpegFile(Picture(32, 32, paletteBytes(10))));
    write(dir + "maps/skin.tga", tgaFile(Picture(32, 32, paletteBytes(13))));
    for (const char* format : {"jpg", "tga"}) {
        const std::string name = std::string("model-") + format;
        write(dir + name + ".obj", objTextured(obj, name + ".mtl"));
        write(dir + name + ".mtl", std::string("newmtl skin\nKd 1 1 1\nmap_Kd maps/skin.") + format + "\n");
        const Imported run = import(dir + name + ".obj");
        ASSERT_EQ(run.run.exitStatus, 0) << run.run.err;
        EXPECT_EQ(textureNotes(run.run.err),
                  "zemconvert: note: 1 face of more than 5 corners triangulated into 4 triangles\n");
        EXPECT_EQ(entries(run.loaded.shape), std::vector<int>(5, format[0] == 'j' ? 10 : 13)) << format;
    }
}

TEST(TextureImport, VertexColoursTimesTheTextureAndTheChoices)
{
    // Grey 188 (0.503 of the light) times red vertices of 0.264 is 0.133 of the light: palette entry
    // 20's 0.4 in sRGB. The vertex colours alone are 0.551, nearest entry 4's 0.6; the picture alone
    // is 0.737 grey, nearest entry 31's 0.8.
    TexturedMesh quad = diagonalQuad();
    quad.colours.assign(4, {0.26428f, 0, 0, 1});
    GltfTexture texture;
    texture.png = pngFile(Picture(16, 16, {188, 188, 188}));
    const std::string dir = folder("vertex");
    write(dir + "quad.glb", glbTextured(quad, texture));
    const struct {
        const char* choice;
        int entry;
    } cases[] = {{"auto", 20}, {"vertex", 4}, {"texture", 31}, {"material", 15}};
    for (const auto& c : cases) {
        const Imported run = import(dir + "quad.glb", {"--colours", c.choice});
        ASSERT_EQ(run.run.exitStatus, 0) << c.choice << ": " << run.run.err;
        EXPECT_EQ(entries(run.loaded.shape), std::vector<int>(2, c.entry)) << c.choice;
        EXPECT_EQ(textureNotes(run.run.err), "") << c.choice;
    }
    // Asked for what the model lacks: a note, and the material's colour.
    GltfTexture plain = texture;
    write(dir + "plain.glb", glbTextured(diagonalQuad(), plain));
    const Imported vertex = import(dir + "plain.glb", {"--colours", "vertex"});
    ASSERT_EQ(vertex.run.exitStatus, 0) << vertex.run.err;
    EXPECT_EQ(entries(vertex.loaded.shape), std::vector<int>(2, 15));
    EXPECT_EQ(
        textureNotes(vertex.run.err),
        "zemconvert: note: --colours vertex: 2 faces have no vertex colours: they take their material's colour\n");
}

TEST(TextureImport, MissingAndHostilePicturesAreNotedAndTheMaterialShows)
{
    ObjTextured obj;
    obj.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    obj.uvs = {{0, 0}, {1, 0}, {0, 1}};
    obj.faces = {{0, 1, 2}};
    const std::string dir = folder("missing");
    write(dir + "huge.png", pngHeaderOnly(65535, 65535));
    const struct {
        const char* map;
        const char* note;
    } cases[] = {
        {"nothere.png", "zemconvert: note: ignored texture nothere.png: not found\n"},
        {"huge.png", "zemconvert: note: ignored texture huge.png: its header declares 65535 x 65535 texels, more than "
                     "16384 on a side\n"},
    };
    for (const auto& c : cases) {
        write(dir + "model.obj", objTextured(obj, "model.mtl"));
        write(dir + "model.mtl", std::string("newmtl skin\nKd 0.6 0.5 0.2\nmap_Kd ") + c.map + "\n");
        // Within a small budget of memory and time: the header is all that is read of the picture.
        const Imported run = import(dir + "model.obj", {"--max-memory", "256M", "--time-limit", "10"});
        ASSERT_EQ(run.run.exitStatus, 0) << run.run.err;
        EXPECT_EQ(entries(run.loaded.shape), std::vector<int>{6}) << c.map;  // Kd: palette entry 6
        EXPECT_EQ(textureNotes(run.run.err), c.note);
    }
}

namespace {

// Watches one file for being opened, with inotify: what the kernel saw, not what the program says.
class OpenWatch {
public:
    explicit OpenWatch(const std::string& path) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (fd_ >= 0) watch_ = inotify_add_watch(fd_, path.c_str(), IN_OPEN | IN_ACCESS);
    }
    ~OpenWatch()
    {
        if (fd_ >= 0) close(fd_);
    }
    bool ready() const { return fd_ >= 0 && watch_ >= 0; }
    bool opened() const
    {
        char events[4096];
        return read(fd_, events, sizeof events) > 0;
    }

private:
    int fd_;
    int watch_ = -1;
};

}  // namespace

TEST(TextureImport, APictureOutsideTheModelsFolderIsNeverOpenedUnlessAllowed)
{
    ObjTextured obj;
    obj.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    obj.uvs = {{0, 0}, {1, 0}, {0, 1}};
    obj.faces = {{0, 1, 2}};
    const std::string dir = folder("outside");
    const std::string inner = folder("outside/model");
    write(dir + "secret.png", pngFile(Picture(4, 4, paletteBytes(10))));
    write(inner + "model.obj", objTextured(obj, "model.mtl"));
    write(inner + "model.mtl", "newmtl skin\nKd 0.6 0.5 0.2\nmap_Kd ../secret.png\n");

    const OpenWatch refused(dir + "secret.png");
    ASSERT_TRUE(refused.ready());
    const Imported run = import(inner + "model.obj");
    ASSERT_EQ(run.run.exitStatus, 0) << run.run.err;
    EXPECT_EQ(entries(run.loaded.shape), std::vector<int>{6});
    EXPECT_EQ(textureNotes(run.run.err),
              "zemconvert: note: ignored texture ../secret.png: outside the model's folder\n");
    EXPECT_FALSE(refused.opened());

    const OpenWatch allowed(dir + "secret.png");
    const Imported outside = import(inner + "model.obj", {"--allow-outside-files"});
    ASSERT_EQ(outside.run.exitStatus, 0) << outside.run.err;
    // The picture's entry 10 times the Kd of entry 6, in linear light: sRGB (0.165, 0.5, 0.031), whose
    // nearest entry by CIEDE2000 is 2 (worked out apart from the code, with the sRGB, CIELAB and
    // CIEDE2000 formulas).
    EXPECT_EQ(entries(outside.loaded.shape), std::vector<int>{2});
    EXPECT_TRUE(allowed.opened());  // the watch sees an open when there is one
}

TEST(TextureImport, TheChoiceIsOneOfFourWordsAndNotBesideOneColour)
{
    const std::string dir = folder("usage");
    write(dir + "quad.glb", glbTextured(diagonalQuad(), [] {
              GltfTexture texture;
              texture.png = pngFile(halves(12, 9));
              return texture;
          }()));
    const Imported bad = import(dir + "quad.glb", {"--colours", "textures"});
    EXPECT_EQ(bad.run.exitStatus, 2);
    EXPECT_NE(bad.run.err.find("--colours"), std::string::npos) << bad.run.err;
    const Imported both = import(dir + "quad.glb", {"--colours", "texture", "--colour", "3"});
    EXPECT_EQ(both.run.exitStatus, 2);
    const Imported one = import(dir + "quad.glb", {"--colour", "3"});
    ASSERT_EQ(one.run.exitStatus, 0) << one.run.err;
    EXPECT_EQ(entries(one.loaded.shape), (std::vector<int>{3, 3}));
}

namespace {

// A triangle of an OBJ whose material names map.
void writeObjNaming(const std::string& dir, const std::string& map)
{
    ObjTextured obj;
    obj.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    obj.uvs = {{0, 0}, {1, 0}, {0, 1}};
    obj.faces = {{0, 1, 2}};
    write(dir + "model.obj", objTextured(obj, "model.mtl"));
    write(dir + "model.mtl", "newmtl skin\nKd 1 1 1\nmap_Kd " + map + "\n");
}

}  // namespace

TEST(TextureImport, APictureNamedInAnotherLetterCaseOrByAnotherSystemsPathIsFoundInTheFolder)
{
    const std::string dir = folder("named");
    mkdir((dir + "maps").c_str(), 0700);
    mkdir((dir + "maps/Stone").c_str(), 0700);
    write(dir + "test.png", pngFile(Picture(4, 4, paletteBytes(10))));
    write(dir + "maps/Stone/wall.png", pngFile(Picture(4, 4, paletteBytes(11))));
    write(dir + "updown.png", pngFile(Picture(4, 4, paletteBytes(12))));
    write(dir + "earth.png", pngFile(Picture(4, 4, paletteBytes(13))));
    write(dir + "Pic.png", pngFile(Picture(4, 4, paletteBytes(14))));
    // Names alike but for their case: the one written, else the first in byte order ('T' before 't').
    write(dir + "two.png", pngFile(Picture(4, 4, paletteBytes(9))));
    write(dir + "Two.png", pngFile(Picture(4, 4, paletteBytes(26))));
    write(dir + "tWo.png", pngFile(Picture(4, 4, paletteBytes(27))));
    const struct {
        const char* map;
        int entry;
        const char* note;  // "" for none
    } cases[] = {
        {"TEST.PNG", 10, "texture TEST.PNG: using test.png"},
        {"MAPS/stone/WALL.png", 11, "texture MAPS/stone/WALL.png: using maps/Stone/wall.png"},
        {"C:\\code\\x\\updown.png", 12, "texture C:/code/x/updown.png: using updown.png"},
        {"Q:/a/b/earth.png", 13, "texture Q:/a/b/earth.png: using earth.png"},
        {"//server/share/pic.png", 14, "texture //server/share/pic.png: using Pic.png"},
        {"TWO.PNG", 26, "texture TWO.PNG: using Two.png"},
        {"two.png", 9, ""},
    };
    for (const auto& c : cases) {
        writeObjNaming(dir, c.map);
        const Imported run = import(dir + "model.obj");
        ASSERT_EQ(run.run.exitStatus, 0) << run.run.err;
        EXPECT_EQ(entries(run.loaded.shape), std::vector<int>{c.entry}) << c.map;
        EXPECT_EQ(textureNotes(run.run.err), *c.note ? "zemconvert: note: " + std::string(c.note) + "\n" : "");
    }
    // Files anywhere allowed: the name as written first, then looked for in the folder all the same.
    writeObjNaming(dir, "TEST.PNG");
    const Imported allowed = import(dir + "model.obj", {"--allow-outside-files"});
    ASSERT_EQ(allowed.run.exitStatus, 0) << allowed.run.err;
    EXPECT_EQ(entries(allowed.loaded.shape), std::vector<int>{10});
}

TEST(TextureImport, ANameThatLeavesTheFolderFindsNothingByAnyLetterCaseOrLastName)
{
    const std::string dir = folder("leaving");
    const std::string inner = folder("leaving/model");
    write(dir + "outside.png", pngFile(Picture(4, 4, paletteBytes(10))));
    write(dir + "secret.png", pngFile(Picture(4, 4, paletteBytes(10))));
    // A picture of the same last name inside, which a name that climbs out must not lead to either.
    write(inner + "outside.png", pngFile(Picture(4, 4, paletteBytes(12))));
    // A link in another letter case that leads out: found by its name, never opened through it.
    ASSERT_EQ(symlink("../secret.png", (inner + "secret.png").c_str()), 0);
    const struct {
        const char* map;
        const char* note;
    } cases[] = {
        {"../outside.png", "ignored texture ../outside.png: outside the model's folder"},
        {"..\\outside.png", "ignored texture ../outside.png: outside the model's folder"},
        {"SECRET.PNG", "ignored texture SECRET.PNG: not found"},
    };
    for (const auto& c : cases) {
        const OpenWatch outside(dir + "outside.png");
        const OpenWatch secret(dir + "secret.png");
        const OpenWatch inside(inner + "outside.png");
        ASSERT_TRUE(outside.ready() && secret.ready() && inside.ready());
        writeObjNaming(inner, c.map);
        const Imported run = import(inner + "model.obj");
        ASSERT_EQ(run.run.exitStatus, 0) << run.run.err;
        EXPECT_EQ(entries(run.loaded.shape), std::vector<int>{15}) << c.map;  // Kd 1 1 1: white
        EXPECT_EQ(textureNotes(run.run.err), "zemconvert: note: " + std::string(c.note) + "\n");
        EXPECT_FALSE(outside.opened()) << c.map;
        EXPECT_FALSE(secret.opened()) << c.map;
        EXPECT_FALSE(inside.opened()) << c.map;
    }
}

TEST(TextureImport, LegacyModelsFindTheirPicturesAndProjectedMappingsColourTheirFaces)
{
    const std::string models = "/usr/share/assimp/models/";
    struct stat info;
    ASSERT_EQ(stat((models + "3DS/cube_with_diffuse_texture.3DS").c_str(), &info), 0)
        << "the legacy models come from Debian's package assimp-testmodels (scripts/install-deps.sh test)";
    const auto greyWhiteOrBlack = [](int entry) {
        for (int grey : {0, 7, 8, 15, 16, 23, 24, 31})
            if (entry == grey) return true;
        return false;
    };
    const struct {
        const char* model;
        const char* picture;  // the name the model gives is not the file's
    } cases[] = {
        {"3DS/cube_with_diffuse_texture.3DS", "test.png"},
        {"LWO/LWO2/MappingModes/earth_uv_cylindrical_y.lwo", "earthCylindric.jpg"},
        {"LWO/LWO2/MappingModes/earth_cylindrical_y.lwo", "earthCylindric.jpg"},
        {"LWO/LWO2/MappingModes/earth_spherical_y.lwo", "earthSpherical.jpg"},
        {"LWO/LWO2/MappingModes/earth_planar_z.lwo", "earthSpherical.jpg"},
    };
    for (const auto& c : cases) {
        const Imported run = import(models + c.model);
        ASSERT_EQ(run.run.exitStatus, 0) << run.run.err;
        EXPECT_NE(run.run.err.find(std::string(": using ") + c.picture + "\n"), std::string::npos) << run.run.err;
        EXPECT_EQ(run.run.err.find("no texture coordinates"), std::string::npos) << run.run.err;
        // Under half of the faces grey, white or black, and at least two other colours.
        const std::vector<int> all = entries(run.loaded.shape);
        std::set<int> coloured;
        std::size_t grey = 0;
        for (int entry : all) {
            if (greyWhiteOrBlack(entry))
                ++grey;
            else
                coloured.insert(entry);
        }
        EXPECT_LT(grey * 2, all.size()) << c.model;
        EXPECT_GE(coloured.size(), 2u) << c.model;
    }
}
