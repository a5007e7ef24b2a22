// zemrender's command line: what to draw, how, at what size and into which file.
#pragma once

#include <cstdint>
#include <string>

#include "cli/command_line.h"
#include "render/scene.h"

// The thumbnail mode's fixed view and limits: a file manager runs the thumbnailer on every file a
// user browses past and kills a slow one, so the program gives up first, cleanly, and takes no more
// memory than a 1024-pixel picture of a model of 32,767 vertices and 65,534 polygons needs (about
// 0.7 GB of address space where the renderer runs 16 threads).
constexpr int kThumbnailRotX = 25;           // degrees, the top tipped towards the eye
constexpr int kThumbnailRotY = -35;          // degrees, turned to show a side
constexpr double kThumbnailTimeLimit = 5.0;  // seconds
// Bytes of address space, and samples a pixel for smooth edges.
constexpr std::uint64_t kThumbnailMaxMemory = std::uint64_t(1) << 30;
constexpr int kThumbnailSamples = 4;

struct RenderOptions {
    std::string model;   // the model file
    std::string output;  // the PNG to write, or "-" for standard output
    int width = kWindowWidth;
    int height = kWindowHeight;
    SceneView view = kStartView;  // background, lighting, shading, outlines, rotation and distance
    bool transparent = false;     // the background clears to alpha 0 and the PNG keeps alpha
    bool fit = false;             // the model as seen centred and filling the picture
    double timeLimit = 0.0;       // seconds before the run gives up; 0 for none
    // Bytes of address space the run may take, and the largest model file it reads; 0 for no limit.
    std::uint64_t maxMemory = 0;
    int samples = 0;  // samples a pixel: 0 for the viewer's pixels, more for smooth edges
};

// Reads argv into options. For a usage error, error says what is wrong.
Command parseRenderOptions(int argc, char** argv, RenderOptions& options, std::string& error);

extern const char* const kRenderUsage;  // the text of --help
