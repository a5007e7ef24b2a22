// OutputFile: all-or-nothing output for the companion tools, a temporary file beside the target
// renamed over it once everything is written; standard output for "-", and a device or a pipe
// written as it is.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdio>
#include <string>

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();  // a file never committed is removed, and the target is left as it was

    // Creates the temporary file beside path's target (or takes standard output for "-"). The
    // target is path, or the file a symbolic link at path names, even one that does not exist yet;
    // a link is followed only as the kernel's protected_symlinks would follow it: not when another
    // user owns it in a sticky folder that anyone may write to, unless that user owns the folder.
    // The new file gets the permission bits, owner and group of the file it replaces (owner and
    // group where the process may set them); where there is none, those of likePath's file when
    // likePath is given and names one (a companion takes its output's), else a new file's usual
    // ones. A pipe must have a reader already. False with error saying why, in the form
    // "path: reason", as every failure of this class words it.
    bool open(const std::string& path, std::string& error, const std::string& likePath = std::string());

    std::FILE* stream() const { return stream_; }
    bool write(const void* data, std::size_t size, std::string& error);
    bool write(const std::string& text, std::string& error) { return write(text.data(), text.size(), error); }

    // Flushes, syncs and renames the temporary file over the target. False with error saying why;
    // the temporary file is then removed and the target is unchanged.
    bool commit(std::string& error);

    const std::string& path() const { return path_; }

private:
    bool fail(const std::string& what, int code, std::string& error);
    bool openDirectly(const std::string& target, bool pipe, std::string& error);
    bool openTemporary(const std::string& target, const struct stat* like, std::string& error);
    bool commitDirectly(std::string& error);
    void discard();

    std::FILE* stream_ = nullptr;
    std::string path_;
    std::string target_;     // the file replaced: path, or the file a link at path names
    std::string temporary_;  // empty for standard output, a device or a pipe
};

// False, with error "output: the output would overwrite the input", when output names the file that
// input names (the same device and inode, after links). An input of "-" is standard input; an
// output of "-" is never refused. Called before any work, so that a refused run does none.
bool refuseInputAsOutput(const std::string& input, const std::string& output, std::string& error);

// What open would refuse before anything is written, found without making a file: a link that is
// not followed, a folder, a folder that is missing or that the process may not write to. True for
// "-", a device or a pipe. For the tools to call before long work, so that it is not done for
// nothing; error as open words it.
bool checkOutputPath(const std::string& path, std::string& error);
