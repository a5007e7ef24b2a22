// Numbers appended to the bytes of a binary file that a test writes, little-endian as every binary
// format here stores them (and as the machines the tests run on are).
#pragma once

#include <cstring>
#include <string>

template <typename T>
void putLittleEndian(std::string& bytes, T value)
{
    char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    bytes.append(raw, sizeof(T));
}
