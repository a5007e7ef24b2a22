// Shape::load: reading a model file in bounded pieces, then parsing it and computing its normals.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "model/allocate.h"
#include "model/console.h"
#include "model/shape.h"

// Constructed empty before main runs; its arrays are released at normal process end.
Shape gShape;

namespace {

constexpr const char* kOpenFailure = "error: file could not be opened for reading\n";

// The most one read asks for. A signal (a time limit's alarm) is handled between two reads, and a
// read of a few megabytes ends within milliseconds whatever the file.
constexpr std::size_t kReadPiece = std::size_t(4) << 20;

struct FileText {
    Array<char> bytes;  // the text and a zero byte after it
    std::size_t size = 0;
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The length that seeking found, or -1 when seeking cannot tell it.
long seekLength(std::FILE* f)
{
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
    const long length = std::ftell(f);
    if (length < 0 || std::fseek(f, 0, SEEK_SET) != 0) return -1;
    return length;
}

void reportTooLarge(std::size_t limit)
{
    char line[120];
    if (limit < (1 << 20))
        std::snprintf(line, sizeof line, "error: the model file is larger than the limit of %zu bytes", limit);
    else
        std::snprintf(line, sizeof line, "error: the model file is larger than the limit of %.0f MB",
                      static_cast<double>(limit) / (1 << 20));
    reportError(line);
}

// How reading into a buffer stopped.
enum class ReadEnd { full, zeroByte, endOfFile, error };

// Reads into bytes[size, capacity) piece by piece until the buffer is full, a piece holds a zero
// byte (where the text ends anyway, so a sparse file's hole ends it at once), or the file ends.
ReadEnd readPieces(std::FILE* f, char* bytes, std::size_t capacity, std::size_t& size)
{
    while (size < capacity) {
        const std::size_t want = capacity - size < kReadPiece ? capacity - size : kReadPiece;
        const std::size_t got = std::fread(bytes + size, 1, want, f);
        const bool zero = std::memchr(bytes + size, 0, got) != nullptr;
        size += got;
        if (zero) return ReadEnd::zeroByte;
        if (got < want) return std::ferror(f) ? ReadEnd::error : ReadEnd::endOfFile;
    }
    return ReadEnd::full;
}

// A regular file: a buffer of the length that seeking found, filled in pieces.
bool readWhole(std::FILE* f, std::size_t length, FileText& text)
{
    char what[80];
    std::snprintf(what, sizeof what, "the model file's %zu bytes", length);
    text.bytes = allocateArray<char>(length + 1, what);
    if (!text.bytes) return false;
    std::size_t got = 0;
    const ReadEnd end = readPieces(f, text.bytes.get(), length, got);
    if (end == ReadEnd::error || end == ReadEnd::endOfFile) {
        char line[120];
        std::snprintf(line, sizeof line, "error: expected %zu bytes but read %zu", length, got);
        reportError(line);
        return false;
    }
    text.bytes[got] = '\0';
    text.size = got;
    return true;
}

// Doubles the buffer, to at most limit + 1 bytes of text. False after one message.
bool grow(FileText& text, std::size_t size, std::size_t& capacity, std::size_t limit)
{
    const std::size_t larger = capacity * 2 < limit + 1 ? capacity * 2 : limit + 1;
    Array<char> bytes = tryAllocateArray<char>(larger + 1);
    if (!bytes) {
        char what[80];
        std::snprintf(what, sizeof what, "the model's text beyond %zu MB", capacity >> 20);
        reportOutOfMemory(what, static_cast<double>(larger));
        return false;
    }
    std::memcpy(bytes.get(), text.bytes.get(), size);
    text.bytes = std::move(bytes);
    capacity = larger;
    return true;
}

// A pipe or device has no length: read it to its end in growing pieces. The text ends at its
// first zero byte, so reading stops there too (an endless source of zeros ends at once); more
// than limit bytes without one are refused.
bool readStream(std::FILE* f, std::size_t limit, FileText& text)
{
    std::size_t capacity = limit < (1 << 16) ? limit + 1 : 1 << 16;
    std::size_t size = 0;
    text.bytes = allocateArray<char>(capacity + 1, "the model's first 64 KB");
    if (!text.bytes) return false;
    for (;;) {
        const ReadEnd end = readPieces(f, text.bytes.get(), capacity, size);
        if (end == ReadEnd::error) {
            reportError(kOpenFailure);
            return false;
        }
        if (end != ReadEnd::full) break;
        if (size > limit) {
            reportTooLarge(limit);
            return false;
        }
        if (!grow(text, size, capacity, limit)) return false;
    }
    text.bytes[size] = '\0';
    text.size = size;
    return true;
}

bool readFile(const char* fileName, std::size_t limit, FileText& text)
{
    File f(std::fopen(fileName, "rb"));
    struct stat info;
    if (!f || fstat(fileno(f.get()), &info) != 0 || S_ISDIR(info.st_mode)) {
        reportError(kOpenFailure);
        return false;
    }
    // Many files under /proc and /sys are regular yet seek to a length of 0 whatever they hold:
    // like a pipe, they are read to their end.
    const long length = S_ISREG(info.st_mode) ? seekLength(f.get()) : -1;
    if (length <= 0) return readStream(f.get(), limit, text);
    // Refused before anything of that size is allocated.
    if (static_cast<unsigned long>(length) > limit) {
        reportTooLarge(limit);
        return false;
    }
    return readWhole(f.get(), static_cast<std::size_t>(length), text);
}

}  // namespace

bool Shape::load(const char* fileName, std::size_t maxBytes)
{
    // No file comes near a quarter of the address space; the bound keeps the buffer's sums exact.
    const std::size_t limit = maxBytes < SIZE_MAX / 4 ? maxBytes : SIZE_MAX / 4;
    FileText text;
    if (!readFile(fileName, limit, text)) return false;
    const bool parsed = parse(text.bytes.get(), text.bytes.get() + text.size);
    text.bytes.reset();
    // The normals of a text that did not parse are never used, and its arrays may be missing.
    return parsed && computeNormals();
}
