// Console lines: every line the program writes is ended and flushed at once, so that the banner
// on standard output always precedes an error line on standard error.
#pragma once

#include <cstdio>

inline void writeLine(std::FILE* stream, const char* text)
{
    std::fputs(text, stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

inline void reportError(const char* text) { writeLine(stderr, text); }
