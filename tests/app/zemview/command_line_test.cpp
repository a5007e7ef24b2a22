// Command-line tests: the real program run as a user would, its two streams and its exit status compared exactly.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include <cstdio>
#include <string>

#include "tests/support/test_support.h"

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
    EXPECT_EQ(r.err, "error: out of memory: the model's 10000000 polygons need 240 MB\n" + kAbort);
    EXPECT_EQ(r.exitStatus, 0);
}

}  // namespace

namespace {

struct ClosedPipeRun {
    int exitStatus = -1;  // -1 unless it exited normally
    int signal = 0;       // the signal that ended it, if one did
    std::string other;    // what the stream that stayed open received
};

// Runs the program with one of its streams on a pipe whose reader has gone, as in "| true", and
// the other on a file. With waitMs, a run still going after that long is killed and reported as such.
ClosedPipeRun runWithClosedPipe(const std::vector<std::string>& words, int closedFd, int waitMs = -1)
{
    ClosedPipeRun result;
    int fds[2];
    if (pipe(fds) != 0) return result;
    close(fds[0]);
    const std::string otherPath = tempDir() + "/other-stream";
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGPIPE, SIG_DFL);
        const int other = open(otherPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fds[1], closedFd);
        dup2(other, closedFd == 1 ? 2 : 1);
        std::vector<char*> argv;
        for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        execv(words[0].c_str(), argv.data());
        _exit(127);
    }
    close(fds[1]);
    int status = 0;
    if (waitMs >= 0) {
        for (int waited = 0; waited < waitMs && waitpid(pid, &status, WNOHANG) == 0; waited += 10) usleep(10000);
        if (waitpid(pid, &status, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.signal = -1;  // still running: killed here
            result.other = readFile(otherPath);
            return result;
        }
    } else {
        waitpid(pid, &status, 0);
    }
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.other = readFile(otherPath);
    return result;
}

TEST(CommandLine, aClosedConsoleStreamEndsNothing)
{
    const std::string missing = tempDir() + "/missing.zem";
    const ClosedPipeRun outClosed = runWithClosedPipe({ZEMVIEW_PATH, missing}, 1);
    EXPECT_EQ(outClosed.signal, 0);
    EXPECT_EQ(outClosed.exitStatus, 0);
    EXPECT_EQ(outClosed.other, kOpenFailure + kAbort) << "standard error keeps its lines";

    const ClosedPipeRun errClosed = runWithClosedPipe({ZEMVIEW_PATH, missing}, 2);
    EXPECT_EQ(errClosed.signal, 0);
    EXPECT_EQ(errClosed.exitStatus, 0);
    EXPECT_EQ(errClosed.other, kBanner) << "standard output keeps its lines";
}

// Sets one environment variable, or removes it when value is null, for as long as it lives.
class EnvironmentSetting {
public:
    EnvironmentSetting(const char* name, const char* value) : name_(name)
    {
        if (const char* was = std::getenv(name)) previous_ = was, hadValue_ = true;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvironmentSetting()
    {
        if (hadValue_)
            setenv(name_, previous_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::string previous_;
    bool hadValue_ = false;
};

// A display number that no X server on this machine listens at, by file or abstract socket.
std::string unusedDisplay()
{
    const std::string sockets = readFile("/proc/net/unix");
    for (int number = 97; number < 1000; ++number) {
        const std::string name = "/tmp/.X11-unix/X" + std::to_string(number);
        if (access(name.c_str(), F_OK) != 0 && sockets.find(name + "\n") == std::string::npos)
            return ":" + std::to_string(number);
    }
    return "";
}

TEST(CommandLine, noDisplayIsOneLineOfTheViewersOwnAndStatusZero)
{
    const std::string unused = unusedDisplay();
    ASSERT_NE(unused, "");
    const std::vector<std::pair<const char*, std::string>> cases = {
        {nullptr, "cannot open the viewer's window: DISPLAY is not set (no display to show it on)\n"},
        {"", "cannot open the viewer's window: DISPLAY is not set (no display to show it on)\n"},
        {unused.c_str(), "cannot open the viewer's window: no display answers at DISPLAY=" + unused + "\n"},
    };
    for (const auto& [display, line] : cases) {
        const EnvironmentSetting setting("DISPLAY", display);
        const RunResult r = run({modelPath("tetra.zem")});
        EXPECT_EQ(r.out, kBanner) << (display ? display : "unset");
        EXPECT_EQ(r.err, line);
        EXPECT_EQ(r.exitStatus, 0) << r.err;
    }
}

TEST(CommandLine, aClosedStandardOutputStillOpensTheWindow)
{
    // Xvfb gives any machine a display: its lack is a set-up fault, not something to skip.
    ASSERT_TRUE(std::getenv("DISPLAY"))
        << "needs an X display: run the tests under scripts/with-display.sh (Debian package xvfb)";
    // With a model the program goes on to its window and event loop; it must still be running.
    const ClosedPipeRun r = runWithClosedPipe({ZEMVIEW_PATH, modelPath("tetra.zem")}, 1, 1500);
    EXPECT_EQ(r.signal, -1) << "ended by signal " << r.signal << ", status " << r.exitStatus << ": " << r.other;
    EXPECT_EQ(r.other, "");
}

}  // namespace
