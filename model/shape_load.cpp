// Shape::load: reading a model file whole, then parsing it and computing its normals.
#include <sys/stat.h>

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

struct FileText {
    Array<char> bytes;  // the text and a zero byte after it
    std::size_t size = 0;
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A regular file: one read of the length that seeking found, into a buffer of just that size.
// -1 when seeking cannot tell the length.
long seekLength(std::FILE* f)
{
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
    const long length = std::ftell(f);
    if (length < 0 || std::fseek(f, 0, SEEK_SET) != 0) return -1;
    return length;
}

bool readWhole(std::FILE* f, std::size_t length, FileText& text)
{
    char what[80];
    std::snprintf(what, sizeof what, "the model file's %zu bytes", length);
    text.bytes = allocateArray<char>(length + 1, what);
    if (!text.bytes) return false;
    const std::size_t got = std::fread(text.bytes.get(), 1, length, f);
    if (got < length) {
        char line[120];
        std::snprintf(line, sizeof line, "error: expected %zu bytes but read %zu", length, got);
        reportError(line);
        return false;
    }
    text.bytes[length] = '\0';
    text.size = length;
    return true;
}

// A pipe or device has no length: read it to its end in growing pieces. The text ends at its
// first zero byte, so reading stops there too (an endless source of zeros ends at once).
bool readStream(std::FILE* f, FileText& text)
{
    std::size_t capacity = 1 << 16;
    std::size_t size = 0;
    text.bytes = allocateArray<char>(capacity + 1, "the model's first 64 KB");
    if (!text.bytes) return false;
    for (;;) {
        char* free = text.bytes.get() + size;
        const std::size_t got = std::fread(free, 1, capacity - size, f);
        size += got;
        if (got == 0 || std::memchr(free, 0, got) != nullptr) break;
        if (size == capacity) {
            Array<char> larger = tryAllocateArray<char>(capacity * 2 + 1);
            if (!larger) {
                char what[80];
                std::snprintf(what, sizeof what, "the model's text beyond %zu MB", capacity >> 20);
                reportOutOfMemory(what, static_cast<double>(capacity) * 2);
                return false;
            }
            std::memcpy(larger.get(), text.bytes.get(), size);
            text.bytes = std::move(larger);
            capacity *= 2;
        }
    }
    if (std::ferror(f)) {
        reportError(kOpenFailure);
        return false;
    }
    text.bytes[size] = '\0';
    text.size = size;
    return true;
}

}  // namespace

bool Shape::load(const char* fileName)
{
    FileText text;
    {
        File f(std::fopen(fileName, "rb"));
        struct stat info;
        if (!f || fstat(fileno(f.get()), &info) != 0 || S_ISDIR(info.st_mode)) {
            reportError(kOpenFailure);
            return false;
        }
        // Many files under /proc and /sys are regular yet seek to a length of 0 whatever they
        // hold: like a pipe, they are read to their end.
        const long length = S_ISREG(info.st_mode) ? seekLength(f.get()) : -1;
        const bool read =
            length > 0 ? readWhole(f.get(), static_cast<std::size_t>(length), text) : readStream(f.get(), text);
        if (!read) return false;
    }
    const bool parsed = parse(text.bytes.get(), text.bytes.get() + text.size);
    text.bytes.reset();
    // The normals of a text that did not parse are never used, and its arrays may be missing.
    return parsed && computeNormals();
}
