// OutputFile tests: all or nothing for files, even when a signal stops the process; pipes, devices
// and links left as they are, links of others in shared folders not followed; what the replaced file
// was, its permissions and owner, kept; and what would be refused, found before any work.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cli/output_file.h"
#include "testlib/temp_dir.h"
#include "tests/support/test_support.h"

namespace {

// The names in a folder, "." and ".." left out, sorted.
std::vector<std::string> entries(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    while (const dirent* entry = dir ? readdir(dir) : nullptr)
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.push_back(entry->d_name);
    if (dir) closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(OutputFile, aPipeIsWrittenAsItIsNeverReplaced)
{
    std::string error;
    // A pipe stands for any file that is not regular, /dev/null or a device among them: a rename
    // over it would replace it with a file.
    const std::string fifo = tempDir() + "/picture.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // The reader is there first, so that opening the pipe for writing does not wait.
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    {
        OutputFile out;
        EXPECT_TRUE(out.open(fifo, error)) << error;
        EXPECT_TRUE(out.write("picture", error));
        EXPECT_TRUE(out.commit(error)) << error;
    }
    char received[16] = {};
    const ssize_t got = read(reader, received, sizeof received - 1);
    close(reader);
    EXPECT_EQ(got, 7);
    EXPECT_STREQ(received, "picture");
    struct stat info;
    ASSERT_EQ(lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST(OutputFile, aFileIsReplacedWholeOrNotAtAll)
{
    std::string error;
    const std::string path = writeTempFile("kept.txt", "earlier");
    {
        OutputFile abandoned;
        ASSERT_TRUE(abandoned.open(path, error));
        abandoned.write("half of the new", error);
    }  // never committed
    EXPECT_EQ(readFile(path), "earlier");
    OutputFile done;
    ASSERT_TRUE(done.open(path, error));
    done.write("new", error);
    ASSERT_TRUE(done.commit(error)) << error;
    EXPECT_EQ(readFile(path), "new");
    EXPECT_EQ(runProgram("/bin/sh", {"sh", "-c", "ls -A \"$0\" | grep -c '^\\.kept'", tempDir()}).out, "0\n")
        << "no temporary file is left behind";
}

TEST(OutputFile, aLinkKeepsPointingAtTheFileItNames)
{
    std::string error;
    const std::string target = writeTempFile("target.txt", "earlier");
    const std::string link = tempDir() + "/link.txt";
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    OutputFile out;
    ASSERT_TRUE(out.open(link, error));
    out.write("new", error);
    ASSERT_TRUE(out.commit(error)) << error;
    struct stat info;
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(readFile(target), "new");
}

TEST(OutputFile, aFolderOrAMissingFolderIsRefusedAtOnce)
{
    std::string error;
    OutputFile folder;
    EXPECT_FALSE(folder.open(tempDir(), error));
    EXPECT_EQ(error, tempDir() + ": Is a directory");
    OutputFile missing;
    EXPECT_FALSE(missing.open(tempDir() + "/no/such/out.png", error));
    EXPECT_EQ(error, tempDir() + "/no/such/out.png: No such file or directory");
}

// The folders the next tests make, reachable by every user: under a private folder of their own.
std::string openFolder(const std::string& name, mode_t mode)
{
    const std::string& base = privateTempDir("zem-output-open");
    chmod(base.c_str(), 0755);
    const std::string folder = base + "/" + name;
    mkdir(folder.c_str(), 0700);
    chmod(folder.c_str(), mode);  // past the umask
    return folder;
}

// Written through a link and committed: the error, or "" when it was written.
std::string writtenThrough(const std::string& link)
{
    std::string error;
    OutputFile out;
    if (out.open(link, error) && out.write("model text", error) && out.commit(error)) return "";
    return error;
}

// As the kernel's protected_symlinks would, which this machine may leave off: the test plays root
// writing through a link that another user planted in /tmp.
TEST(OutputFile, aLinkThatAnotherUserOwnsInASharedFolderIsNotFollowed)
{
    if (geteuid() != 0) GTEST_SKIP() << "giving a link to another user takes root";
    const uid_t other = 4242;
    const std::string secret = writeTempFile("roots-file.txt", "root's own");
    const std::string shared = openFolder("shared", 01777);
    const std::string link = shared + "/out.zem";
    ASSERT_EQ(symlink(secret.c_str(), link.c_str()), 0);
    ASSERT_EQ(lchown(link.c_str(), other, other), 0);
    const std::string refused =
        link + ": a link that another user owns in a folder that anyone may write to: not followed";
    EXPECT_EQ(writtenThrough(link), refused);
    std::string error;
    EXPECT_FALSE(checkOutputPath(link, error));
    EXPECT_EQ(error, refused);
    EXPECT_EQ(readFile(secret), "root's own");
    EXPECT_EQ(entries(shared), std::vector<std::string>{"out.zem"});

    // Followed where the rule lets it be: the folder's owner's link, the caller's own, and any link in a
    // folder that is not both sticky and writable by all.
    ASSERT_EQ(chown(shared.c_str(), other, other), 0);
    EXPECT_EQ(writtenThrough(link), "");
    EXPECT_EQ(readFile(secret), "model text");
    ASSERT_EQ(chown(shared.c_str(), 0, 0), 0);
    ASSERT_EQ(lchown(link.c_str(), 0, 0), 0);
    EXPECT_EQ(writtenThrough(link), "");
    ASSERT_EQ(lchown(link.c_str(), other, other), 0);
    ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
    EXPECT_EQ(writtenThrough(link), "");
    // A chain is checked at every link: the first one may be fine, and the next one planted.
    const std::string chained = openFolder("chained", 0755) + "/out.zem";
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    ASSERT_EQ(symlink(link.c_str(), chained.c_str()), 0);
    EXPECT_EQ(writtenThrough(chained),
              chained + ": a link that another user owns in a folder that anyone may write to: not followed");
}

TEST(OutputFile, whatWouldBeRefusedIsFoundWithoutMakingAFile)
{
    std::string error;
    EXPECT_FALSE(checkOutputPath(tempDir() + "/no/such/out.zem", error));
    EXPECT_EQ(error, tempDir() + "/no/such/out.zem: No such file or directory");
    EXPECT_FALSE(checkOutputPath(tempDir(), error));
    EXPECT_EQ(error, tempDir() + ": Is a directory");
    const std::string file = writeTempFile("not-a-folder", "");
    EXPECT_FALSE(checkOutputPath(file + "/out.zem", error));
    EXPECT_EQ(error, file + "/out.zem: Not a directory");
    EXPECT_TRUE(checkOutputPath("-", error));
    EXPECT_TRUE(checkOutputPath("/dev/null", error));
    EXPECT_TRUE(checkOutputPath(tempDir() + "/new.zem", error)) << error;

    // A folder the process may not write to, as a user whom its permissions bind (root is not).
    const std::string readOnly = openFolder("read-only", 0555), writable = openFolder("writable", 0777);
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        std::string why;
        const bool refused =
            !checkOutputPath(readOnly + "/out.zem", why) && why == readOnly + "/out.zem: Permission denied";
        _exit(refused && checkOutputPath(writable + "/out.zem", why) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(entries(readOnly).empty());
}

TEST(OutputFile, aDanglingLinkGetsTheFileItNames)
{
    std::string error;
    const std::string folder = tempDir() + "/dangling";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    // Relative to the link's own folder, as the system reads it.
    ASSERT_EQ(symlink("made.txt", (folder + "/link.txt").c_str()), 0);
    OutputFile out;
    ASSERT_TRUE(out.open(folder + "/link.txt", error)) << error;
    out.write("new", error);
    ASSERT_TRUE(out.commit(error)) << error;
    struct stat info;
    ASSERT_EQ(lstat((folder + "/link.txt").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(readFile(folder + "/made.txt"), "new");
}

// The owner is kept where the process may give a file away, which here takes root.
TEST(OutputFile, aReplacedFileKeepsItsPermissionsAndOwner)
{
    std::string error;
    const std::string path = writeTempFile("private.txt", "earlier");
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    const bool privileged = geteuid() == 0;
    if (privileged) {
        ASSERT_EQ(chown(path.c_str(), 4321, 8765), 0);
    }
    OutputFile out;
    ASSERT_TRUE(out.open(path, error)) << error;
    out.write("new", error);
    ASSERT_TRUE(out.commit(error)) << error;
    // A companion that is new takes the permissions and owner of the output it goes with.
    OutputFile companion;
    ASSERT_TRUE(companion.open(tempDir() + "/private.mtl", error, path)) << error;
    ASSERT_TRUE(companion.commit(error)) << error;
    for (const std::string& written : {path, tempDir() + "/private.mtl"}) {
        SCOPED_TRACE(written);
        struct stat info;
        ASSERT_EQ(stat(written.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0600u);
        if (!privileged) continue;
        EXPECT_EQ(info.st_uid, 4321u);
        EXPECT_EQ(info.st_gid, 8765u);
    }
    if (!privileged) std::printf("owner and group not checked: giving a file away takes root\n");
}

// A stopping signal while the file is written removes the temporary file, and the process still
// ends by that signal, so that its parent learns why.
TEST(OutputFile, aStoppingSignalRemovesTheTemporaryFile)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        const std::string folder = tempDir() + "/signal-" + std::to_string(signal);
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
        const std::string path = folder + "/kept.txt";
        writeTempFile("signal-" + std::to_string(signal) + "/kept.txt", "earlier");
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        if (child == 0) {
            std::string error;
            OutputFile out;
            const bool opened = out.open(path, error) && out.write("half of the new", error);
            const ssize_t told = write(ready[1], opened ? "y" : "n", 1);
            (void)told;
            for (;;) pause();
        }
        char answer = 0;
        ASSERT_EQ(read(ready[0], &answer, 1), 1);
        close(ready[0]);
        close(ready[1]);
        EXPECT_EQ(answer, 'y');
        kill(child, signal);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
        EXPECT_EQ(entries(folder), std::vector<std::string>{"kept.txt"});
        EXPECT_EQ(readFile(path), "earlier");
    }
}

}  // namespace
