// Little-endian numbers in bytes, as every binary format here stores them, and hex digits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The size-byte unsigned number (size at most 8) that starts at bytes[at]; the caller has checked
// that bytes holds at + size of them.
inline uint64_t littleEndian(const char* bytes, std::size_t at, std::size_t size)
{
    uint64_t value = 0;
    for (std::size_t k = size; k-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + k]);
    return value;
}

inline uint16_t littleEndian16(const char* bytes, std::size_t at)
{
    return static_cast<uint16_t>(littleEndian(bytes, at, 2));
}

inline uint32_t littleEndian32(const char* bytes, std::size_t at)
{
    return static_cast<uint32_t>(littleEndian(bytes, at, 4));
}

inline uint64_t littleEndian64(const char* bytes, std::size_t at) { return littleEndian(bytes, at, 8); }

// The same reads from a string of bytes.
inline uint64_t littleEndian(const std::string& bytes, std::size_t at, std::size_t size)
{
    return littleEndian(bytes.data(), at, size);
}
inline uint16_t littleEndian16(const std::string& bytes, std::size_t at) { return littleEndian16(bytes.data(), at); }
inline uint32_t littleEndian32(const std::string& bytes, std::size_t at) { return littleEndian32(bytes.data(), at); }
inline uint64_t littleEndian64(const std::string& bytes, std::size_t at) { return littleEndian64(bytes.data(), at); }

// The digit of a value below 16.
inline char upperHexDigit(unsigned value) { return "0123456789ABCDEF"[value & 15]; }
inline char lowerHexDigit(unsigned value) { return "0123456789abcdef"[value & 15]; }

// The value of a hex digit of either case, or -1 for any other character.
inline int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
