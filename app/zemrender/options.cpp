// zemrender's command line: the options, their checks, the thumbnail preset and --help.
#include "app/zemrender/options.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "cli/option_values.h"

namespace {

enum OptionCode {
    kSize = 's',
    kRotateX = 256,
    kRotateY,
    kDistance,
    kBackground,
    kNoLighting,
    kFlat,
    kOutline,
    kFit,
    kThumbnail,
    kTimeLimit,
    kMaxMemory,
};

const option kOptions[] = {
    {"size", required_argument, nullptr, kSize},
    {"rotate-x", required_argument, nullptr, kRotateX},
    {"rotate-y", required_argument, nullptr, kRotateY},
    {"distance", required_argument, nullptr, kDistance},
    {"background", required_argument, nullptr, kBackground},
    {"no-lighting", no_argument, nullptr, kNoLighting},
    {"flat", no_argument, nullptr, kFlat},
    {"outline", no_argument, nullptr, kOutline},
    {"fit", no_argument, nullptr, kFit},
    {"thumbnail", required_argument, nullptr, kThumbnail},
    {"time-limit", required_argument, nullptr, kTimeLimit},
    {"max-memory", required_argument, nullptr, kMaxMemory},
    kHelpOption,
    kVersionOption,
    {nullptr, 0, nullptr, 0},
};

// "WxH", both whole numbers of at least 1. The renderer's own limit is checked once it runs.
bool readSize(const char* text, int& width, int& height)
{
    const char* x = std::strchr(text, 'x');
    if (!x || x == text || !std::isdigit(static_cast<unsigned char>(*text)) ||
        !std::isdigit(static_cast<unsigned char>(x[1])))
        return false;
    const std::string first(text, x);
    long w = 0;
    long h = 0;
    if (!readWholeNumber(first.c_str(), 1, INT_MAX, w) || !readWholeNumber(x + 1, 1, INT_MAX, h)) return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

// What the command line says, before the thumbnail preset and the explicit options are combined.
struct Given {
    bool size = false;
    int width = 0;
    int height = 0;
    bool rotateX = false;
    int rotX = 0;
    bool rotateY = false;
    int rotY = 0;
    bool distance = false;
    double distanceValue = 0.0;
    const char* background = nullptr;
    bool noLighting = false;
    bool flat = false;
    bool outline = false;
    bool fit = false;
    int thumbnail = 0;
    bool timeLimit = false;
    double timeLimitValue = 0.0;
    bool maxMemory = false;
    std::uint64_t maxMemoryValue = 0;
};

// The options that choose the picture: its size, the thumbnail preset, the time and memory limits.
Command readPictureOption(int code, const char* argument, Given& given, std::string& error)
{
    const std::string quoted = std::string("'") + argument + "'";
    long whole = 0;
    switch (code) {
    case kSize:
        given.size = true;
        if (!readSize(argument, given.width, given.height))
            return usageError(error, "invalid size " + quoted + ": give WIDTHxHEIGHT, both at least 1");
        break;
    case kThumbnail:
        if (!readWholeNumber(argument, 1, INT_MAX, whole))
            return usageError(error, "invalid thumbnail size " + quoted + ": give a whole number of at least 1");
        given.thumbnail = static_cast<int>(whole);
        break;
    case kTimeLimit:
        given.timeLimit = true;
        if (!readSeconds(argument, given.timeLimitValue))
            return usageError(error, "invalid time limit " + quoted + ": give seconds, 0 for none");
        break;
    case kMaxMemory:
        given.maxMemory = true;
        if (!readMemorySize(argument, given.maxMemoryValue))
            return usageError(error, "invalid memory size " + quoted +
                                         ": give megabytes, or a number with K, M or G; 0 for none");
        break;
    }
    return Command::run;
}

// The options with a value that set the view: turns, distance, background.
Command readViewOption(int code, const char* argument, Given& given, std::string& error)
{
    const std::string quoted = std::string("'") + argument + "'";
    long whole = 0;
    switch (code) {
    case kRotateX:
    case kRotateY:
        if (!readWholeNumber(argument, -1000000, 1000000, whole))
            return usageError(error, "invalid angle " + quoted + ": give whole degrees");
        (code == kRotateX ? given.rotateX : given.rotateY) = true;
        (code == kRotateX ? given.rotX : given.rotY) = static_cast<int>(whole);
        break;
    case kDistance:
        given.distance = true;
        if (!readNumber(argument, given.distanceValue))
            return usageError(error, "invalid distance " + quoted + ": give a number of model units");
        break;
    case kBackground:
        if (std::strcmp(argument, "black") != 0 && std::strcmp(argument, "white") != 0 &&
            std::strcmp(argument, "transparent") != 0)
            return usageError(error, "invalid background " + quoted + ": give black, white or transparent");
        given.background = argument;
        break;
    }
    return Command::run;
}

Command readOption(int code, const char* argument, Given& given, std::string& error)
{
    switch (code) {
    case kNoLighting:
        given.noLighting = true;
        return Command::run;
    case kFlat:
        given.flat = true;
        return Command::run;
    case kOutline:
        given.outline = true;
        return Command::run;
    case kFit:
        given.fit = true;
        return Command::run;
    case 'h':
        return Command::help;
    case 'V':
        return Command::version;
    case kSize:
    case kThumbnail:
    case kTimeLimit:
    case kMaxMemory:
        return readPictureOption(code, argument, given, error);
    default:
        return readViewOption(code, argument, given, error);
    }
}

// The thumbnail preset first, then what was given explicitly, whatever the order on the line.
Command combine(const Given& given, RenderOptions& options, std::string& error)
{
    if (given.thumbnail && given.size) return usageError(error, "--thumbnail and --size exclude each other");
    if ((given.fit || given.thumbnail) && given.distance)
        return usageError(error, "--distance cannot be given with --fit or --thumbnail, which choose it");
    if (given.thumbnail) {
        options.width = options.height = given.thumbnail;
        options.fit = true;
        options.transparent = true;
        options.view.rotX = kThumbnailRotX;
        options.view.rotY = kThumbnailRotY;
        options.timeLimit = kThumbnailTimeLimit;
        options.maxMemory = kThumbnailMaxMemory;
        options.samples = kThumbnailSamples;
    }
    if (given.size) {
        options.width = given.width;
        options.height = given.height;
    }
    if (given.rotateX) options.view.rotX = given.rotX;
    if (given.rotateY) options.view.rotY = given.rotY;
    if (given.distance) options.view.distance = given.distanceValue;
    if (given.background) {
        options.transparent = std::strcmp(given.background, "transparent") == 0;
        // A transparent picture is the black clear, whose alpha is 0, with its alpha kept.
        options.view.blackBackground = std::strcmp(given.background, "white") != 0;
    }
    if (given.noLighting) options.view.lighting = false;
    if (given.flat) options.view.smooth = false;
    if (given.outline) options.view.wireframe = true;
    if (given.fit) options.fit = true;
    if (given.timeLimit) options.timeLimit = given.timeLimitValue;
    if (given.maxMemory) options.maxMemory = given.maxMemoryValue;
    return Command::run;
}

}  // namespace

Command parseRenderOptions(int argc, char** argv, RenderOptions& options, std::string& error)
{
    Given given;
    std::vector<std::string> operands;
    const auto read = [&](int code, const char* value) { return readOption(code, value, given, error); };
    const Command command = readOptions(argc, argv, "s:hV", kOptions, read, operands, error);
    if (command != Command::run) return command;
    if (operands.size() != 2)
        return usageError(error, operands.size() < 2 ? "a model and an output file are needed"
                                                     : "unexpected argument '" + operands[2] + "'");
    options.model = operands[0];
    options.output = operands[1];
    return combine(given, options, error);
}

const char* const kRenderUsage =
    "Usage: zemrender [OPTION]... MODEL OUTPUT.png\n"
    "Draws a ZEM model as the viewer shows it and writes the picture as a PNG file, with no display.\n"
    "OUTPUT may be - for standard output. By default the picture is the viewer's first frame, pixel\n"
    "for pixel: 640x480, black background, lit, smooth shading, the model 500 units in front of the eye.\n"
    "\n"
    "  -s, --size WxH          picture size in pixels (default 640x480), up to the renderer's limit\n"
    "      --rotate-x DEG      turn about the X axis, in whole degrees, as a vertical left drag does\n"
    "      --rotate-y DEG      turn about the Y axis, in whole degrees, as a horizontal left drag does\n"
    "      --distance D        model units along the view axis, as a right drag sets it (default -500;\n"
    "                          negative is in front of the eye)\n"
    "      --background COLOUR black (default), white, or transparent (a PNG with alpha)\n"
    "      --no-lighting       flat palette colours, as the viewer's l key shows them\n"
    "      --flat              face normals instead of vertex normals, as the s key\n"
    "      --outline           white outlines instead of filled polygons, as the w key\n"
    "      --fit               frame the whole model: as turned and seen in perspective, it fills the\n"
    "                          picture one way, centred, with a small margin on every side\n"
    "      --thumbnail SIZE    a SIZE x SIZE picture for a file manager: framed as --fit, turned to\n"
    "                          a fixed angle (--rotate-x 25 --rotate-y -35), smooth edges, on a\n"
    "                          transparent background, with a time limit of 5 seconds and a memory\n"
    "                          limit of 1 GB; other options given still apply\n"
    "      --time-limit SECS   give up after SECS seconds (exit status 1, no output written);\n"
    "                          0 for none, the default except with --thumbnail\n"
    "      --max-memory SIZE   the most memory the run may take, in megabytes or with a unit (512M,\n"
    "                          2G); a model file larger than SIZE is refused before it is read;\n"
    "                          0 for none, the default except with --thumbnail\n"
    "  -h, --help              print this help and exit\n"
    "  -V, --version           print the version and exit\n"
    "\n"
    "Exit status: 0 the picture was written, 1 the model did not load or could not be drawn or\n"
    "written, 2 the command line was wrong. A failed run leaves no file behind and never replaces\n"
    "an existing one. Drawing goes through EGL on Mesa's surfaceless platform: no X server and no\n"
    "GPU are needed, and DISPLAY plays no part.\n";
