// png_probe: what the packaging tests need to know of a PNG file to tell a picture of a model from
// an empty or broken one, decoded by the project's own PNG library.
#include <cstdio>
#include <set>
#include <string>

#include "image/png.h"

// Prints "WIDTH HEIGHT FOREGROUND COLOURS LEFT TOP RIGHT BOTTOM ALPHA": the pixels that differ from
// the top left one (the background), how many distinct colours they have, the box around them, and
// the background's alpha.
// Exit status 1 when the file is no PNG that libpng can read.
int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: png_probe FILE.png\n", stderr);
        return 2;
    }
    DecodedPng image;
    std::string error;
    if (!decodePng(argv[1], image, error)) {
        std::fprintf(stderr, "png_probe: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    const unsigned width = static_cast<unsigned>(image.width);
    const unsigned height = static_cast<unsigned>(image.height);
    const auto at = [&](unsigned x, unsigned y) {
        const unsigned char* p = &image.rgba[(static_cast<std::size_t>(y) * width + x) * 4];
        return static_cast<unsigned long>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
    };
    const unsigned long background = at(0, 0);
    std::set<unsigned long> colours;
    unsigned long foreground = 0;
    unsigned left = width, top = height, right = 0, bottom = 0;
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            const unsigned long pixel = at(x, y);
            if (pixel == background) continue;
            ++foreground;
            colours.insert(pixel);
            if (x < left) left = x;
            if (x > right) right = x;
            if (y < top) top = y;
            if (y > bottom) bottom = y;
        }
    }
    std::printf("%u %u %lu %zu %u %u %u %u %lu\n", width, height, foreground, colours.size(), left, top,
                right, bottom, background & 0xff);
    return 0;
}
