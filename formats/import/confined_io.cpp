// The confined file access of a model's reader: real paths compared with the model's folder, files opened without
// waiting.
#include "formats/import/confined_io.h"

#include <assimp/IOStream.hpp>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "formats/import/file_names.h"
#include "formats/import/printable_text.h"

namespace {

// A regular file already open, read with the C library's buffering.
class FileStream : public Assimp::IOStream {
public:
    FileStream(std::FILE* file, std::size_t size) : file_(file), size_(size) {}
    ~FileStream() override { std::fclose(file_); }

    std::size_t Read(void* buffer, std::size_t size, std::size_t count) override
    {
        return size == 0 || count == 0 ? 0 : std::fread(buffer, size, count, file_);
    }
    std::size_t Write(const void*, std::size_t, std::size_t) override { return 0; }
    aiReturn Seek(std::size_t offset, aiOrigin origin) override
    {
        const int whence = origin == aiOrigin_CUR ? SEEK_CUR : origin == aiOrigin_END ? SEEK_END : SEEK_SET;
        return fseeko(file_, static_cast<off_t>(offset), whence) == 0 ? aiReturn_SUCCESS : aiReturn_FAILURE;
    }
    std::size_t Tell() const override
    {
        const off_t at = ftello(file_);
        return at < 0 ? 0 : static_cast<std::size_t>(at);
    }
    std::size_t FileSize() const override { return size_; }
    void Flush() override {}

private:
    std::FILE* file_;
    std::size_t size_;
};

std::string realPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// What the files a model names are for, as its format uses them.
std::string kindOfNamedFiles(const std::string& modelPath)
{
    const std::string extension = lowerExtension(modelPath);
    if (extension == "obj") return "material file";
    if (extension == "gltf" || extension == "glb") return "buffer file";
    return "file";
}

// A picture is a texture to the user, whichever format named it.
bool namesPicture(const std::string& path)
{
    const std::string extension = lowerExtension(path);
    for (const char* picture : {"png", "jpg", "jpeg", "tga", "bmp", "gif", "psd", "hdr", "ktx", "ktx2", "dds", "webp"})
        if (extension == picture) return true;
    return false;
}

}  // namespace

ConfinedIOSystem::ConfinedIOSystem(const std::string& modelPath, bool allowOutside, std::vector<std::string>& notes)
    : modelPath_(modelPath), modelResolved_(realPath(modelPath)), folderGiven_(folderOf(modelPath)),
      folder_(realPath(folderGiven_.empty() ? "." : folderGiven_)), kind_(kindOfNamedFiles(modelPath)),
      allowOutside_(allowOutside), notes_(notes)
{
}

std::string ConfinedIOSystem::intended(const std::string& path) const
{
    // A reader may put the model's folder before a name that is already absolute; what the model
    // asks for is then that name, and the rules apply to it.
    struct stat info;
    if (folderGiven_.empty() || path.size() <= folderGiven_.size() || stat(path.c_str(), &info) == 0 ||
        path.compare(0, folderGiven_.size(), folderGiven_) != 0 || path[folderGiven_.size()] != '/')
        return path;
    return path.substr(folderGiven_.size());
}

bool ConfinedIOSystem::Exists(const char* path) const
{
    // Existence only: whether the reader may open it is Open's to decide, and to note.
    struct stat info;
    return path && stat(intended(path).c_str(), &info) == 0;
}

bool ConfinedIOSystem::inside(const std::string& resolved) const
{
    if (folder_.empty()) return false;
    const std::string prefix = folder_ == "/" ? folder_ : folder_ + "/";
    return resolved.compare(0, prefix.size(), prefix) == 0;
}

void ConfinedIOSystem::note(const std::string& path, const char* why)
{
    // The name as the model gives it, not with the folder that the reader put before it.
    std::string named = path;
    if (!folderGiven_.empty() && named.compare(0, folderGiven_.size(), folderGiven_) == 0)
        named.erase(0, folderGiven_.size());
    if (!noted_.insert(named).second) return;
    notes_.push_back("ignored " + (namesPicture(named) ? std::string("texture") : kind_) + " " +
                     printableText(named, 200) + ": " + why);
}

Assimp::IOStream* ConfinedIOSystem::Open(const char* path, const char* mode)
{
    if (!path || !mode || std::strpbrk(mode, "wa+")) return nullptr;
    const std::string given = intended(path);
    const std::string resolved = realPath(given);
    if (resolved.empty()) return nullptr;  // not there: the reader says so, or goes on without it
    const bool model = given == modelPath_ || resolved == modelResolved_;
    if (!model && !allowOutside_ && !inside(resolved)) {
        note(given, "outside the model's folder");
        return nullptr;
    }
    // Without blocking, so that a FIFO is looked at rather than waited on.
    const int fd = open(resolved.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat info;
    if (fd < 0) return nullptr;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        // The model itself has been refused before any reader saw it (declared_sizes.h).
        if (!model) note(given, "not a regular file");
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "rb");
    if (!file) {
        close(fd);
        return nullptr;
    }
    return new FileStream(file, static_cast<std::size_t>(info.st_size));
}

void ConfinedIOSystem::Close(Assimp::IOStream* stream) { delete stream; }
