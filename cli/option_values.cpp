// Option values read whole from their text, with the C library's number readers.
#include "cli/option_values.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

bool readWholeNumber(const char* text, long low, long high, long& value)
{
    if (!*text) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && *end == '\0' && value >= low && value <= high;
}

bool readNumber(const char* text, double& value)
{
    if (!*text) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text, &end);
    return errno == 0 && *end == '\0' && std::isfinite(value);
}

bool readSeconds(const char* text, double& seconds)
{
    return readNumber(text, seconds) && seconds >= 0 && seconds <= 1e6;
}

namespace {

constexpr std::uint64_t kLargestMemory = std::uint64_t(1) << 50;  // bytes: more than any machine has

}  // namespace

bool readMemorySize(const char* text, std::uint64_t& bytes)
{
    const char* at = text;
    while (std::isdigit(static_cast<unsigned char>(*at))) ++at;
    if (at == text) return false;
    if (*at == '.' && std::isdigit(static_cast<unsigned char>(at[1])))
        for (++at; std::isdigit(static_cast<unsigned char>(*at));) ++at;
    const double number = std::strtod(std::string(text, at).c_str(), nullptr);
    const char* const units = "KMGT";
    const char* unit = *at ? std::strchr(units, std::toupper(static_cast<unsigned char>(*at))) : nullptr;
    double scale = double(1 << 20);
    if (unit) {
        scale = std::ldexp(1.0, 10 * static_cast<int>(unit - units + 1));
        ++at;
        if (std::strcmp(at, "B") == 0 || std::strcmp(at, "b") == 0 || std::strcmp(at, "iB") == 0) at += std::strlen(at);
    }
    if (*at != '\0' || number * scale > double(kLargestMemory)) return false;
    bytes = static_cast<std::uint64_t>(number * scale + 0.5);
    return true;
}
