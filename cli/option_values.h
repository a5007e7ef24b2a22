// Option values: whole numbers, numbers and sizes read whole from an option's text, or refused.
#pragma once

#include <cstdint>

// A whole decimal number, all of text, within [low, high]; a leading '+' or '-' is allowed.
bool readWholeNumber(const char* text, long low, long high, long& value);

// A finite number, all of text, as strtod reads it.
bool readNumber(const char* text, double& value);

// Seconds from 0 (none) to a million: a time limit.
bool readSeconds(const char* text, double& seconds);

// A memory size as bytes: a number, a decimal fraction allowed, then K, M, G or T (each 1024 times
// the one before, with or without "B" or "iB" after it); without a unit, megabytes. 0 is no limit.
bool readMemorySize(const char* text, std::uint64_t& bytes);
