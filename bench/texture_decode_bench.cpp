// The decoding of one picture as the import decodes a texture, timed alone: the median of repeated runs, in seconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "formats/import/texture/texture_image.h"

int main(int argc, char** argv)
{
    const int runs = argc == 3 ? std::atoi(argv[2]) : 0;
    if (argc != 3 || runs < 1) {
        std::fprintf(stderr, "usage: texture_decode_bench PICTURE RUNS\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::vector<double> seconds;
    for (int run = 0; run < runs; ++run) {
        TextureImage image;
        std::string why;
        const auto start = std::chrono::steady_clock::now();
        if (!decodeTexture(bytes.data(), bytes.size(), false, textureBudgetFor(uint64_t(2) << 30), image, why)) {
            std::fprintf(stderr, "texture_decode_bench: %s: %s\n", argv[1], why.c_str());
            return 1;
        }
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(seconds.begin(), seconds.begin() + runs / 2, seconds.end());
    std::printf("%.3f\n", seconds[runs / 2]);
    return 0;
}
