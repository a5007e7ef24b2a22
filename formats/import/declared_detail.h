// What the checks of declared sizes share: the file read in pieces, and the wording of a refusal.
#pragma once

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

    // False with refusal set when path cannot be opened or is not a regular file.
    bool open(const std::string& path, std::string& refusal);
    // Reads a descriptor that stays the caller's (never closed here); false with refusal set when
    // it is not a regular file. The file's folder is then unknown: the files it names are not looked at.
    bool borrow(int fd, std::string& refusal);
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

// count times each, saturated at UINT64_MAX, and a saturating sum.
uint64_t times(uint64_t count, uint64_t each);
uint64_t plus(uint64_t a, uint64_t b);

// Digits read as a count, saturated at UINT64_MAX; false for anything but digits.
bool parseCount(const std::string& word, uint64_t& count);

bool checkPly(const FileBytes& file, std::string& refusal);  // declared_ply.cpp
bool checkOff(const FileBytes& file, std::string& refusal);  // declared_off_stl.cpp
bool checkBinaryStl(const FileBytes& file, std::string& refusal);
bool checkGlb(const FileBytes& file, std::string& refusal);  // declared_gltf.cpp
// mayBeOther: bytes that only start like JSON (a glTF buffer may) pass when they are no JSON; nesting
// too deep still refuses them.
bool checkGltfJson(const FileBytes& file, std::string& refusal, bool mayBeOther = false);
bool checkXml(const FileBytes& file, std::string& refusal);        // declared_xml.cpp
bool checkBinaryFbx(const FileBytes& file, std::string& refusal);  // declared_fbx.cpp
bool checkTextFbx(const FileBytes& file, std::string& refusal);
bool checkZip(const FileBytes& file, std::string& refusal);  // declared_zip.cpp

// XML's nesting counted over text that comes in pieces (a file read in parts, a zip entry inflated).
class XmlNesting {
public:
    // False once the text has nested deeper than kMaxNesting.
    bool feed(const char* text, std::size_t size);

private:
    enum class State { text, open, tag, tagQuoted, comment, cdata, declaration, endTag };
    void step(char c);

    State state_ = State::text;
    std::string lead_;        // what followed "<" while it is not yet known what it opens
    char quote_ = 0;          // the quote a tag's attribute value ends with
    char last_ = 0;           // the tag's byte before the current one
    std::size_t marked_ = 0;  // the end mark's bytes seen so far ("-->", "]]>")
    std::size_t depth_ = 0;
    bool tooDeep_ = false;
};

}  // namespace declared
