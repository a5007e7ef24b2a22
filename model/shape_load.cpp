// Shape::load: reading a model file whole, then parsing it and computing its normals.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "allocate.h"
#include "console.h"
#include "shape.h"

namespace {

constexpr const char* kOpenFailure = "error: file could not be opened for reading\n";

struct FileText {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A regular file: one read of the length that seeking found, as model files have always been read.
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
    text.bytes = allocateArray<char>(length + 1, "model text");
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
    std::unique_ptr<char[]> bytes = allocateArray<char>(capacity + 1, "model text");
    if (!bytes) return false;
    for (;;) {
        const std::size_t got = std::fread(bytes.get() + size, 1, capacity - size, f);
        const bool zero = std::memchr(bytes.get() + size, 0, got) != nullptr;
        size += got;
        if (zero || got == 0) break;
        if (size == capacity) {
            std::unique_ptr<char[]> larger = allocateArray<char>(capacity * 2 + 1, "model text");
            if (!larger) return false;
            std::memcpy(larger.get(), bytes.get(), size);
            bytes = std::move(larger);
            capacity *= 2;
        }
    }
    if (std::ferror(f)) {
        reportError(kOpenFailure);
        return false;
    }
    bytes[size] = '\0';
    text.bytes = std::move(bytes);
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
        const long length = S_ISREG(info.st_mode) ? seekLength(f.get()) : -1;
        const bool read = length >= 0 ? readWhole(f.get(), static_cast<std::size_t>(length), text) : readStream(f.get(), text);
        if (!read) return false;
    }
    const bool parsed = parse(text.bytes.get(), text.bytes.get() + text.size);
    text.bytes.reset();
    // The normals of a text that did not parse are never used, and its arrays may be missing.
    return parsed && computeNormals();
}
