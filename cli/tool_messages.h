// Failure lines of the companion tools: "program: what: why", one line each, the model library's
// own lines among them under the same name.
#pragma once

#include <string>

// Names the program for every later line, and routes the model library's lines through toolLine.
void setToolName(const char* name);

// Writes "name: text" and a line end to standard error, and flushes it.
void toolLine(const std::string& text);

// Writes "name: what: why" and returns 1, the exit status of a failed run.
int reportFailure(const std::string& what, const std::string& why);
