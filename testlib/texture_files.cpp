// Textured test files: pictures through libpng and stb_image_write, glTF and OBJ models around them.
#include "testlib/texture_files.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "image/png.h"
#include "render/palette.h"
#include "testlib/little_endian.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

void putBigEndian(std::string& bytes, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>(value >> shift));
}

void appendTo(void* context, void* data, int size)
{
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

std::string base64(const std::string& bytes)
{
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::size_t n = bytes.size();
    const auto byte = [&](std::size_t i) { return i < n ? uint32_t(uint8_t(bytes[i])) : 0u; };
    std::string out;
    for (std::size_t i = 0; i < n; i += 3) {
        const uint32_t group = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
        out += digits[(group >> 18) & 63];
        out += digits[(group >> 12) & 63];
        out += i + 1 < n ? digits[(group >> 6) & 63] : '=';
        out += i + 2 < n ? digits[group & 63] : '=';
    }
    return out;
}

// The binary buffer of a glTF mesh (positions, coordinates, colours, indices, picture) and the
// JSON that describes it, with the buffer's URI left to the caller.
struct GltfParts {
    std::string bin;
    std::string json;
};

struct View {
    std::size_t offset, length;
};

std::size_t addView(std::string& bin, std::vector<View>& views, const void* data, std::size_t size)
{
    while (bin.size() % 4) bin.push_back('\0');
    views.push_back({bin.size(), size});
    bin.append(static_cast<const char*>(data), size);
    return views.size() - 1;
}

std::string imageJson(const GltfTexture& texture, bool inBuffer, std::size_t pictureView)
{
    if (!texture.uri.empty()) return R"({"uri":")" + texture.uri + R"("})";
    if (inBuffer) return R"({"bufferView":)" + std::to_string(pictureView) + R"(,"mimeType":"image/png"})";
    return R"({"uri":"data:image/png;base64,)" + base64(texture.png) + R"("})";
}

std::string textureInfoJson(const GltfTexture& texture)
{
    std::ostringstream json;
    json << R"({"index":0)";
    if (texture.transform)
        json << R"(,"extensions":{"KHR_texture_transform":{"offset":[)" << texture.offset[0] << ',' << texture.offset[1]
             << R"(],"rotation":)" << texture.rotation << R"(,"scale":[)" << texture.scale[0] << ',' << texture.scale[1]
             << "]}}";
    json << '}';
    return json.str();
}

GltfParts gltfParts(const TexturedMesh& mesh, const GltfTexture& texture, bool pictureInBuffer)
{
    GltfParts parts;
    std::vector<View> views;
    const std::size_t n = mesh.positions.size();
    addView(parts.bin, views, mesh.positions.data(), n * 12);
    addView(parts.bin, views, mesh.uvs.data(), n * 8);
    if (!mesh.colours.empty()) addView(parts.bin, views, mesh.colours.data(), n * 16);
    const std::size_t indexView = addView(parts.bin, views, mesh.indices.data(), mesh.indices.size() * 4);
    std::size_t pictureView = 0;
    if (pictureInBuffer && texture.uri.empty())
        pictureView = addView(parts.bin, views, texture.png.data(), texture.png.size());
    while (parts.bin.size() % 4) parts.bin.push_back('\0');

    std::array<float, 3> low{1e30f, 1e30f, 1e30f}, high{-1e30f, -1e30f, -1e30f};
    for (const auto& p : mesh.positions)
        for (int k = 0; k < 3; ++k) low[k] = std::min(low[k], p[k]), high[k] = std::max(high[k], p[k]);
    std::ostringstream json;
    json << R"({"asset":{"version":"2.0"},)";
    if (texture.transform) json << R"("extensionsUsed":["KHR_texture_transform"],)";
    json << R"("scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],)"
         << R"("meshes":[{"primitives":[{"attributes":{"POSITION":0,"TEXCOORD_0":1)"
         << (mesh.colours.empty() ? "" : R"(,"COLOR_0":2)") << R"(},"indices":)" << (mesh.colours.empty() ? 2 : 3)
         << R"(,"material":0}]}],)"
         << R"("materials":[{"pbrMetallicRoughness":{"baseColorFactor":[)" << texture.factor[0] << ','
         << texture.factor[1] << ',' << texture.factor[2] << ',' << texture.factor[3]
         << R"(],"metallicFactor":0,"baseColorTexture":)" << textureInfoJson(texture) << "}}],"
         << R"("textures":[{"source":0,"sampler":0}],"samplers":[{"wrapS":)" << texture.wrapS << R"(,"wrapT":)"
         << texture.wrapT << "}],"
         << R"("images":[)" << imageJson(texture, pictureInBuffer, pictureView) << "],"
         << R"("accessors":[{"bufferView":0,"componentType":5126,"count":)" << n << R"(,"type":"VEC3","min":[)"
         << low[0] << ',' << low[1] << ',' << low[2] << R"(],"max":[)" << high[0] << ',' << high[1] << ',' << high[2]
         << "]},"
         << R"({"bufferView":1,"componentType":5126,"count":)" << n << R"(,"type":"VEC2"},)";
    if (!mesh.colours.empty()) json << R"({"bufferView":2,"componentType":5126,"count":)" << n << R"(,"type":"VEC4"},)";
    json << R"({"bufferView":)" << indexView << R"(,"componentType":5125,"count":)" << mesh.indices.size()
         << R"(,"type":"SCALAR"}],"bufferViews":[)";
    for (std::size_t i = 0; i < views.size(); ++i)
        json << (i ? "," : "") << R"({"buffer":0,"byteOffset":)" << views[i].offset << R"(,"byteLength":)"
             << views[i].length << '}';
    json << "],";
    parts.json = json.str();
    return parts;
}

}  // namespace

Picture::Picture(int w, int h, Rgb8 colour) : width(w), height(h)
{
    rgb.resize(std::size_t(w) * std::size_t(h) * 3);
    paint(0, 0, w, h, colour);
}

void Picture::paint(int x0, int y0, int x1, int y1, Rgb8 colour)
{
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) std::memcpy(&rgb[(std::size_t(y) * width + x) * 3], colour.data(), 3);
}

Rgb8 Picture::at(int x, int y) const
{
    const unsigned char* texel = &rgb[(std::size_t(y) * width + x) * 3];
    return {texel[0], texel[1], texel[2]};
}

std::string pngFile(const Picture& picture)
{
    PixelRows rows;
    rows.pixels = picture.rgb.data();
    rows.width = picture.width;
    rows.height = picture.height;
    PngBytes png;
    std::string error;
    if (!encodePng(rows, png, error)) return std::string();
    return std::string(reinterpret_cast<const char*>(png.data.get()), png.size);
}

std::string jpegFile(const Picture& picture, int quality)
{
    std::string bytes;
    stbi_write_jpg_to_func(appendTo, &bytes, picture.width, picture.height, 3, picture.rgb.data(), quality);
    return bytes;
}

std::string tgaFile(const Picture& picture)
{
    std::string bytes;
    stbi_write_tga_to_func(appendTo, &bytes, picture.width, picture.height, 3, picture.rgb.data());
    return bytes;
}

std::string bmpFile(const Picture& picture)
{
    std::string bytes;
    stbi_write_bmp_to_func(appendTo, &bytes, picture.width, picture.height, 3, picture.rgb.data());
    return bytes;
}

std::string pngHeaderOnly(uint32_t width, uint32_t height)
{
    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string chunk = "IHDR";
    putBigEndian(chunk, width);
    putBigEndian(chunk, height);
    chunk += std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, no filter, no interlace
    putBigEndian(png, 13);
    png += chunk;
    putBigEndian(png, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), chunk.size())));
    return png;
}

std::string glbTextured(const TexturedMesh& mesh, const GltfTexture& texture)
{
    GltfParts parts = gltfParts(mesh, texture, true);
    std::string json = parts.json + R"("buffers":[{"byteLength":)" + std::to_string(parts.bin.size()) + "}]}";
    while (json.size() % 4) json.push_back(' ');
    std::string glb;
    putLittleEndian(glb, uint32_t(0x46546C67));  // "glTF"
    putLittleEndian(glb, uint32_t(2));
    putLittleEndian(glb, static_cast<uint32_t>(12 + 8 + json.size() + 8 + parts.bin.size()));
    putLittleEndian(glb, static_cast<uint32_t>(json.size()));
    putLittleEndian(glb, uint32_t(0x4E4F534A));  // "JSON"
    glb += json;
    putLittleEndian(glb, static_cast<uint32_t>(parts.bin.size()));
    putLittleEndian(glb, uint32_t(0x004E4942));  // "BIN"
    return glb + parts.bin;
}

std::string gltfTextured(const TexturedMesh& mesh, const GltfTexture& texture)
{
    GltfParts parts = gltfParts(mesh, texture, false);
    return parts.json + R"("buffers":[{"byteLength":)" + std::to_string(parts.bin.size()) +
           R"(,"uri":"data:application/octet-stream;base64,)" + base64(parts.bin) + R"("}]})";
}

std::string objTextured(const ObjTextured& obj, const std::string& mtlName)
{
    std::ostringstream text;
    text << "mtllib " << mtlName << "\n";
    for (const auto& p : obj.positions) text << "v " << p[0] << ' ' << p[1] << ' ' << p[2] << "\n";
    for (const auto& t : obj.uvs) text << "vt " << t[0] << ' ' << t[1] << "\n";
    text << "usemtl skin\n";
    for (const auto& face : obj.faces) {
        text << 'f';
        for (uint32_t i : face) text << ' ' << i + 1 << '/' << i + 1;
        text << "\n";
    }
    return text.str();
}

Rgb8 paletteBytes(int entry)
{
    const double* c = Palette::colours[entry];
    const auto byte = [](double v) { return static_cast<unsigned char>(v * 255 + 0.5); };
    return {byte(c[0]), byte(c[1]), byte(c[2])};
}

TexturedMesh texturedCube()
{
    TexturedMesh mesh;
    for (int k = 0; k < 6; ++k) {
        const int axis = k / 2;
        const float side = k % 2 == 0 ? 1.0f : -1.0f;
        const int a = (axis + 1) % 3, b = (axis + 2) % 3;
        const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        const float u0 = (k % 3) / 3.0f, v0 = (k / 3) / 2.0f;  // the region's top left, in glTF's coordinates
        const uint32_t base = static_cast<uint32_t>(mesh.positions.size());
        for (int c = 0; c < 4; ++c) {
            std::array<float, 3> p{};
            p[axis] = side;
            p[a] = corners[c][0] * side;  // each face wound outwards
            p[b] = corners[c][1];
            mesh.positions.push_back(p);
            mesh.uvs.push_back({u0 + (0.125f + 0.75f * (corners[c][0] + 1) / 2) / 3,
                                v0 + (0.125f + 0.75f * (corners[c][1] + 1) / 2) / 2});
        }
        for (uint32_t i : {0u, 1u, 2u, 0u, 2u, 3u}) mesh.indices.push_back(base + i);
    }
    return mesh;
}

Picture cubeAtlas(const std::array<Rgb8, 6>& colours)
{
    Picture picture(96, 64, colours[0]);
    for (int k = 0; k < 6; ++k)
        picture.paint(32 * (k % 3), 32 * (k / 3), 32 * (k % 3) + 32, 32 * (k / 3) + 32, colours[k]);
    return picture;
}

TexturedMesh diagonalQuad()
{
    TexturedMesh mesh;
    mesh.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    // glTF's coordinates, t down: corner 0 at the middle of the bottom edge, corner 2 at the middle of the top.
    mesh.uvs = {{0.5f, 1}, {1, 1}, {0.5f, 0}, {0, 0}};
    mesh.indices = {0, 1, 2, 0, 2, 3};
    return mesh;
}

ObjTextured hexagonAndTriangle()
{
    ObjTextured obj;
    obj.positions = {{0, 0, 0},  {2, 0, 0}, {3, 1, 0}, {2, 2, 0}, {0, 2, 0},
                     {-1, 1, 0}, {5, 0, 0}, {6, 0, 0}, {5, 1, 0}};
    obj.uvs = {{0.1f, 0.1f},  {0.5f, 0.1f}, {0.9f, 0.5f}, {0.5f, 0.9f}, {0.1f, 0.9f},
               {0.05f, 0.5f}, {0.2f, 0.2f}, {0.8f, 0.2f}, {0.2f, 0.8f}};
    obj.faces = {{0, 1, 2, 3, 4, 5}, {6, 7, 8}};
    return obj;
}
