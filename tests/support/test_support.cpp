// Test helpers: parsing with captured messages, temporary files, and running programs with pipes.
#include "tests/support/test_support.h"

#include "model/console.h"
#include "testlib/temp_dir.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

Parsed parseText(const std::string& text)
{
    Parsed result;
    std::unique_ptr<char[]> copy(new char[text.size()]);
    std::memcpy(copy.get(), text.data(), text.size());
    const CapturedMessages capture;
    result.ok = result.shape.parse(copy.get(), copy.get() + text.size());
    result.messages = capture.text();
    return result;
}

Parsed loadFile(const std::string& path)
{
    Parsed result;
    const CapturedMessages capture;
    result.ok = result.shape.load(path.c_str());
    result.messages = capture.text();
    return result;
}

std::string tempDir() { return privateTempDir("zemview-test"); }

std::string writeTempFile(const std::string& name, const std::string& content)
{
    const std::string path = tempDir() + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<char*> argumentVector(std::vector<std::string>& words)
{
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    return argv;
}

bool exists(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

void expectVector(const Vector3& v, float x, float y, float z)
{
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}

std::string modelPath(const std::string& fileName) { return std::string(ZEM_MODELS_DIR) + "/" + fileName; }

namespace {

void drain(int fd, std::string& into)
{
    char buffer[4096];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) into.append(buffer, static_cast<std::size_t>(got));
}

}  // namespace

RunResult runProgram(const std::string& path, const std::vector<std::string>& words, bool oneStream)
{
    int outPipe[2];
    int errPipe[2];
    RunResult result;
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return result;
    const pid_t pid = fork();
    if (pid == 0) {
        const int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, 0);
        dup2(outPipe[1], 1);
        dup2(oneStream ? outPipe[1] : errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        std::vector<char*> argv;
        for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    while (open > 0 && poll(fds, 2, -1) > 0) {
        for (pollfd& fd : fds) {
            if (fd.fd < 0 || !(fd.revents & (POLLIN | POLLHUP))) continue;
            std::string& into = &fd == &fds[0] ? result.out : result.err;
            const std::size_t before = into.size();
            drain(fd.fd, into);
            if (into.size() == before) {
                close(fd.fd);
                fd.fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    return result;
}
