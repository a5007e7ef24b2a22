// zemconvert's entry: the command line, and the hand-over to the export or the import direction.
#include <getopt.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "app/convert_options.h"
#include "cli/tool_messages.h"
#include "cli/version.h"
#include "formats/export.h"

namespace {

constexpr const char* kUsage =
    "usage: zemconvert [OPTION]... INPUT OUTPUT\n"
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
    "  INPUT may be OBJ, PLY, STL, glTF/GLB, COLLADA, 3DS, FBX and other common formats.\n"
    "  -s, --scale=N       model units per unit of the input, instead of fitting the default view\n"
    "      --no-center     keep the input's origin instead of centring the model\n"
    "  -c, --colour=N      palette entry N (0 to 31) for every face, instead of the materials' nearest\n"
    "      --no-simplify   refuse a model beyond the format's limits instead of simplifying it\n"
    "\n"
    "  -f, --format=NAME   obj, gltf, glb, ply, stl, html or zem, instead of OUTPUT's extension;\n"
    "                      needed when OUTPUT is \"-\" (standard output)\n"
    "  -h, --help          show this help and exit\n"
    "  -V, --version       show the version and exit\n"
    "\n"
    "Exit status: 0 done, 1 the conversion failed, 2 the command line is wrong.\n";

int usageError(const std::string& why)
{
    toolLine(why);
    std::fputs("Try 'zemconvert --help' for more information.\n", stderr);
    return 2;
}

bool endsWithZem(const std::string& path)
{
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".zem";
}

bool parseScale(const char* text, double& scale)
{
    char* end = nullptr;
    errno = 0;
    scale = std::strtod(text, &end);
    return end != text && *end == '\0' && errno == 0 && std::isfinite(scale) && scale > 0.0;
}

bool parseColour(const char* text, int& colour)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || value < 0 || value > 31) return false;
    colour = static_cast<int>(value);
    return true;
}

int run(int argc, char** argv)
{
    enum { kFlat = 256, kAscii, kNoCenter, kNoSimplify };
    const option longOptions[] = {
        {"format", required_argument, nullptr, 'f'},
        {"flat", no_argument, nullptr, kFlat},
        {"ascii", no_argument, nullptr, kAscii},
        {"scale", required_argument, nullptr, 's'},
        {"no-center", no_argument, nullptr, kNoCenter},
        {"colour", required_argument, nullptr, 'c'},
        {"color", required_argument, nullptr, 'c'},
        {"no-simplify", no_argument, nullptr, kNoSimplify},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    setToolName("zemconvert");
    ConvertOptions options;
    bool importOnly = false;  // an option that only the import reads was given
    bool exportOnly = false;
    opterr = 0;  // our own messages, in our own form
    int c;
    while ((c = getopt_long(argc, argv, ":f:s:c:hV", longOptions, nullptr)) != -1) {
        switch (c) {
        case 'f':
            options.format = optarg;
            for (char& ch : options.format) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            break;
        case kFlat:
            options.flat = exportOnly = true;
            break;
        case kAscii:
            options.ascii = exportOnly = true;
            break;
        case 's':
            if (!parseScale(optarg, options.scale)) return usageError(std::string("invalid scale '") + optarg + "'");
            importOnly = true;
            break;
        case kNoCenter:
            options.center = false;
            importOnly = true;
            break;
        case 'c':
            if (!parseColour(optarg, options.colour))
                return usageError(std::string("invalid colour '") + optarg + "' (0 to 31)");
            importOnly = true;
            break;
        case kNoSimplify:
            options.simplify = false;
            importOnly = true;
            break;
        case 'h':
            std::fputs(kUsage, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        case 'V':
            std::fputs("zemconvert " ZEM_VERSION "\n", stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        case ':':
            return usageError(std::string("option '") + argv[optind - 1] + "' needs a value");
        default:
            return usageError(std::string("unknown option '") + argv[optind - 1] + "'");
        }
    }
    if (argc - optind != 2)
        return usageError(argc - optind < 2 ? "an input and an output are needed" : "too many operands");
    options.input = argv[optind];
    options.output = argv[optind + 1];
    if (options.output == "-" && options.format.empty())
        return usageError("standard output needs --format to name the format");

    const bool importing = options.format == "zem" || (options.format.empty() && endsWithZem(options.output));
    if (importing) {
        if (exportOnly) return usageError("--flat and --ascii apply to exporting only");
        return runImport(options);
    }
    if (importOnly) return usageError("--scale, --no-center, --colour and --no-simplify apply to importing only");
    ExportFormat format;
    if (!exportFormatFor(options.format, options.output, options.ascii, format)) {
        if (!options.format.empty()) return usageError("unknown format '" + options.format + "'");
        return usageError(options.output + ": unknown extension (use .obj, .gltf, .glb, .ply, .stl, .html or .zem)");
    }
    if (options.ascii && format != ExportFormat::PlyAscii) return usageError("--ascii applies to PLY only");
    return runExport(options, format);
}

}  // namespace

int main(int argc, char** argv)
{
    // Nothing thrown below is expected; what escapes is reported, never a crash.
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        toolLine("out of memory");
    } catch (const std::exception& e) {
        toolLine(e.what());
    }
    return 1;
}
