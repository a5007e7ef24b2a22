// Text and little-endian output into a growing string: the exporters' numbers, written without
// the locale and without printf's cost per call.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

struct TextOut {
    std::string& text;

    TextOut& operator<<(const char* s)
    {
        text.append(s);
        return *this;
    }
    TextOut& operator<<(const std::string& s)
    {
        text.append(s);
        return *this;
    }
    TextOut& operator<<(char c)
    {
        text.push_back(c);
        return *this;
    }
    TextOut& integer(long long value)
    {
        char buffer[24];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        text.append(buffer, result.ptr);
        return *this;
    }
    // Six decimals, as normals and colours are read by people and tools alike; a value that
    // rounds to zero is written without its sign, and a value that is not finite as zero.
    TextOut& fixed6(double value)
    {
        const double scaled = std::isfinite(value) ? std::round(value * 1e6) : 0.0;
        long long units = static_cast<long long>(scaled);
        if (units < 0) {
            text.push_back('-');
            units = -units;
        }
        integer(units / 1000000);
        char fraction[8] = {'.'};
        long long rest = units % 1000000;
        for (int i = 6; i >= 1; --i, rest /= 10) fraction[i] = static_cast<char>('0' + rest % 10);
        text.append(fraction, 7);
        return *this;
    }
};

// Binary formats here are little-endian whatever the machine.
inline void appendLittle32(std::string& out, uint32_t value)
{
    const char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 24)};
    out.append(bytes, 4);
}

inline void appendLittleFloat(std::string& out, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    appendLittle32(out, bits);
}

// A palette component (0 to 1) as the byte that PLY colours hold.
inline uint8_t colourByte(double component) { return static_cast<uint8_t>(std::lround(component * 255.0)); }
