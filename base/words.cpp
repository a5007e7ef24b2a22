// Sizes and counts in words.
#include "base/words.h"

#include <cmath>
#include <cstdio>

std::string memoryWords(uint64_t bytes)
{
    const struct {
        uint64_t size;
        const char* unit;
    } units[] = {{uint64_t(1) << 30, "GB"}, {uint64_t(1) << 20, "MB"}, {uint64_t(1) << 10, "KB"}};
    for (const auto& unit : units) {
        if (bytes < unit.size) continue;
        const double amount = double(bytes) / double(unit.size);
        char text[64];
        if (bytes % unit.size == 0 || amount >= 100)
            std::snprintf(text, sizeof text, "%.0f %s", std::floor(amount), unit.unit);
        else
            std::snprintf(text, sizeof text, "%.1f %s", amount, unit.unit);
        return text;
    }
    return std::to_string(bytes) + " bytes";
}

std::string counted(uint64_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}
