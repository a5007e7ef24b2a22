// Bounded decimal number reading with the C library's base-10 strtol semantics.
#pragma once

#include <climits>
#include <cstdint>

namespace number_detail {

// The white space of the C locale's isspace, which strtol skips.
inline bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace number_detail

// Reads like a 64-bit strtol(p, &e, 10) would if the text stopped at end: leading white space, an
// optional sign, digits; a value beyond 64 bits is clamped to INT64_MIN or INT64_MAX. Always 64 bits,
// whatever the platform's long: a model reads the same natively and in WebAssembly, where long has 32. Returns where
// the number ends, or p itself when no digit follows the white space and sign. Never reads at end.
// Inline, since the parser spends most of its time here.
inline const char* readInteger(const char* p, const char* end, int64_t* value)
{
    using number_detail::isCSpace;
    using number_detail::isDigit;
    const char* s = p;
    while (s < end && isCSpace(*s)) ++s;
    bool negative = false;
    if (s < end && (*s == '+' || *s == '-')) {
        negative = *s == '-';
        ++s;
    }
    if (s == end || !isDigit(*s)) {
        *value = 0;
        return p;
    }
    // Eighteen digits cannot overflow; only longer numbers need the saturating loop.
    const char* fastEnd = end - s > 18 ? s + 18 : end;
    uint64_t magnitude = 0;
    for (; s < fastEnd && isDigit(*s); ++s) magnitude = magnitude * 10 + static_cast<uint64_t>(*s - '0');
    // The magnitude saturates just past what 64 bits hold; every further digit is still passed.
    const uint64_t limit = static_cast<uint64_t>(INT64_MAX) + 1;
    for (; s < end && isDigit(*s); ++s) {
        const uint64_t digit = static_cast<uint64_t>(*s - '0');
        magnitude = magnitude > (limit - digit) / 10 ? limit + 1 : magnitude * 10 + digit;
    }
    if (negative)
        *value = magnitude >= limit ? INT64_MIN : -static_cast<int64_t>(magnitude);
    else
        *value = magnitude > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(magnitude);
    return s;
}

// A value cut to the width of its field, as the model format stores it.
inline int16_t lowBits16(int64_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }
inline uint8_t lowBits8(int64_t v) { return static_cast<uint8_t>(v); }
inline int32_t lowBits32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }
