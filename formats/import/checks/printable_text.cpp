// Printable text: UTF-8 read character by character, with the characters a terminal acts on refused.
#include "formats/import/checks/printable_text.h"

#include <cstdint>

namespace {

// The length of the well-formed, printable character at data (at most size bytes), or 0.
std::size_t printableCharacter(const unsigned char* data, std::size_t size)
{
    const unsigned char lead = data[0];
    if (lead < 0x80) return lead >= 0x20 && lead != 0x7f ? 1 : 0;
    std::size_t length;
    uint32_t code;
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
    if (length > size) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((data[k] & 0xc0) != 0x80) return 0;
        code = (code << 6) | (data[k] & 0x3f);
    }
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return 0;
    // C1 controls (a terminal may take 0x9b for an escape sequence) and the bidirectional
    // overrides and isolates, which make a line read other than it is.
    if (code <= 0x9f || (code >= 0x202a && code <= 0x202e) || (code >= 0x2066 && code <= 0x2069)) return 0;
    return length;
}

}  // namespace

std::string printableText(const std::string& text, std::size_t maxBytes)
{
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    std::string result;
    for (std::size_t at = 0; at < text.size() && result.size() <= maxBytes;) {
        const std::size_t length = printableCharacter(data + at, text.size() - at);
        if (length > 0)
            result.append(text, at, length);
        else
            result += '?';
        at += length > 0 ? length : 1;
    }
    if (result.size() <= maxBytes) return result;
    if (maxBytes < 3) return std::string();
    // What is kept is valid UTF-8: back to the start of a character, then the mark of the cut.
    std::size_t cut = maxBytes - 3;
    while (cut > 0 && (static_cast<unsigned char>(result[cut]) & 0xc0) == 0x80) --cut;
    result.resize(cut);
    return result + "...";
}

bool isPrintableText(const char* data, std::size_t size, std::size_t maxBytes)
{
    if (size > maxBytes) return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    for (std::size_t at = 0; at < size;) {
        const std::size_t length = printableCharacter(bytes + at, size - at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}
