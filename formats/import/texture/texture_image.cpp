// Texture decoding: the signature and header checked against the limits, then stb_image on the bytes in memory.
#include "formats/import/texture/texture_image.h"

#include <climits>
#include <cstring>
#include <memory>

#include "base/words.h"
#include "formats/import/texture/jpeg_tables.h"

// The decoder compiled here, private to this file, for the four formats a texture may be in and
// from memory only: fewer decoders are less to attack, and it never opens a file itself.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_TGA
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace {

bool startsWith(const unsigned char* bytes, std::size_t size, const char* signature, std::size_t length)
{
    return size >= length && std::memcmp(bytes, signature, length) == 0;
}

// The formats a texture may be in, told by their signatures: the decoder's own guessing would take
// many a damaged or unknown file (a compressed GPU texture, say) for a TGA and decode noise.
bool knownSignature(const unsigned char* bytes, std::size_t size)
{
    return startsWith(bytes, size, "\x89PNG\r\n\x1a\n", 8) || startsWith(bytes, size, "\xff\xd8\xff", 3) ||
           startsWith(bytes, size, "BM", 2);
}

uint32_t bigEndian(const unsigned char* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// A PNG's size as its header declares it. The decoder's own look at the header refuses sizes it
// deems too large without saying what they were; the user is told them here.
bool pngHeader(const unsigned char* bytes, std::size_t size, uint32_t& width, uint32_t& height)
{
    if (size < 24 || std::memcmp(bytes, "\x89PNG", 4) != 0 || std::memcmp(bytes + 12, "IHDR", 4) != 0) return false;
    width = bigEndian(bytes + 16);
    height = bigEndian(bytes + 20);
    return true;
}

std::string sizeWords(uint64_t width, uint64_t height)
{
    return std::to_string(width) + " x " + std::to_string(height) + " texels";
}

bool withinSideLimit(uint64_t width, uint64_t height, std::string& error)
{
    if (width <= uint64_t(kTextureMaxSide) && height <= uint64_t(kTextureMaxSide)) return true;
    error = "its header declares " + sizeWords(width, height) + ", more than " + std::to_string(kTextureMaxSide) +
            " on a side";
    return false;
}

// The header's size against the side limit and the budget; error says which was passed.
bool withinLimits(int width, int height, int channels, bool sixteenBits, uint64_t budgetBytes, std::string& error)
{
    if (width <= 0 || height <= 0) {
        error = "its header declares no texels";
        return false;
    }
    if (!withinSideLimit(uint64_t(width), uint64_t(height), error)) return false;
    const uint64_t peak = textureDecodePeak(width, height, channels, sixteenBits);
    if (peak > budgetBytes) {
        error = sizeWords(width, height) + " need " + memoryWords(peak) + " to decode, more than the " +
                memoryWords(budgetBytes) + " a texture may use (see --max-memory)";
        return false;
    }
    return true;
}

}  // namespace

uint64_t textureBudgetFor(uint64_t readerMemoryBytes) { return readerMemoryBytes / 2; }

uint64_t textureDecodePeak(int width, int height, int channels, bool sixteenBits)
{
    const uint64_t texels = uint64_t(width > 0 ? width : 0) * uint64_t(height > 0 ? height : 0);
    const uint64_t stored = uint64_t(channels > 0 ? channels : 4) * (sixteenBits ? 2 : 1);
    // The inflated or entropy-decoded rows and the texels in the file's layout live together, then
    // the texels beside their RGB conversion, then that beside the image's own copy.
    return texels * (2 * stored + 3) + uint64_t(height > 0 ? height : 0);
}

namespace {

// Everything decodeTexture checks before a texel is decoded; the header's size in width and height.
bool checkedHeader(const unsigned char* bytes, std::size_t size, bool tgaAllowed, uint64_t budgetBytes, int& width,
                   int& height, std::string& error)
{
    if (!bytes || size == 0) {
        error = "it is empty";
        return false;
    }
    if (size > static_cast<std::size_t>(INT_MAX)) {
        error = "it is larger than 2 GB";
        return false;
    }
    if (!knownSignature(bytes, size) && !tgaAllowed) {
        error = "not a PNG, JPEG, TGA or BMP image";
        return false;
    }
    // The decoder reads a JPEG's tables for its header too: they are checked before it sees them.
    // It takes anything that starts with 0xFF for a JPEG, whatever the signature said.
    if (bytes[0] == 0xFF && !jpegHuffmanTablesFit(bytes, size)) {
        error = "its JPEG Huffman tables declare more codes than JPEG allows";
        return false;
    }
    uint32_t declaredWidth = 0, declaredHeight = 0;
    if (pngHeader(bytes, size, declaredWidth, declaredHeight) && !withinSideLimit(declaredWidth, declaredHeight, error))
        return false;
    const int length = static_cast<int>(size);
    int channels = 0;
    if (!stbi_info_from_memory(bytes, length, &width, &height, &channels)) {
        error = knownSignature(bytes, size) ? "its header is damaged" : "not a PNG, JPEG, TGA or BMP image";
        return false;
    }
    return withinLimits(width, height, channels, stbi_is_16_bit_from_memory(bytes, length) != 0, budgetBytes, error);
}

}  // namespace

bool decodeTexture(const unsigned char* bytes, std::size_t size, bool tgaAllowed, uint64_t budgetBytes,
                   TextureImage& image, std::string& error)
{
    int width = 0, height = 0;
    if (!checkedHeader(bytes, size, tgaAllowed, budgetBytes, width, height, error)) return false;
    int decodedWidth = 0, decodedHeight = 0, fileChannels = 0;
    std::unique_ptr<unsigned char, void (*)(void*)> texels(
        stbi_load_from_memory(bytes, static_cast<int>(size), &decodedWidth, &decodedHeight, &fileChannels, 3),
        stbi_image_free);
    if (!texels) {
        // The decoder's own reason is for its developers ("not enough pixels"); the user is told
        // what it means for them.
        error = "the image is damaged: its texels could not be decoded";
        return false;
    }
    // The header read twice must say the same; if it does not, nothing past it is trusted.
    if (decodedWidth != width || decodedHeight != height) {
        error = "its header is damaged";
        return false;
    }
    image.width = width;
    image.height = height;
    image.rgb.assign(texels.get(), texels.get() + std::size_t(width) * std::size_t(height) * 3);
    return true;
}

bool textureFromBgra(const unsigned char* texels, int width, int height, uint64_t budgetBytes, TextureImage& image,
                     std::string& error)
{
    if (!withinLimits(width, height, 4, false, budgetBytes, error)) return false;
    if (!texels) {
        error = "it holds no texels";
        return false;
    }
    const std::size_t count = std::size_t(width) * std::size_t(height);
    image.width = width;
    image.height = height;
    image.rgb.resize(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        image.rgb[3 * i] = texels[4 * i + 2];
        image.rgb[3 * i + 1] = texels[4 * i + 1];
        image.rgb[3 * i + 2] = texels[4 * i];
    }
    return true;
}

bool namesTga(const std::string& nameOrHint)
{
    const std::size_t dot = nameOrHint.rfind('.');
    std::string extension = dot == std::string::npos ? nameOrHint : nameOrHint.substr(dot + 1);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return extension == "tga";
}
