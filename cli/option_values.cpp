// Option values read whole from their text, with the C library's number readers.
#include "cli/option_values.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

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
