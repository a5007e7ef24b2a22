// zemconvert's command line read by the function the program calls: direction, format, refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/zemconvert/options.h"
#include "cli/option_values.h"
#include "tests/support/test_support.h"

namespace {

struct Parse {
    Command command;
    ConvertOptions options;
    std::string problem;
};

Parse parse(std::vector<std::string> words)
{
    words.insert(words.begin(), "zemconvert");
    std::vector<char*> argv = argumentVector(words);
    Parse result{};
    result.command = parseConvertOptions(static_cast<int>(words.size()), argv.data(), result.options, result.problem);
    return result;
}

TEST(ConvertOptions, theOutputOrFormatNamesDirectionAndFormatOnce)
{
    const Parse glb = parse({"a.zem", "b.GLB"});
    ASSERT_EQ(glb.command, Command::run) << glb.problem;
    EXPECT_FALSE(glb.options.importing);
    EXPECT_EQ(glb.options.exportFormat, ExportFormat::Glb);
    const Parse ply = parse({"--ascii", "--format", "PLY", "a.zem", "-"});
    ASSERT_EQ(ply.command, Command::run) << ply.problem;
    EXPECT_EQ(ply.options.exportFormat, ExportFormat::PlyAscii);
    const Parse import = parse({"--scale", "2.5", "-c", "4", "--no-center", "knot.ply", "knot.zem"});
    ASSERT_EQ(import.command, Command::run) << import.problem;
    EXPECT_TRUE(import.options.importing);
    EXPECT_EQ(import.options.scale, 2.5);
    EXPECT_EQ(import.options.colour, 4);
    EXPECT_FALSE(import.options.center);
    EXPECT_EQ(import.options.colours, ColourSource::automatic);
    const Parse colours = parse({"--colours", "vertex", "knot.ply", "knot.zem"});
    ASSERT_EQ(colours.command, Command::run) << colours.problem;
    EXPECT_EQ(colours.options.colours, ColourSource::vertex);
    EXPECT_EQ(import.options.maxMemory, 0u);  // the default, sized by the input
    EXPECT_EQ(import.options.timeLimit, 60);
    EXPECT_FALSE(import.options.allowOutside);
    const Parse limited =
        parse({"--max-memory", "1.5G", "--time-limit=2.5", "--allow-outside-files", "a.obj", "a.zem"});
    ASSERT_EQ(limited.command, Command::run) << limited.problem;
    EXPECT_EQ(limited.options.maxMemory, uint64_t(3) << 29);
    EXPECT_EQ(limited.options.timeLimit, 2.5);
    EXPECT_TRUE(limited.options.allowOutside);
}

TEST(ConvertOptions, usageErrorsNameWhatIsWrong)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-qz", "a.zem", "b.obj"}, "unknown option '-q'"},
        {{"-s", "2", "a.ply", "b.zem"}, "unknown option '-s'"},  // --scale has no short form
        {{"--colour=32", "a.ply", "b.zem"}, "invalid colour '32' (0 to 31)"},
        {{"--scale", "0", "a.ply", "b.zem"}, "invalid scale '0'"},
        {{"--flat", "a.ply", "b.zem"}, "--flat and --ascii apply to exporting only"},
        {{"--no-simplify", "a.zem", "b.obj"},
         "--scale, --no-center, --colour, --colours, --no-simplify, --max-memory, --time-limit and "
         "--allow-outside-files apply "
         "to importing only"},
        {{"--max-memory", "2X", "a.ply", "b.zem"}, "invalid memory size '2X' (such as 512M or 2G)"},
        {{"--max-memory=0", "a.ply", "b.zem"}, "invalid memory size '0' (such as 512M or 2G)"},
        {{"--time-limit", "0", "a.ply", "b.zem"}, "invalid time limit '0' (seconds, more than 0)"},
        {{"--time-limit=-1", "a.ply", "b.zem"}, "invalid time limit '-1' (seconds, more than 0)"},
        {{"--colours", "vertices", "a.ply", "b.zem"},
         "invalid --colours 'vertices' (auto, texture, material or vertex)"},
        {{"--colours", "texture", "-c", "3", "a.ply", "b.zem"},
         "--colour gives every face one entry: it leaves nothing for --colours"},
        {{"--ascii", "a.zem", "b.stl"}, "--ascii applies to PLY only"},
        {{"a.zem", "-"}, "standard output needs --format to name the format"},
        {{"a.zem", "b.dxf"}, "b.dxf: unknown extension (use .obj, .gltf, .glb, .ply, .stl, .html or .zem)"},
        {{"a.zem"}, "an input and an output are needed"},
    };
    for (const auto& [words, problem] : cases) {
        const Parse result = parse(words);
        EXPECT_EQ(result.command, Command::usageError) << words[0];
        EXPECT_EQ(result.problem, problem);
    }
}

}  // namespace
