// Option values: whole numbers, numbers and sizes read whole from an option's text, or refused.
#pragma once

#include <cstdint>

// A whole decimal number, all of text, within [low, high]; a leading '+' or '-' is allowed.
bool readWholeNumber(const char* text, long low, long high, long& value);

// A finite number, all of text, as strtod reads it.
bool readNumber(const char* text, double& value);

// Seconds from 0 (none) to a million: a time limit.
bool readSeconds(const char* text, double& seconds);

// A memory size: a number of bytes, or a number (a fraction allowed) with K, M, G or T after it,
// alone or with B or iB ("512M", "1.5GB", "2GiB"); each unit 1024 of the one before, as memory is
// counted. More than 0 and at most 16 EB.
bool readMemorySize(const char* text, uint64_t& bytes);
