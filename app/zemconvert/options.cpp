// zemconvert's command line: the options of both directions, their checks, and the direction and
// format that the output's extension or --format names.
#include "app/zemconvert/options.h"

#include <cctype>

#include "cli/option_values.h"

const char* const kConvertUsage =
    "Usage: zemconvert [OPTION]... INPUT OUTPUT\n"
    "Converts a ZEM model to another format, or a model of another format to ZEM.\n"
    "The direction and the format follow OUTPUT's extension: .zem imports, anything else exports.\n"
    "\n"
    "Export (INPUT is a ZEM model, \"-\" reads standard input):\n"
    "  .obj                Wavefront OBJ, with its MTL file of materials beside it\n"
    "  .gltf, .glb         glTF 2.0, as JSON with its .bin beside it, or as one binary file\n"
    "  .ply                PLY, binary little-endian (text with --ascii)\n"
    "  .stl                binary STL: triangles only, so segments are left out\n"
    "  .html               a page with the model inside that shows it in any browser\n"
    "      --flat          face normals, each face with vertices of its own, instead of smooth ones\n"
    "      --ascii         write PLY as text\n"
    "\n"
    "Import (OUTPUT ends in .zem, or --format zem):\n"
    "  INPUT may be OBJ, PLY, STL, glTF/GLB, COLLADA, 3DS, FBX and other common formats. It is\n"
    "  read by a separate process under limits, which opens only the files in INPUT's folder.\n"
    "      --scale N       model units per unit of the input, instead of fitting the default view\n"
    "      --no-center     keep the input's origin instead of centring the model\n"
    "      --colours FROM  what a face's colour is made of: auto (the default: its material's colour\n"
    "                      times its texture and vertex colours, where it has them), texture,\n"
    "                      material or vertex\n"
    "  -c, --colour N      palette entry N (0 to 31) for every face, instead of the nearest to its colour\n"
    "      --no-simplify   refuse a model beyond the format's limits instead of simplifying it\n"
    "      --max-memory SIZE\n"
    "                      memory for reading INPUT, the reader's code included (512M, 2G...);\n"
    "                      2 GB by default, or 16 times INPUT's size when that is more\n"
    "      --time-limit SECONDS\n"
    "                      time for reading and fitting INPUT together, in processor time and\n"
    "                      on the clock alike (more than 0; 60 by default)\n"
    "      --allow-outside-files\n"
    "                      let INPUT name files (materials, buffers) outside its own folder\n"
    "\n"
    "  -f, --format NAME   obj, gltf, glb, ply, stl, html or zem, instead of OUTPUT's extension;\n"
    "                      needed when OUTPUT is \"-\" (standard output)\n"
    "  -h, --help          print this help and exit\n"
    "  -V, --version       print the version and exit\n"
    "\n"
    "Exit status: 0 done, 1 the conversion failed, 2 the command line was wrong.\n";

namespace {

enum OptionCode {
    kFormat = 'f',
    kColour = 'c',
    kFlat = 256,
    kAscii,
    kScale,
    kNoCenter,
    kNoSimplify,
    kMaxMemory,
    kTimeLimit,
    kAllowOutside,
    kColours,
};

const option kOptions[] = {
    {"format", required_argument, nullptr, kFormat},
    {"flat", no_argument, nullptr, kFlat},
    {"ascii", no_argument, nullptr, kAscii},
    {"scale", required_argument, nullptr, kScale},
    {"no-center", no_argument, nullptr, kNoCenter},
    {"colour", required_argument, nullptr, kColour},
    {"color", required_argument, nullptr, kColour},
    {"colours", required_argument, nullptr, kColours},
    {"colors", required_argument, nullptr, kColours},
    {"no-simplify", no_argument, nullptr, kNoSimplify},
    {"max-memory", required_argument, nullptr, kMaxMemory},
    {"time-limit", required_argument, nullptr, kTimeLimit},
    {"allow-outside-files", no_argument, nullptr, kAllowOutside},
    kHelpOption,
    kVersionOption,
    {nullptr, 0, nullptr, 0},
};

// What the command line says beyond the options themselves.
struct Given {
    std::string format;  // from --format, lower case; empty: the output's extension
    bool ascii = false;
    bool importOnly = false;  // an option that only the import reads was given
    bool exportOnly = false;
    bool colours = false;  // --colours was given
};

std::string lowered(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool endsWithZem(const std::string& path)
{
    return path.size() >= 4 && lowered(path.substr(path.size() - 4)) == ".zem";
}

Command readImportOption(int code, const std::string& value, ConvertOptions& options, Given& given, std::string& error)
{
    long colour = 0;
    switch (code) {
    case kColours:
        if (!parseColourSource(value, options.colours))
            return usageError(error, "invalid --colours '" + value + "' (auto, texture, material or vertex)");
        given.colours = true;
        break;
    case kScale:
        if (!readNumber(value.c_str(), options.scale) || !(options.scale > 0))
            return usageError(error, "invalid scale '" + value + "'");
        break;
    case kColour:
        if (!readWholeNumber(value.c_str(), 0, 31, colour))
            return usageError(error, "invalid colour '" + value + "' (0 to 31)");
        options.colour = static_cast<int>(colour);
        break;
    case kNoCenter:
        options.center = false;
        break;
    case kNoSimplify:
        options.simplify = false;
        break;
    case kMaxMemory:
        if (!readMemorySize(value.c_str(), options.maxMemory) || options.maxMemory == 0)
            return usageError(error, "invalid memory size '" + value + "' (such as 512M or 2G)");
        break;
    case kTimeLimit:
        // No limit at all is not on offer: a hostile file would then hold the reader for ever.
        if (!readSeconds(value.c_str(), options.timeLimit) || !(options.timeLimit > 0))
            return usageError(error, "invalid time limit '" + value + "' (seconds, more than 0)");
        break;
    case kAllowOutside:
        options.allowOutside = true;
        break;
    }
    return Command::run;
}

Command readOption(int code, const char* value, ConvertOptions& options, Given& given, std::string& error)
{
    switch (code) {
    case kFormat:
        given.format = lowered(value);
        return Command::run;
    case kFlat:
        options.flat = given.exportOnly = true;
        return Command::run;
    case kAscii:
        given.ascii = given.exportOnly = true;
        return Command::run;
    case 'h':
        return Command::help;
    case 'V':
        return Command::version;
    default:
        given.importOnly = true;
        return readImportOption(code, value ? value : "", options, given, error);
    }
}

// The direction, and for an export its format, once every option is known.
Command resolveFormat(const Given& given, ConvertOptions& options, std::string& error)
{
    if (options.output == "-" && given.format.empty())
        return usageError(error, "standard output needs --format to name the format");
    options.importing = given.format == "zem" || (given.format.empty() && endsWithZem(options.output));
    if (options.importing) {
        if (given.exportOnly) return usageError(error, "--flat and --ascii apply to exporting only");
        if (given.colours && options.colour >= 0)
            return usageError(error, "--colour gives every face one entry: it leaves nothing for --colours");
        return Command::run;
    }
    if (given.importOnly)
        return usageError(error,
                          "--scale, --no-center, --colour, --colours, --no-simplify, --max-memory, --time-limit and "
                          "--allow-outside-files apply to importing only");
    if (!exportFormatFor(given.format, options.output, given.ascii, options.exportFormat)) {
        if (!given.format.empty()) return usageError(error, "unknown format '" + given.format + "'");
        return usageError(error,
                          options.output + ": unknown extension (use .obj, .gltf, .glb, .ply, .stl, .html or .zem)");
    }
    if (given.ascii && options.exportFormat != ExportFormat::PlyAscii)
        return usageError(error, "--ascii applies to PLY only");
    return Command::run;
}

}  // namespace

Command parseConvertOptions(int argc, char** argv, ConvertOptions& options, std::string& error)
{
    Given given;
    std::vector<std::string> operands;
    const auto read = [&](int code, const char* value) { return readOption(code, value, options, given, error); };
    const Command command = readOptions(argc, argv, "f:c:hV", kOptions, read, operands, error);
    if (command != Command::run) return command;
    if (operands.size() != 2)
        return usageError(error, operands.size() < 2 ? "an input and an output are needed" : "too many operands");
    options.input = operands[0];
    options.output = operands[1];
    return resolveFormat(given, options, error);
}
