// The imported model's name: what the source calls it, made safe for the model text.
#include <cstring>

#include "formats/import/import.h"
#include "model/shape.h"

namespace {

// Identifier characters only: nothing the loader skips before a name or takes for a brace. The
// table keywords and the header's suffix are found in the name too, so their case is changed.
std::string sanitise(const std::string& name)
{
    std::string safe = name.substr(0, kNameSize - 1);
    for (char& c : safe) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !(c >= '0' && c <= '9') && c != '_') c = '_';
    }
    for (const char* word : {"VECTOR", "SPOLY", "_shape"}) {
        const std::size_t length = std::strlen(word);
        for (std::size_t at = safe.find(word); at != std::string::npos; at = safe.find(word, at + length))
            for (std::size_t k = 1; k < length; ++k) safe[at + k] ^= 0x20;  // letters only: the first is kept
    }
    return safe;
}

}  // namespace

std::string modelName(const std::string& name, const std::string& fallback)
{
    std::string safe = sanitise(name);
    if (safe.find_first_not_of('_') == std::string::npos) safe = sanitise(fallback);
    if (safe.find_first_not_of('_') == std::string::npos) safe = "model";
    return safe;
}
