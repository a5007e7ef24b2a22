// png_probe: what the packaging tests need to know of a PNG file to tell a picture of a model from
// an empty or broken one, read with libpng.
#include <png.h>

#include <cstdio>
#include <set>
#include <vector>

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
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, argv[1])) {
        std::fprintf(stderr, "png_probe: %s: %s\n", argv[1], image.message);
        return 1;
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        std::fprintf(stderr, "png_probe: %s: %s\n", argv[1], image.message);
        return 1;
    }
    const auto at = [&](unsigned x, unsigned y) {
        const png_byte* p = &pixels[(static_cast<std::size_t>(y) * image.width + x) * 4];
        return static_cast<unsigned long>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
    };
    const unsigned long background = at(0, 0);
    std::set<unsigned long> colours;
    unsigned long foreground = 0;
    unsigned left = image.width, top = image.height, right = 0, bottom = 0;
    for (unsigned y = 0; y < image.height; ++y) {
        for (unsigned x = 0; x < image.width; ++x) {
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
    std::printf("%u %u %lu %zu %u %u %u %u %lu\n", image.width, image.height, foreground, colours.size(), left, top,
                right, bottom, background & 0xff);
    return 0;
}
