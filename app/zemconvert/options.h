// zemconvert's command line: the direction, the format and the options of each direction.
#pragma once

#include <cstdint>
#include <string>

#include "cli/command_line.h"
#include "formats/export/export.h"
#include "formats/import/texture/colour_choice.h"

struct ConvertOptions {
    std::string input;       // a model file, or "-" for standard input where the direction allows it
    std::string output;      // the file to write, or "-" for standard output
    bool importing = false;  // to ZEM, from another format
    ExportFormat exportFormat = ExportFormat::Obj;  // when exporting: resolved once, here

    // Export (ZEM to another format).
    bool flat = false;  // --flat: face normals, vertices split per face

    // Import (another format to ZEM).
    double scale = 0.0;  // --scale: model units per source unit; 0 fits the default view
    bool center = true;  // --no-center clears it
    int colour = -1;     // --colour N: one palette entry for every face; -1 matches materials
    ColourSource colours = ColourSource::automatic;  // --colours: what a face's colour is made of
    bool simplify = true;                            // --no-simplify: refuse a model beyond the format's limits instead
    // The reader's child and the simplifier's: --max-memory (0: 2 GB, or 16 times the input's size
    // when that is more), --time-limit (seconds, more than 0), --allow-outside-files.
    uint64_t maxMemory = 0;
    double timeLimit = 60;
    bool allowOutside = false;
};

// Reads argv into options, the direction and the export format included. For a usage error,
// error says what is wrong.
Command parseConvertOptions(int argc, char** argv, ConvertOptions& options, std::string& error);

extern const char* const kConvertUsage;  // the text of --help

// Each returns the exit status: 0 done, 1 the work failed (after one line on standard error).
int runExport(const ConvertOptions& options);  // export_run.cpp
int runImport(const ConvertOptions& options);  // import_run.cpp
