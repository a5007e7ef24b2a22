// A JPEG's Huffman tables checked before the decoder reads them.
#include "formats/import/texture/jpeg_tables.h"

#include <cstdint>

namespace {

constexpr unsigned kMaxCodes = 256;  // symbols in one table: every byte value once

// The segment's tables as the decoder reads them: from its declared length, with zeros past the
// end of the file (the decoder's reader gives zeros there).
bool tablesFit(const unsigned char* bytes, std::size_t size, std::size_t at, long left)
{
    const auto byte = [&](std::size_t i) -> unsigned { return i < size ? bytes[i] : 0u; };
    while (left > 0) {
        unsigned codes = 0;
        for (std::size_t length = 1; length <= 16; ++length) codes += byte(at + length);
        if (codes > kMaxCodes) return false;
        at += 17 + codes;
        left -= 17 + static_cast<long>(codes);
    }
    return true;
}

// Markers that stand alone, without a length: TEM, RSTn, SOI, EOI, and stuffed zeros.
bool standsAlone(unsigned char marker)
{
    return marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9);
}

}  // namespace

bool jpegHuffmanTablesFit(const unsigned char* bytes, std::size_t size)
{
    std::size_t at = 0;
    // Segments and entropy-coded data alike: any byte but 0xFF is data, and markers are found by
    // their 0xFF wherever they are, as the decoder finds them.
    while (at + 1 < size) {
        if (bytes[at] != 0xFF || bytes[at + 1] == 0xFF) {
            ++at;
            continue;
        }
        const unsigned char marker = bytes[at + 1];
        if (standsAlone(marker)) {
            at += 2;
            continue;
        }
        if (at + 3 >= size) break;
        const std::size_t length = std::size_t(bytes[at + 2]) << 8 | bytes[at + 3];
        if (marker == 0xC4 && !tablesFit(bytes, size, at + 4, static_cast<long>(length) - 2)) return false;
        at += 2 + (length >= 2 ? length : 2);
    }
    return true;
}
