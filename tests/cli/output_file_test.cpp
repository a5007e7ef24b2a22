// OutputFile tests: all or nothing for files, and pipes, devices and links left as they are.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "cli/output_file.h"
#include "tests/support/test_support.h"

namespace {

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

}  // namespace
