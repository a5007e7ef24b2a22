// OutputFile: all-or-nothing output for the companion tools, a temporary file beside the target
// renamed over it once everything is written; standard output for "-", and a device or a pipe
// written as it is.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();  // a file never committed is removed, and the target is left as it was

    // Creates the temporary file beside path (or takes standard output for "-"). False with error
    // saying why, in the form "path: reason", as every failure of this class words it.
    bool open(const std::string& path, std::string& error);

    std::FILE* stream() const { return stream_; }
    bool write(const void* data, std::size_t size, std::string& error);
    bool write(const std::string& text, std::string& error) { return write(text.data(), text.size(), error); }

    // Flushes, syncs and renames the temporary file over the target. False with error saying why;
    // the temporary file is then removed and the target is unchanged.
    bool commit(std::string& error);

    const std::string& path() const { return path_; }

private:
    bool fail(const std::string& what, int code, std::string& error);
    void discard();

    std::FILE* stream_ = nullptr;
    std::string path_;
    std::string target_;     // the file replaced: path, or the file a link at path names
    std::string temporary_;  // empty for standard output, a device or a pipe
};
