// The textured import's benchmark and example model: a 200,000-triangle knot with a picture mapped along it, as GLB.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "testlib/texture_files.h"

namespace {

constexpr int kAlong = 1000;  // rings along the knot
constexpr int kAround = 100;  // vertices around each ring
constexpr double kPi = 3.14159265358979323846;

std::array<double, 3> centre(double t)
{
    const double r = 2 + 0.8 * std::cos(3 * t);
    return {r * std::cos(2 * t), r * std::sin(2 * t), 0.8 * std::sin(3 * t)};
}

// The (2, 3) torus knot as a tube, with the first ring and the first vertex of each ring repeated
// at the end, so that the picture's coordinates run on across the seams instead of back.
TexturedMesh knot()
{
    TexturedMesh mesh;
    for (int i = 0; i <= kAlong; ++i) {
        const double t = 2 * kPi * i / kAlong;
        const std::array<double, 3> c = centre(t), ahead = centre(t + 1e-4);
        const double tangent[3] = {ahead[0] - c[0], ahead[1] - c[1], ahead[2] - c[2]};
        double side[3] = {tangent[1], -tangent[0], 0};
        const double sideLength = std::hypot(side[0], side[1]);
        for (double& v : side) v /= sideLength;
        double normal[3] = {side[1] * tangent[2] - side[2] * tangent[1], side[2] * tangent[0] - side[0] * tangent[2],
                            side[0] * tangent[1] - side[1] * tangent[0]};
        const double normalLength = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
        for (double& v : normal) v /= normalLength;
        for (int j = 0; j <= kAround; ++j) {
            const double a = 2 * kPi * j / kAround;
            std::array<float, 3> p;
            for (int k = 0; k < 3; ++k)
                p[k] = static_cast<float>(c[k] + 0.35 * (std::cos(a) * side[k] + std::sin(a) * normal[k]));
            mesh.positions.push_back(p);
            // Four times along the knot, once around it.
            mesh.uvs.push_back({4.0f * i / kAlong, static_cast<float>(j) / kAround});
        }
    }
    for (uint32_t i = 0; i < kAlong; ++i)
        for (uint32_t j = 0; j < kAround; ++j) {
            const uint32_t a = i * (kAround + 1) + j, b = a + 1, c = a + kAround + 1, d = c + 1;
            for (uint32_t corner : {a, c, d, a, d, b}) mesh.indices.push_back(corner);
        }
    return mesh;
}

// Eight bands of colour across, each with a darker stripe along its middle third, and a little
// noise, as a photograph has, so that the picture compresses and decodes as real ones do.
Picture bands(int width, int height)
{
    const Rgb8 colours[8] = {{255, 77, 77},  {255, 179, 51}, {255, 255, 77}, {77, 255, 77},
                             {77, 255, 255}, {77, 77, 255},  {255, 77, 255}, {240, 240, 240}};
    Picture picture(width, height, {0, 0, 0});
    uint32_t state = 2463534242u;
    for (int y = 0; y < height; ++y) {
        const bool stripe = y * 3 >= height && y * 3 < 2 * height;
        for (int x = 0; x < width; ++x) {
            const Rgb8& c = colours[x * 8 / width];
            unsigned char* texel = &picture.rgb[(std::size_t(y) * width + x) * 3];
            for (int k = 0; k < 3; ++k) {
                state ^= state << 13, state ^= state >> 17, state ^= state << 5;
                const int value = (stripe ? c[k] * 2 / 5 : c[k]) + int(state % 17) - 8;
                texel[k] = static_cast<unsigned char>(value < 0 ? 0 : (value > 255 ? 255 : value));
            }
        }
    }
    return picture;
}

}  // namespace

int main(int argc, char** argv)
{
    int width = 0, height = 0;
    if ((argc != 3 && argc != 4) || std::sscanf(argv[2], "%dx%d", &width, &height) != 2 || width < 8 || height < 1 ||
        width > 16384 || height > 16384) {
        std::fprintf(stderr, "usage: textured_knot OUTPUT.glb WIDTHxHEIGHT [PICTURE.png]\n");
        return 2;
    }
    GltfTexture texture;
    texture.png = pngFile(bands(width, height));
    std::ofstream(argv[1], std::ios::binary) << glbTextured(knot(), texture);
    if (argc == 4) std::ofstream(argv[3], std::ios::binary) << texture.png;
    return texture.png.empty() ? 1 : 0;
}
