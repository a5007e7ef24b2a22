// Option values: whole numbers, numbers and sizes read whole from an option's text, or refused.
#pragma once

// A whole decimal number, all of text, within [low, high]; a leading '+' or '-' is allowed.
bool readWholeNumber(const char* text, long low, long high, long& value);

// A finite number, all of text, as strtod reads it.
bool readNumber(const char* text, double& value);

// Seconds from 0 (none) to a million: a time limit.
bool readSeconds(const char* text, double& seconds);
