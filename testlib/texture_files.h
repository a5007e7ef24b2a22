// Pictures in four image formats and textured model files (GLB, glTF, OBJ) for the import's tests and benchmark.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

using Rgb8 = std::array<unsigned char, 3>;

// A palette entry's colour in bytes, as a picture holds it.
Rgb8 paletteBytes(int entry);

// 8-bit sRGB texels, rows from the picture's top.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;

    Picture(int w, int h, Rgb8 colour);
    // Paints columns x0 to x1 - 1 of rows y0 to y1 - 1 (counted from the top).
    void paint(int x0, int y0, int x1, int y1, Rgb8 colour);
    Rgb8 at(int x, int y) const;
};

// Each file's bytes. JPEG at the quality given; TGA uncompressed; BMP of 24 bits.
std::string pngFile(const Picture& picture);
std::string jpegFile(const Picture& picture, int quality = 95);
std::string tgaFile(const Picture& picture);
std::string bmpFile(const Picture& picture);

// A PNG's signature and header alone, declaring width x height RGBA texels: what a hostile file
// needs to ask a trusting decoder for any amount of memory.
std::string pngHeaderOnly(uint32_t width, uint32_t height);

// Triangles with texture coordinates and, where colours is not empty, a linear RGBA colour a vertex.
struct TexturedMesh {
    std::vector<std::array<float, 3>> positions;
    std::vector<std::array<float, 2>> uvs;  // glTF's own: t down from the picture's top
    std::vector<std::array<float, 4>> colours;
    std::vector<uint32_t> indices;  // three a triangle
};

// How a glTF file carries its picture and maps it.
struct GltfTexture {
    std::string png;    // the picture's bytes, in the binary buffer (GLB) or a data URI (glTF)
    std::string uri;    // instead: a file named relative to the model
    int wrapS = 10497;  // REPEAT; 33648 MIRRORED_REPEAT, 33071 CLAMP_TO_EDGE
    int wrapT = 10497;
    std::array<float, 4> factor{1, 1, 1, 1};  // baseColorFactor, linear
    bool transform = false;                   // KHR_texture_transform with these:
    std::array<float, 2> offset{0, 0};
    float rotation = 0;
    std::array<float, 2> scale{1, 1};
};

std::string glbTextured(const TexturedMesh& mesh, const GltfTexture& texture);
std::string gltfTextured(const TexturedMesh& mesh, const GltfTexture& texture);  // everything in data URIs

// An OBJ of polygons with texture coordinates (v up, as OBJ has them), faces as lists of corner
// indices into both, and one material "skin" in mtlName beside it; the MTL's text is mtlText.
struct ObjTextured {
    std::vector<std::array<float, 3>> positions;
    std::vector<std::array<float, 2>> uvs;
    std::vector<std::vector<uint32_t>> faces;
};
std::string objTextured(const ObjTextured& obj, const std::string& mtlName);

// A hexagon (a face that the import splits into triangles) and a triangle, each mapped into its
// own part of the picture, in the plane z = 0.
ObjTextured hexagonAndTriangle();

// A cube of 6 quads, 2 triangles each, in the order +x, -x, +y, -y, +z, -z; face k's texture
// coordinates lie well inside region k of a picture divided into 3 x 2 regions (k % 3 across,
// k / 3 down), which cubeAtlas paints one colour each.
TexturedMesh texturedCube();
Picture cubeAtlas(const std::array<Rgb8, 6>& colours);

// A unit square of 2 triangles whose shared diagonal is mapped onto the middle of the picture,
// top to bottom: triangle 0 covers its right half, triangle 1 its left half.
TexturedMesh diagonalQuad();
