// The confined file access of a model's reader: each file asked for by name and read from the descriptor handed over.
#include "formats/import/confined_io.h"

#include <assimp/IOStream.hpp>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

#include <cerrno>
#include <cstring>

#include "base/paths.h"
#include "formats/import/checks/file_names.h"
#include "formats/import/checks/printable_text.h"

namespace {

class DescriptorStream : public Assimp::IOStream {
public:
    DescriptorStream(int fd, std::size_t size) : fd_(fd), size_(size) {}
    ~DescriptorStream() override { close(fd_); }

    std::size_t Read(void* buffer, std::size_t size, std::size_t count) override
    {
        if (size == 0 || count == 0 || count > SIZE_MAX / size) return 0;
        const std::size_t wanted = size * count;
        std::size_t got = 0;
        while (got < wanted) {
            const ssize_t n = pread(fd_, static_cast<char*>(buffer) + got, wanted - got, static_cast<off_t>(at_ + got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        at_ += got;
        return got / size;
    }
    std::size_t Write(const void*, std::size_t, std::size_t) override { return 0; }
    aiReturn Seek(std::size_t offset, aiOrigin origin) override
    {
        const std::size_t base = origin == aiOrigin_CUR ? at_ : origin == aiOrigin_END ? size_ : 0;
        if (offset > SIZE_MAX - base) return aiReturn_FAILURE;
        at_ = base + offset;
        return aiReturn_SUCCESS;
    }
    std::size_t Tell() const override { return at_; }
    std::size_t FileSize() const override { return size_; }
    void Flush() override {}

private:
    int fd_;
    std::size_t size_;
    std::size_t at_ = 0;
};

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

Assimp::IOStream* descriptorStream(int fd)
{
    // The plain fstat call: the C library's asks the system by name, which the child may not.
    struct stat info;
    if (syscall(SYS_fstat, fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return nullptr;
    }
    return new DescriptorStream(fd, static_cast<std::size_t>(info.st_size));
}

ConfinedIOSystem::ConfinedIOSystem(const std::string& modelPath, FileSource files, std::vector<std::string>& notes)
    : modelPath_(modelPath), folderGiven_(folderWithSlash(modelPath)), kind_(kindOfNamedFiles(modelPath)),
      files_(std::move(files)), notes_(notes)
{
}

ConfinedIOSystem::ConfinedIOSystem(const std::string& modelPath, bool allowOutside, std::vector<std::string>& notes)
    : ConfinedIOSystem(modelPath, FileSource(), notes)
{
    own_ = std::make_shared<ModelFiles>(modelPath, allowOutside);
    std::shared_ptr<ModelFiles> files = own_;
    files_ = [files](FileAsk ask, const std::string& name) { return files->answer(ask, name); };
}

bool ConfinedIOSystem::Exists(const char* path) const
{
    // Existence only: whether the reader may open it is Open's to decide, and to note.
    return path && files_(texture_ ? FileAsk::textureExists : FileAsk::exists, path).answer != FileAnswer::absent;
}

std::string ConfinedIOSystem::asWritten(const std::string& path) const
{
    // The name as the model gives it, not with the folder that the reader put before it.
    std::string named = path;
    if (!folderGiven_.empty() && named.compare(0, folderGiven_.size(), folderGiven_) == 0)
        named.erase(0, folderGiven_.size());
    return named;
}

void ConfinedIOSystem::note(const std::string& path, const std::string& why)
{
    const std::string named = asWritten(path);
    if (!noted_.insert(named).second) return;
    notes_.push_back("ignored " + (texture_ || namesPicture(named) ? std::string("texture") : kind_) + " " +
                     printableText(named, 200) + ": " + why);
}

Assimp::IOStream* ConfinedIOSystem::Open(const char* path, const char* mode)
{
    if (!path || !mode || std::strpbrk(mode, "wa+")) return nullptr;
    const HandedFile file = files_(texture_ ? FileAsk::texture : FileAsk::open, path);
    // The model itself was refused before any reader saw it: the answer says why.
    const bool model = path == modelPath_;
    switch (file.answer) {
    case FileAnswer::given:
        // A texture found by another name: which one was taken.
        if (texture_ && !file.why.empty() && noted_.insert(asWritten(path)).second)
            notes_.push_back("texture " + printableText(asWritten(path), 200) + ": using " +
                             printableText(file.why, 200));
        return descriptorStream(file.fd);
    case FileAnswer::absent:  // not there: the reader says so, or goes on without it
        break;
    case FileAnswer::outside:
        note(path, "outside the model's folder");
        break;
    case FileAnswer::notRegular:
        if (!model) note(path, "not a regular file");
        break;
    case FileAnswer::refused:
        if (!model) note(path, printableText(file.why, 200));
        break;
    }
    return nullptr;
}

void ConfinedIOSystem::Close(Assimp::IOStream* stream) { delete stream; }
