// PNG encoding into memory and decoding from a file, with libpng's simplified interface.
#include "image/png.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

bool encodePng(const PixelRows& rows, PngBytes& png, std::string& error)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(rows.width);
    image.height = static_cast<png_uint_32>(rows.height);
    image.format = rows.channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    // The whole file is made in memory first, so that a failure or a time limit never leaves part
    // of a picture where it goes, not even on standard output.
    char* bytes = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&bytes, &size);
    if (!stream) {
        error = std::string("PNG encoding: ") + std::strerror(errno);
        return false;
    }
    const png_int_32 stride = static_cast<png_int_32>(rows.width * rows.channels);
    const int written =
        png_image_write_to_stdio(&image, stream, 0, rows.pixels, rows.bottomUp ? -stride : stride, nullptr);
    const bool closed = std::fclose(stream) == 0;
    png.data.reset(reinterpret_cast<unsigned char*>(bytes));
    png.size = size;
    if (written && closed) return true;
    error = std::string("PNG encoding: ") + (written ? "out of memory" : image.message);
    png.data.reset();
    png.size = 0;
    return false;
}

bool decodePng(const std::string& path, DecodedPng& picture, std::string& error)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        error = path + ": " + image.message;
        return false;
    }
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.colour = (image.format & PNG_FORMAT_FLAG_COLOR) != 0;
    picture.alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = PNG_FORMAT_RGBA;
    try {
        picture.rgba.assign(PNG_IMAGE_SIZE(image), 0);
    } catch (const std::bad_alloc&) {
        error = path + ": out of memory for the picture";
        png_image_free(&image);
        return false;
    }
    if (!png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr)) {
        error = path + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}
