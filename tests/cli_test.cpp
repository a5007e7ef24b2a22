// Command-line tests: the real program run as a user would, its two streams and its exit status compared exactly.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/test_support.h"

namespace {

const std::string kBanner = "ZEM model editor/viewer, by the zemview authors\nversion 0.4, viewing only\n";
const std::string kAbort = "error while loading model file, aborting\n";
const std::string kOpenFailure = "error: file could not be opened for reading\n\n";

RunResult run(const std::vector<std::string>& arguments, const std::string& word0 = ZEMVIEW_PATH)
{
    std::vector<std::string> words = {word0};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return runProgram(ZEMVIEW_PATH, words);
}

TEST(CommandLine, noArgumentPrintsTheUsageWithWordZeroAsTyped)
{
    const RunResult r = run({}, "./some/typed/path/zemview");
    EXPECT_EQ(r.out, kBanner);
    EXPECT_EQ(r.err, "usage: ./some/typed/path/zemview <model file name>\n");
    EXPECT_EQ(r.exitStatus, 0);
}

TEST(CommandLine, loadFailuresEndWithTheAbortLineAndStatusZero)
{
    const std::string bad = writeTempFile("bad.zem", "SHAPE b_shape = { 0, 1, 0 };");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{tempDir() + "/missing.zem"}, kOpenFailure},
        {{tempDir()}, kOpenFailure},
        {{"-h"}, kOpenFailure},  // no options: a dash is part of a file name
        {{bad}, "VECTOR description missing\n"},
        {{bad, modelPath("tetra.zem")}, "VECTOR description missing\n"},  // only the first word is loaded
        {{writeTempFile("lower.zem", "shape a_shape = {0,0,0}")}, "not a valid ZEM model\n"},
    };
    for (const auto& [arguments, message] : cases) {
        const RunResult r = run(arguments);
        EXPECT_EQ(r.out, kBanner) << arguments[0];
        EXPECT_EQ(r.err, message + kAbort) << arguments[0];
        EXPECT_EQ(r.exitStatus, 0) << arguments[0];
    }
}

TEST(CommandLine, bannerPrecedesTheErrorsOnOneStream)
{
    const RunResult r = runProgram(ZEMVIEW_PATH, {ZEMVIEW_PATH, tempDir() + "/missing.zem"}, true);
    EXPECT_EQ(r.out, kBanner + kOpenFailure + kAbort);
    const RunResult usage = runProgram(ZEMVIEW_PATH, {"zemview"}, true);
    EXPECT_EQ(usage.out, kBanner + "usage: zemview <model file name>\n");
}

TEST(CommandLine, refusedPolygonsNameTheirEntry)
{
    const std::string model =
        writeTempFile("six.zem", "SHAPE s_shape = { 0, 3, 2 }; VECTOR { {0,0,0 } {1,0,0 } {0,1,0 } }\n"
                                 "SPOLY { { 1, 3, { 0, 1, 2 } } { 2, 6, { 0, 1, 2, 0, 1, 2 } } }");
    const RunResult r = run({model});
    EXPECT_EQ(r.err, "error in SPOLY description: polygon 1 has 6 vertex indices, at most 5 are allowed\n" + kAbort);
    EXPECT_EQ(r.exitStatus, 0);
}

}  // namespace

namespace {

TEST(CommandLine, runningOutOfMemoryIsOneClearLine)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
#endif
    // Ten million polygon entries of two braces each: 20 MB of text asks for a 240 MB table.
    std::string text = "SHAPE m_shape = { 0, 0, 10000000 }; VECTOR {} SPOLY {";
    text.append(20000000, '{');
    const std::string model = writeTempFile("memory.zem", text);
    const RunResult r =
        runProgram("/bin/sh", {"sh", "-c", "ulimit -v 150000; exec \"$0\" \"$1\"", ZEMVIEW_PATH, model});
    std::remove(model.c_str());
    EXPECT_EQ(r.out, kBanner);
    EXPECT_EQ(r.err, "error: out of memory: 240000000 bytes for the polygon table could not be allocated\n" + kAbort);
    EXPECT_EQ(r.exitStatus, 0);
}

}  // namespace
