// Console lines: every line the program writes is ended and flushed at once, so that the banner
// on standard output always precedes an error line on standard error.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

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

// Keeps the model library's lines, in order, for as long as it lives, then puts back the sink it
// found. Captures nest: the innermost one gets the lines.
class CapturedMessages {
public:
    CapturedMessages();
    ~CapturedMessages();
    CapturedMessages(const CapturedMessages&) = delete;
    CapturedMessages& operator=(const CapturedMessages&) = delete;

    const std::vector<std::string>& lines() const { return lines_; }
    std::string text() const;  // every line, each with its line end

private:
    static void keep(const char* line);

    MessageSink previous_;
    CapturedMessages* outer_;
    std::vector<std::string> lines_;
};
