// A private temporary folder per process, removed with everything in it when the process exits.
#pragma once

#include <string>

// Made on first use under /tmp, named after prefix; the same folder for every later call.
const std::string& privateTempDir(const char* prefix = "zem");
