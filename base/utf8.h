// UTF-8 read one character at a time, as the checks of foreign text and the exported names do.
#pragma once

#include <cstddef>
#include <cstdint>

// The length of the well-formed UTF-8 character at text (at most available bytes, at least 1),
// its code point in code; 0 for a broken, overlong or surrogate sequence or one beyond U+10FFFF.
inline std::size_t utf8Character(const unsigned char* text, std::size_t available, uint32_t& code)
{
    const unsigned char lead = text[0];
    std::size_t length;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        code = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        code = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (length > available) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((text[k] & 0xc0) != 0x80) return 0;
        code = (code << 6) | (text[k] & 0x3f);
    }
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return 0;
    return length;
}
