// Command-line layer tests: error lines that name the word at fault, and the guarded main's answers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "tests/support/test_support.h"

namespace {

const option kTestOptions[] = {{"size", required_argument, nullptr, 's'}, kHelpOption, kVersionOption, {}};

std::string firstProblem(std::vector<std::string> words)
{
    std::vector<char*> argv = argumentVector(words);
    OptionReader reader(static_cast<int>(words.size()), argv.data(), "s:hV", kTestOptions);
    std::string problem;
    for (int code; (code = reader.next(problem)) != -1;)
        if (code == '?') return problem;
    return "";
}

TEST(OptionReader, namesTheWordAtFaultAsItWasWritten)
{
    EXPECT_EQ(firstProblem({"tool", "-qh", "a"}), "unknown option '-q'") << "not the program's own name";
    EXPECT_EQ(firstProblem({"tool", "-hq", "a"}), "unknown option '-q'") << "inside a group of short options";
    EXPECT_EQ(firstProblem({"tool", "--bogus"}), "unknown option '--bogus'");
    EXPECT_EQ(firstProblem({"tool", "a", "--size"}), "option '--size' needs a value");
    EXPECT_EQ(firstProblem({"tool", "-s"}), "option '-s' needs a value");
    EXPECT_EQ(firstProblem({"tool", "-s", "1", "--size=2", "-h", "a", "b"}), "");
}

TEST(OptionReader, readsAfreshEachTimeAndKeepsTheOperands)
{
    for (int round = 0; round < 2; ++round) {
        std::vector<std::string> words = {"tool", "in", "-s", "4x3", "out"};
        std::vector<char*> argv = argumentVector(words);
        OptionReader reader(static_cast<int>(words.size()), argv.data(), "s:hV", kTestOptions);
        std::string problem;
        ASSERT_EQ(reader.next(problem), 's');
        EXPECT_STREQ(reader.value(), "4x3");
        EXPECT_EQ(reader.next(problem), -1);
        EXPECT_EQ(reader.operands(), (std::vector<std::string>{"in", "out"}));
    }
}

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

// toolMain with the parse giving command, its two streams caught in files (standard output
// optionally /dev/full).
Outcome runToolMain(Command command, const std::function<int()>& work, bool fullDisk = false)
{
    const std::string outPath = tempDir() + "/tool-out", errPath = tempDir() + "/tool-err";
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = dup(1), savedErr = dup(2);
    const int out = open(fullDisk ? "/dev/full" : outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(err, 2);
    const int status = toolMain(
        {"tool", "Usage: tool\n"},
        [&](std::string& problem) {
            problem = "unknown option '-q'";
            return command;
        },
        work);
    std::fflush(stdout);
    std::clearerr(stdout);
    std::fflush(stderr);
    dup2(savedOut, 1);
    dup2(savedErr, 2);
    for (int fd : {out, err, savedOut, savedErr}) close(fd);
    return Outcome{status, fullDisk ? "" : readFile(outPath), readFile(errPath)};
}

TEST(ToolMain, answersHelpVersionAndUsageErrorsWithTheirStatus)
{
    const auto never = [] { return 99; };
    const Outcome help = runToolMain(Command::help, never);
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, "Usage: tool\n");
    const Outcome version = runToolMain(Command::version, never);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("tool ", 0), 0u) << version.out;
    const Outcome usage = runToolMain(Command::usageError, never);
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.err, "tool: unknown option '-q' (see tool --help)\n");
    EXPECT_EQ(runToolMain(Command::run, never).status, 99);
}

TEST(ToolMain, aVersionOrHelpThatCannotBeWrittenFails)
{
    for (Command command : {Command::version, Command::help}) {
        const Outcome full = runToolMain(
            command, [] { return 0; }, true);
        EXPECT_EQ(full.status, 1);
        EXPECT_EQ(full.err, "tool: standard output: No space left on device\n");
    }
}

TEST(ToolMain, whatTheWorkThrowsIsOneLineAndStatusOne)
{
    const Outcome thrown = runToolMain(Command::run, []() -> int { throw std::runtime_error("boom"); });
    EXPECT_EQ(thrown.status, 1);
    EXPECT_EQ(thrown.err, "tool: unexpected failure: boom\n");
    const Outcome memory = runToolMain(Command::run, []() -> int { throw std::bad_alloc(); });
    EXPECT_EQ(memory.err, "tool: out of memory\n");
}

}  // namespace
