// Bounded strtol-compatible number reader, the parser's hot path.
#include "number.h"

#include <climits>

namespace {

// The white space of the C locale's isspace, which strtol skips.
bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

const char* readLong(const char* p, const char* end, long* value)
{
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
    // The magnitude saturates just past what long can hold; every further digit is still passed.
    const unsigned long limit = static_cast<unsigned long>(LONG_MAX) + 1;
    unsigned long magnitude = 0;
    for (; s < end && isDigit(*s); ++s) {
        const unsigned long digit = static_cast<unsigned long>(*s - '0');
        if (magnitude > (limit - digit) / 10)
            magnitude = limit + 1;
        else
            magnitude = magnitude * 10 + digit;
    }
    if (negative)
        *value = magnitude >= limit ? LONG_MIN : -static_cast<long>(magnitude);
    else
        *value = magnitude > static_cast<unsigned long>(LONG_MAX) ? LONG_MAX : static_cast<long>(magnitude);
    return s;
}
