// Failure lines of the companion tools, and the model library's lines under the program's name.
#include "cli/tool_messages.h"

#include <cstdio>

#include "model/console.h"

namespace {

const char* gToolName = "zem";

// The loader's lines keep their words; a line end of their own is dropped, so that none comes out blank.
void modelLine(const char* line)
{
    std::string text = line;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    toolLine(text);
}

}  // namespace

void setToolName(const char* name)
{
    gToolName = name;
    messageSink() = modelLine;
}

void toolLine(const std::string& text)
{
    std::fprintf(stderr, "%s: %s\n", gToolName, text.c_str());
    std::fflush(stderr);
}

int reportFailure(const std::string& what, const std::string& why)
{
    toolLine(what + ": " + why);
    return 1;
}
