// zemrender's command line read by the function the program calls: -s, the thumbnail preset, refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/zemrender/options.h"
#include "base/words.h"
#include "tests/support/test_support.h"

namespace {

struct Parse {
    Command command;
    RenderOptions options;
    std::string problem;
};

Parse parse(std::vector<std::string> words)
{
    words.insert(words.begin(), "zemrender");
    std::vector<char*> argv = argumentVector(words);
    Parse result{};
    result.command = parseRenderOptions(static_cast<int>(words.size()), argv.data(), result.options, result.problem);
    return result;
}

TEST(RenderOptions, theThumbnailPresetYieldsToWhatIsGivenWhateverTheOrder)
{
    for (const auto& words : {std::vector<std::string>{"--rotate-y", "10", "--thumbnail", "96", "m.zem", "t.png"},
                              std::vector<std::string>{"--thumbnail", "96", "--rotate-y", "10", "m.zem", "t.png"}}) {
        const Parse thumbnail = parse(words);
        ASSERT_EQ(thumbnail.command, Command::run) << thumbnail.problem;
        EXPECT_EQ(thumbnail.options.width, 96);
        EXPECT_EQ(thumbnail.options.height, 96);
        EXPECT_TRUE(thumbnail.options.fit);
        EXPECT_TRUE(thumbnail.options.transparent);
        EXPECT_EQ(thumbnail.options.view.rotX, kThumbnailRotX);
        EXPECT_EQ(thumbnail.options.view.rotY, 10);
        EXPECT_EQ(thumbnail.options.timeLimit, kThumbnailTimeLimit);
    }
    const Parse sized = parse({"-s", "64x48", "m.zem", "-"});
    ASSERT_EQ(sized.command, Command::run) << sized.problem;
    EXPECT_EQ(sized.options.width, 64);
    EXPECT_EQ(sized.options.height, 48);
}

TEST(RenderOptions, usageErrorsNameWhatIsWrong)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-qs", "1x1", "m.zem", "p.png"}, "unknown option '-q'"},
        {{"--size", "0x5", "m.zem", "p.png"}, "invalid size '0x5': give WIDTHxHEIGHT, both at least 1"},
        {{"--thumbnail", "64", "-s", "9x9", "m.zem", "p.png"}, "--thumbnail and --size exclude each other"},
        {{"--time-limit", "-1", "m.zem", "p.png"}, "invalid time limit '-1': give seconds, 0 for none"},
        {{"m.zem"}, "a model and an output file are needed"},
    };
    for (const auto& [words, problem] : cases) {
        const Parse result = parse(words);
        EXPECT_EQ(result.command, Command::usageError) << words[0];
        EXPECT_EQ(result.problem, problem);
    }
}

TEST(RenderOptions, maxMemoryTakesMegabytesOrAUnitAndSetsTheThumbnailsCap)
{
    const Parse thumbnail = parse({"--thumbnail", "64", "m.zem", "t.png"});
    ASSERT_EQ(thumbnail.command, Command::run) << thumbnail.problem;
    EXPECT_EQ(thumbnail.options.maxMemory, kThumbnailMaxMemory);
    EXPECT_EQ(thumbnail.options.samples, kThumbnailSamples);
    const Parse plain = parse({"m.zem", "t.png"});
    EXPECT_EQ(plain.options.maxMemory, 0u) << "no limit but with --thumbnail";
    EXPECT_EQ(plain.options.samples, 0) << "the viewer's pixels";
    const std::vector<std::pair<std::string, std::uint64_t>> sizes = {{"300", 300u << 20},
                                                                      {"512M", 512u << 20},
                                                                      {"512mb", 512u << 20},
                                                                      {"2G", std::uint64_t(2) << 30},
                                                                      {"1.5GiB", std::uint64_t(3) << 29},
                                                                      {"64K", 64u << 10},
                                                                      {"0", 0},
                                                                      {"1T", std::uint64_t(1) << 40}};
    for (const auto& [text, bytes] : sizes) {
        const Parse given = parse({"--max-memory", text, "--thumbnail", "64", "m.zem", "t.png"});
        ASSERT_EQ(given.command, Command::run) << text << ": " << given.problem;
        EXPECT_EQ(given.options.maxMemory, bytes) << text;
    }
    for (const std::string text : {"", "M", "-1", "1.", ".5G", "2X", "2GBs", "1e3", "99999999999G"}) {
        const Parse wrong = parse({"--max-memory", text, "m.zem", "t.png"});
        EXPECT_EQ(wrong.command, Command::usageError) << text;
        EXPECT_EQ(wrong.problem,
                  "invalid memory size '" + text + "': give megabytes, or a number with K, M or G; 0 for none");
    }
    EXPECT_EQ(memoryWords(std::uint64_t(1) << 30), "1 GB");
    EXPECT_EQ(memoryWords(std::uint64_t(3) << 29), "1.5 GB");
    EXPECT_EQ(memoryWords(std::uint64_t(20) << 30), "20 GB");
    EXPECT_EQ(memoryWords(512u << 20), "512 MB");
}

}  // namespace
