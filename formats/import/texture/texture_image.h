// Texture images from a model's bytes: the header read and checked against a budget before any texel is decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Texels as stored (sRGB-encoded), 3 bytes each, rows from the picture's top: row 0 is where the
// texture coordinate v is 1, as every format the importer reads puts it.
struct TextureImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
};

// No viewer draws a texture wider or taller than this; a header that says more is damaged or hostile.
constexpr int kTextureMaxSide = 16384;

// The most bytes that decoding one texture may hold at once: half the reader's memory budget, the
// rest being the reader's, the model's and the answer's. One texture is decoded at a time.
uint64_t textureBudgetFor(uint64_t readerMemoryBytes);

// The bytes the decoder holds at its peak for a picture of width x height with channels channels
// of 8 or 16 bits: the inflated rows, the decoded texels in their own layout and the RGB copy.
uint64_t textureDecodePeak(int width, int height, int channels, bool sixteenBits);

// Decodes a PNG, JPEG or BMP file's bytes, or a TGA's when tgaAllowed (TGA has no signature, so
// only a name or hint that says "tga" lets bytes be taken for one). The header comes first: a size
// beyond kTextureMaxSide, or whose decoding would hold more than budgetBytes, is refused without
// decoding. False with error set to one line for the user ("its header declares 65535 x 65535
// texels, more than 16384 on a side").
bool decodeTexture(const unsigned char* bytes, std::size_t size, bool tgaAllowed, uint64_t budgetBytes,
                   TextureImage& image, std::string& error);

// Texels the reader already holds uncompressed, 4 bytes each in the order blue, green, red,
// alpha, rows from the top. The same limits as decodeTexture, since the copy costs as much again.
bool textureFromBgra(const unsigned char* texels, int width, int height, uint64_t budgetBytes, TextureImage& image,
                     std::string& error);

// Whether a file name or a format hint names TGA ("wood.TGA", "tga").
bool namesTga(const std::string& nameOrHint);
