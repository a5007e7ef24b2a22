// zemrender's command line: what to draw, how, at what size and into which file.
#pragma once

#include <string>

#include "cli/command_line.h"
#include "render/scene.h"

// The thumbnail mode's fixed view and time limit: a file manager kills a slow thumbnailer, so the
// program gives up first, cleanly.
constexpr int kThumbnailRotX = 25;           // degrees, the top tipped towards the eye
constexpr int kThumbnailRotY = -35;          // degrees, turned to show a side
constexpr double kThumbnailTimeLimit = 5.0;  // seconds

struct RenderOptions {
    std::string model;   // the model file
    std::string output;  // the PNG to write, or "-" for standard output
    int width = kWindowWidth;
    int height = kWindowHeight;
    ViewDefaults view = kStartView;  // background, lighting, shading, outlines, rotation and distance
    bool transparent = false;        // the background clears to alpha 0 and the PNG keeps alpha
    bool fit = false;                // distance and depth range from the model's bounding sphere
    double timeLimit = 0.0;          // seconds before the run gives up; 0 for none
};

// Reads argv into options. For a usage error, problem says what is wrong.
Command parseRenderOptions(int argc, char** argv, RenderOptions& options, std::string& problem);

extern const char* const kRenderUsage;  // the text of --help
