// Option values read whole from their text, with the C library's number readers.
#include "cli/option_values.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

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

// The multiplier that a unit's text names: "", "K", "KB", "KiB" and so on; 0 for anything else.
double unitBytes(const char* unit)
{
    static const char kPrefixes[] = "KMGT";
    if (*unit == '\0' || ((unit[0] == 'B' || unit[0] == 'b') && unit[1] == '\0')) return 1;
    const char* prefix = std::strchr(kPrefixes, unit[0] & ~0x20);
    if (!prefix || *prefix == '\0') return 0;
    const char* rest = unit + 1;
    if (std::strcmp(rest, "") != 0 && std::strcmp(rest, "B") != 0 && std::strcmp(rest, "b") != 0 &&
        std::strcmp(rest, "iB") != 0)
        return 0;
    return std::ldexp(1.0, 10 * static_cast<int>(prefix - kPrefixes + 1));
}

}  // namespace

bool readMemorySize(const char* text, uint64_t& bytes)
{
    if (*text < '0' || *text > '9') return false;  // no sign, no space, no "inf"
    char* end = nullptr;
    errno = 0;
    const double amount = std::strtod(text, &end);
    if (errno != 0 || !std::isfinite(amount)) return false;
    // One space may stand before a unit ("2 G"), not at the end.
    const double unit = unitBytes(*end == ' ' && end[1] != '\0' ? end + 1 : end);
    const double total = std::floor(amount * unit);
    // 2^64 itself is out of range: the largest double below it is the last size that fits.
    if (unit == 0 || !(total >= 1) || total >= 18446744073709551616.0) return false;
    bytes = static_cast<uint64_t>(total);
    return true;
}
