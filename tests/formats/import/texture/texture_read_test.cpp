// Face colours of textured files read by the real reading library through the confined file access: GLB, glTF and
// OBJ with pictures inside them and beside them, and the notes for what could not be used.
#include "formats/import/texture/texture_read.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#include <fstream>
#include <string>
#include <vector>

#include "formats/import/confined_io.h"
#include "formats/import/fit/fit.h"
#include "formats/import/import.h"
#include "testlib/temp_dir.h"
#include "testlib/texture_files.h"

namespace {

std::string folder(const std::string& name)
{
    const std::string path = privateTempDir("zem-texture-read") + "/" + name;
    mkdir(path.c_str(), 0700);
    return path + "/";
}

void write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

struct Read {
    bool ok = false;
    std::vector<int> entries;           // each face's palette entry, meshes in order
    std::vector<SourceColour> colours;  // each face's colour
    std::vector<std::string> notes;
};

Read readColours(const std::string& path, ColourSource source = ColourSource::automatic)
{
    Read read;
    Assimp::Importer importer;
    importer.SetIOHandler(new ConfinedIOSystem(path, false, read.notes));
    const aiScene* scene = importer.ReadFile(path, kSceneReadSteps);
    if (!scene) {
        ADD_FAILURE() << path << ": " << importer.GetErrorString();
        return read;
    }
    SceneColourOptions options;
    options.source = source;
    std::vector<std::vector<SourceColour>> colours;
    sceneFaceColours(*scene, path, *importer.GetIOHandler(), options, colours, read.notes);
    for (const auto& mesh : colours)
        for (const SourceColour& c : mesh) {
            read.colours.push_back(c);
            read.entries.push_back(nearestPaletteEntry(c));
        }
    read.ok = true;
    return read;
}

std::string notesOf(const Read& read)
{
    std::string all;
    for (const std::string& note : read.notes) all += note + "\n";
    return all;
}

// Left half one palette entry, right half another.
Picture halves(int left, int right)
{
    Picture picture(64, 64, paletteBytes(left));
    picture.paint(32, 0, 64, 64, paletteBytes(right));
    return picture;
}

void expectColour(const SourceColour& c, double r, double g, double b)
{
    EXPECT_NEAR(c.r, r, 0.004);
    EXPECT_NEAR(c.g, g, 0.004);
    EXPECT_NEAR(c.b, b, 0.004);
}

}  // namespace

TEST(TextureRead, EachFaceOfACubeTakesItsRegionOfThePictureInsideItsGlbGltfOrFbx)
{
    const std::array<int, 6> regions{12, 9, 10, 14, 13, 11};
    std::array<Rgb8, 6> colours;
    for (int k = 0; k < 6; ++k) colours[k] = paletteBytes(regions[k]);
    GltfTexture texture;
    texture.png = pngFile(cubeAtlas(colours));
    std::vector<int> expected;
    for (int k = 0; k < 6; ++k) expected.insert(expected.end(), {regions[k], regions[k]});

    const std::string dir = folder("cube");
    write(dir + "cube.glb", glbTextured(texturedCube(), texture));
    write(dir + "cube.gltf", gltfTextured(texturedCube(), texture));  // the picture in a data URI
    // The same as FBX (text), with the picture inside, as the reading library's own writer makes it.
    {
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(dir + "cube.glb", 0);
        ASSERT_NE(scene, nullptr);
        Assimp::Exporter exporter;
        ASSERT_EQ(exporter.Export(scene, "fbxa", dir + "cube.fbx"), aiReturn_SUCCESS) << exporter.GetErrorString();
    }
    for (const char* name : {"cube.glb", "cube.gltf", "cube.fbx"}) {
        const Read read = readColours(dir + name);
        EXPECT_EQ(read.entries, expected) << name;
        EXPECT_EQ(notesOf(read), "") << name;
        // The material alone is white, and every face with it; without vertex colours, a note says so.
        EXPECT_EQ(readColours(dir + name, ColourSource::material).entries, std::vector<int>(12, 15)) << name;
        const Read vertex = readColours(dir + name, ColourSource::vertex);
        EXPECT_EQ(vertex.entries, std::vector<int>(12, 15)) << name;
        EXPECT_EQ(notesOf(vertex),
                  "--colours vertex: 12 faces have no vertex colours: they take their material's colour\n");
    }
}

TEST(TextureRead, HalvesSplitAlongAQuadsDiagonalAndTheGltfTextureTransform)
{
    const std::string dir = folder("halves");
    GltfTexture texture;
    texture.png = pngFile(halves(12, 9));
    write(dir + "quad.glb", glbTextured(diagonalQuad(), texture));
    EXPECT_EQ(readColours(dir + "quad.glb").entries, (std::vector<int>{9, 12}));
    // Half a picture across: the halves change places.
    texture.transform = true;
    texture.offset = {0.5f, 0};
    write(dir + "moved.glb", glbTextured(diagonalQuad(), texture));
    EXPECT_EQ(readColours(dir + "moved.glb").entries, (std::vector<int>{12, 9}));
    // A half turn about glTF's origin (the picture's top left) takes u to -u: repeated, the halves change places.
    texture.offset = {0, 0};
    texture.rotation = static_cast<float>(M_PI);
    write(dir + "turned.glb", glbTextured(diagonalQuad(), texture));
    EXPECT_EQ(readColours(dir + "turned.glb").entries, (std::vector<int>{12, 9}));
}

TEST(TextureRead, CoordinatesOutsideZeroToOneFollowTheSampler)
{
    // The quad moved 3 pictures across: u runs 3 to 3.5 on triangle 1, 3.5 to 4 on triangle 0.
    TexturedMesh quad = diagonalQuad();
    for (auto& uv : quad.uvs) uv[0] += 3;
    const std::string dir = folder("outside");
    GltfTexture texture;
    texture.png = pngFile(halves(12, 9));
    const struct {
        int wrap;
        std::vector<int> entries;
    } cases[] = {{10497, {9, 12}},  // repeated: as at 0 to 1
                 {33648, {12, 9}},  // mirrored: 3 to 4 is 1 to 0
                 {33071, {9, 9}}};  // clamped: the right edge
    for (const auto& c : cases) {
        texture.wrapS = c.wrap;
        const std::string path = dir + "quad" + std::to_string(c.wrap) + ".glb";
        write(path, glbTextured(quad, texture));
        EXPECT_EQ(readColours(path).entries, c.entries) << c.wrap;
    }
}

TEST(TextureRead, JpegAndTgaBesideAnObjTimesItsKd)
{
    // A hexagon and a triangle, textured by a picture in a folder below the model's.
    const ObjTextured obj = hexagonAndTriangle();
    const std::string dir = folder("obj");
    mkdir((dir + "maps").c_str(), 0700);
    write(dir + "maps/skin.jpg", jpegFile(Picture(32, 32, paletteBytes(10))));
    write(dir + "maps/skin.tga", tgaFile(Picture(32, 32, paletteBytes(13))));
    write(dir + "jpeg.obj", objTextured(obj, "jpeg.mtl"));
    write(dir + "jpeg.mtl", "newmtl skin\nKd 1 1 1\nmap_Kd maps/skin.jpg\n");
    write(dir + "tga.obj", objTextured(obj, "tga.mtl"));
    write(dir + "tga.mtl", "newmtl skin\nKd 1 1 1\nmap_Kd maps\\skin.tga\n");  // named as another system writes it
    EXPECT_EQ(readColours(dir + "jpeg.obj").entries, (std::vector<int>{10, 10}));
    EXPECT_EQ(readColours(dir + "tga.obj").entries, (std::vector<int>{13, 13}));

    // Kd multiplies the picture: white under a Kd of palette entry 4's red is that red.
    write(dir + "white.png", pngFile(Picture(8, 8, {255, 255, 255})));
    write(dir + "red.obj", objTextured(obj, "red.mtl"));
    write(dir + "red.mtl", "newmtl skin\nKd 0.6 0 0\nmap_Kd white.png\n");
    EXPECT_EQ(readColours(dir + "red.obj").entries, (std::vector<int>{4, 4}));
    // A material that states no Kd leaves the picture as it is.
    write(dir + "plain.obj", objTextured(obj, "plain.mtl"));
    write(dir + "plain.mtl", "newmtl skin\nmap_Kd maps/skin.tga\n");
    EXPECT_EQ(readColours(dir + "plain.obj").entries, (std::vector<int>{13, 13}));
}

TEST(TextureRead, VertexColoursMultiplyTheTextureAndEachChoiceTakesItsShare)
{
    // Grey 188 is 0.502886 of the light; red vertices of 0.633 linear times it are 0.318 linear,
    // which sRGB encodes as 0.600: palette entry 4 exactly.
    TexturedMesh quad = diagonalQuad();
    quad.colours.assign(4, {0.633333f, 0, 0, 1});
    GltfTexture texture;
    texture.png = pngFile(Picture(16, 16, {188, 188, 188}));
    const std::string dir = folder("vertex");
    write(dir + "quad.glb", glbTextured(quad, texture));

    const Read both = readColours(dir + "quad.glb");
    ASSERT_EQ(both.colours.size(), 2u);
    expectColour(both.colours[0], 0.6, 0, 0);
    EXPECT_EQ(both.entries, (std::vector<int>{4, 4}));
    // 0.633 linear alone is 0.816 in sRGB; the picture alone is its 188 / 255 = 0.737.
    expectColour(readColours(dir + "quad.glb", ColourSource::vertex).colours[1], 0.816, 0, 0);
    expectColour(readColours(dir + "quad.glb", ColourSource::texture).colours[1], 0.737, 0.737, 0.737);
}

TEST(TextureRead, MissingClimbingAndHostilePicturesAreNotedAndTheMaterialShows)
{
    ObjTextured obj;
    obj.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    obj.uvs = {{0, 0}, {1, 0}, {0, 1}};
    obj.faces = {{0, 1, 2}};
    const std::string dir = folder("refused");
    const std::string inner = folder("refused/model");
    write(dir + "secret.png", pngFile(Picture(4, 4, paletteBytes(10))));
    write(inner + "huge.png", pngHeaderOnly(65535, 65535));
    write(inner + "text.png", "not a picture at all");
    const struct {
        const char* map;
        const char* note;
    } cases[] = {
        {"nothere.png", "ignored texture nothere.png: not found"},
        {"../secret.png", "outside the model's folder"},
        {"huge.png", "ignored texture huge.png: its header declares 65535 x 65535 texels, more than 16384 on a side"},
        {"text.png", "ignored texture text.png: not a PNG, JPEG, TGA or BMP image"},
    };
    for (const auto& c : cases) {
        write(inner + "model.obj", objTextured(obj, "model.mtl"));
        write(inner + "model.mtl", std::string("newmtl skin\nKd 0.6 0.5 0.2\nmap_Kd ") + c.map + "\n");
        const Read read = readColours(inner + "model.obj");
        EXPECT_EQ(read.entries, std::vector<int>{6}) << c.map;  // Kd: palette entry 6
        ASSERT_EQ(read.notes.size(), 1u) << c.map << ": " << notesOf(read);
        EXPECT_NE(read.notes[0].find(c.note), std::string::npos) << read.notes[0];
        EXPECT_NE(read.notes[0].find(c.map), std::string::npos) << read.notes[0];
    }
}

TEST(TextureRead, ATurnedScaledAndMovedPictureAsGltfDefinesIt)
{
    // Quadrants of entries 12 (top left), 10 (top right), 9 (bottom left) and 14. A small triangle
    // about glTF's (0.15, 0.3), scaled by (2, 0.5) to (0.3, 0.15), turned a quarter (cos, sin; -sin,
    // cos by columns) to (-0.15, 0.3), moved by (0.1, 0.1) to (-0.05, 0.4), repeated to (0.95, 0.4):
    // top right. Turned the other way it would land bottom left; not turned, top left.
    Picture picture(64, 64, paletteBytes(12));
    picture.paint(32, 0, 64, 32, paletteBytes(10));
    picture.paint(0, 32, 32, 64, paletteBytes(9));
    picture.paint(32, 32, 64, 64, paletteBytes(14));
    TexturedMesh triangle;
    triangle.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    triangle.uvs = {{0.14f, 0.29f}, {0.16f, 0.29f}, {0.15f, 0.31f}};
    triangle.indices = {0, 1, 2};
    GltfTexture texture;
    texture.png = pngFile(picture);
    texture.transform = true;
    texture.offset = {0.1f, 0.1f};
    texture.scale = {2, 0.5f};
    const std::string dir = folder("turned");
    for (const auto& [rotation, entry] : {std::pair<float, int>{float(M_PI / 2), 10}, {float(-M_PI / 2), 9}, {0, 12}}) {
        texture.rotation = rotation;
        write(dir + "triangle.glb", glbTextured(triangle, texture));
        EXPECT_EQ(readColours(dir + "triangle.glb").entries, std::vector<int>{entry}) << rotation;
    }
}
