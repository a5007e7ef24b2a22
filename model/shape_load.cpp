// Shape::load: reading a model file whole, then parsing it and computing its normals.
#include <sys/mman.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "console.h"
#include "shape.h"

// Constructed empty before main runs; its arrays are released at normal process end.
Shape gShape;

namespace {

constexpr const char* kOpenFailure = "error: file could not be opened for reading\n";

// The model text. A large one gets a mapping of its own with huge pages asked for: on a model of
// hundreds of megabytes, faulting in 4 KiB pages one by one costs more than parsing them, while
// for a small one a mapping costs more than it saves.
class TextBuffer {
public:
    TextBuffer() = default;
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;
    ~TextBuffer() { release(); }

    // Room for capacity bytes; the old contents are gone. False after an out-of-memory message.
    bool allocate(std::size_t capacity)
    {
        release();
        mapped_ = capacity >= kMappedFrom;
        if (mapped_) {
            void* mapping = mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (mapping != MAP_FAILED) {
                madvise(mapping, capacity, MADV_HUGEPAGE);
                bytes_ = static_cast<char*>(mapping);
            }
        } else {
            bytes_ = static_cast<char*>(std::malloc(capacity));
        }
        if (!bytes_) {
            char line[160];
            std::snprintf(line, sizeof line, "error: out of memory: %zu bytes for the model text could not be allocated", capacity);
            reportError(line);
            return false;
        }
        capacity_ = capacity;
        return true;
    }

    void swap(TextBuffer& other)
    {
        std::swap(bytes_, other.bytes_);
        std::swap(capacity_, other.capacity_);
        std::swap(mapped_, other.mapped_);
    }

    void release()
    {
        if (bytes_ && mapped_) munmap(bytes_, capacity_);
        if (bytes_ && !mapped_) std::free(bytes_);
        bytes_ = nullptr;
        capacity_ = 0;
    }

    char* data() const { return bytes_; }

private:
    static constexpr std::size_t kMappedFrom = std::size_t(32) << 20;
    char* bytes_ = nullptr;
    std::size_t capacity_ = 0;
    bool mapped_ = false;
};

struct FileText {
    TextBuffer bytes;
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
    if (!text.bytes.allocate(length + 1)) return false;
    const std::size_t got = std::fread(text.bytes.data(), 1, length, f);
    if (got < length) {
        char line[120];
        std::snprintf(line, sizeof line, "error: expected %zu bytes but read %zu", length, got);
        reportError(line);
        return false;
    }
    text.bytes.data()[length] = '\0';
    text.size = length;
    return true;
}

// A pipe or device has no length: read it to its end in growing pieces. The text ends at its
// first zero byte, so reading stops there too (an endless source of zeros ends at once).
bool readStream(std::FILE* f, FileText& text)
{
    std::size_t capacity = 1 << 16;
    std::size_t size = 0;
    if (!text.bytes.allocate(capacity + 1)) return false;
    for (;;) {
        char* free = text.bytes.data() + size;
        const std::size_t got = std::fread(free, 1, capacity - size, f);
        size += got;
        if (got == 0 || std::memchr(free, 0, got) != nullptr) break;
        if (size == capacity) {
            TextBuffer larger;
            if (!larger.allocate(capacity * 2 + 1)) return false;
            std::memcpy(larger.data(), text.bytes.data(), size);
            text.bytes.swap(larger);
            capacity *= 2;
        }
    }
    if (std::ferror(f)) {
        reportError(kOpenFailure);
        return false;
    }
    text.bytes.data()[size] = '\0';
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
    const bool parsed = parse(text.bytes.data(), text.bytes.data() + text.size);
    text.bytes.release();
    // The normals of a text that did not parse are never used, and its arrays may be missing.
    return parsed && computeNormals();
}
