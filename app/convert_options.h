// zemconvert's command line as both directions read it: ZEM to other formats, and other formats to ZEM.
#pragma once

#include <string>

#include "formats/export.h"

struct ConvertOptions {
    std::string input;   // a model file, or "-" for standard input where the direction allows it
    std::string output;  // the file to write, or "-" for standard output (needs format)
    std::string format;  // from --format; empty: taken from the output's extension

    // Export (ZEM to another format).
    bool flat = false;   // --flat: face normals, vertices split per face
    bool ascii = false;  // --ascii: PLY as text instead of binary little-endian

    // Import (another format to ZEM).
    double scale = 0.0;       // --scale: model units per source unit; 0 fits the default view
    bool center = true;       // --no-center clears it
    int colour = -1;          // --colour N: one palette entry for every face; -1 matches materials
    bool simplify = true;     // --no-simplify: refuse a model beyond the format's limits instead
};

// Each returns the exit status: 0 done, 1 the work failed (after one line on standard error).
int runExport(const ConvertOptions& options, ExportFormat format);  // app/convert_export.cpp
int runImport(const ConvertOptions& options);  // app/convert_import.cpp
