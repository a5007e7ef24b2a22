// PNG pictures: 8-bit RGB or RGBA pixels in memory to PNG bytes and back, through libpng. No OpenGL.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

// Pixels as a drawing reads them back: rows of width * channels bytes with no padding.
struct PixelRows {
    const unsigned char* pixels = nullptr;  // the first row in memory
    int width = 0;
    int height = 0;
    int channels = 3;       // 3 for RGB, 4 for RGBA with straight (not premultiplied) alpha
    bool bottomUp = false;  // the first row in memory is the picture's bottom row, as OpenGL reads it
};

// A whole PNG file's bytes, in memory that libc allocated.
struct PngBytes {
    std::unique_ptr<unsigned char, decltype(&std::free)> data{nullptr, &std::free};
    std::size_t size = 0;
};

// Encodes the rows as a PNG of the same colour type (RGB or RGBA). False after error says why.
bool encodePng(const PixelRows& rows, PngBytes& png, std::string& error);

// A decoded PNG: what the file says of itself, and its pixels as RGBA rows from the top.
struct DecodedPng {
    int width = 0;
    int height = 0;
    bool colour = false;  // the file holds colour, not grey
    bool alpha = false;   // the file holds an alpha channel or transparency
    std::vector<unsigned char> rgba;
};

// Reads the PNG file at path. False after error says why.
bool decodePng(const std::string& path, DecodedPng& picture, std::string& error);
