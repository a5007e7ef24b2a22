// What every check of declared sizes uses: a file read by offset and by line, words, counts, sizes and refusals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace declared {

// A regular file opened for reading, read by offset; never waited on (a FIFO is refused).
class FileBytes {
public:
    FileBytes() = default;
    ~FileBytes();
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    // False with error set when path cannot be opened or is not a regular file.
    bool open(const std::string& path, std::string& error);
    // Reads a descriptor that stays the caller's (never closed here); false with error set when
    // it is not a regular file. The file's folder is then unknown: the files it names are not looked at.
    bool borrow(int fd, std::string& error);
    uint64_t size() const { return size_; }
    const std::string& path() const { return path_; }
    // Up to count bytes from offset; fewer at the end of the file or on a read error.
    std::string read(uint64_t offset, std::size_t count) const;

private:
    int fd_ = -1;
    bool owned_ = false;
    uint64_t size_ = 0;
    std::string path_;
};

// A text file's lines, read in pieces: ended by "\n", "\r\n" or "\r", as text readers take them.
class LineReader {
public:
    explicit LineReader(const FileBytes& file) : file_(file) {}
    // The next line without its end; false at the end of the file.
    bool next(std::string& line);
    // Where the next line starts: the bytes read so far, line ends included.
    uint64_t offset() const { return consumed_; }

private:
    void more();

    const FileBytes& file_;
    std::string pending_;  // read but not yet returned, from at_
    std::size_t at_ = 0;
    std::size_t scanned_ = 0;  // pending_ holds no line end before this
    uint64_t readOffset_ = 0;
    uint64_t consumed_ = 0;
    bool exhausted_ = false;
};

// The words of a line, split at spaces and tabs.
std::vector<std::string> wordsOf(const std::string& line);

// A count of things a file declares: "500000000 vertices", "1 face".
struct Declared {
    uint64_t count;
    std::string one;   // printable
    std::string many;  // printable
};

// "declares 500000000 vertices, more than its 226 bytes can hold"; several as "10 vertices and
// 500 faces".
std::string tooManyFor(const std::vector<Declared>& declared, uint64_t fileBytes);

// Products and sums of declared sizes, saturated at UINT64_MAX: no count a file declares can wrap
// them round to a small size that passes.
uint64_t saturatingProduct(uint64_t count, uint64_t each);
uint64_t saturatingSum(uint64_t a, uint64_t b);

// Digits read as a count, saturated at UINT64_MAX; false for anything but digits.
bool parseCount(const std::string& word, uint64_t& count);

}  // namespace declared
