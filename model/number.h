// Bounded decimal number reading with the C library's base-10 strtol semantics.
#pragma once

#include <cstdint>

// Reads like strtol(p, &e, 10) would if the text stopped at end: leading white space, an optional
// sign, digits; a value beyond the range of long is clamped to LONG_MIN or LONG_MAX. Returns where
// the number ends, or p itself when no digit follows the white space and sign. Never reads at end.
const char* readLong(const char* p, const char* end, long* value);

// A value cut to the width of its field, as the model format stores it.
inline int16_t lowBits16(long v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }
inline uint8_t lowBits8(long v) { return static_cast<uint8_t>(v); }
inline int32_t lowBits32(long v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }
