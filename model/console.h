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

// Where the model library's error lines go: standard error unless a program or a test says
// otherwise (a companion tool prefixes its name; a test keeps them to compare).
using MessageSink = void (*)(const char* line);

inline void writeToStandardError(const char* line) { writeLine(stderr, line); }

inline MessageSink& messageSink()
{
    static MessageSink sink = writeToStandardError;
    return sink;
}

inline void reportError(const char* text) { messageSink()(text); }
