// The import direction's stand-in for builds without app/convert_import.cpp: a clear refusal.
#include <cstdio>

#include "app/convert_options.h"

int runImport(const ConvertOptions&)
{
    std::fputs("zemconvert: importing is not available in this build\n", stderr);
    return 1;
}
