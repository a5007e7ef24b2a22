// Printable text: UTF-8 read character by character, with the characters a terminal acts on refused.
#include "formats/import/checks/printable_text.h"

#include <cstdint>

#include "base/utf8.h"

namespace {

// The length of the well-formed, printable character at data (at most size bytes), or 0.
std::size_t printableCharacter(const unsigned char* data, std::size_t size)
{
    uint32_t code = 0;
    const std::size_t length = utf8Character(data, size, code);
    if (length == 0) return 0;
    if (length == 1) return code >= 0x20 && code != 0x7f ? 1 : 0;
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
