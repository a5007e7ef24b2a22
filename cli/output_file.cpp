// OutputFile: a temporary file beside the target, synced and renamed at the end, removed on failure.
#include "cli/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

OutputFile::~OutputFile() { discard(); }

bool OutputFile::fail(const std::string& what, int code, std::string& error)
{
    error = what + ": " + std::strerror(code);
    discard();
    return false;
}

void OutputFile::discard()
{
    if (stream_ && stream_ != stdout) std::fclose(stream_);
    stream_ = nullptr;
    if (!temporary_.empty()) unlink(temporary_.c_str());
    temporary_.clear();
}

bool OutputFile::open(const std::string& path, std::string& error)
{
    path_ = path;
    if (path == "-") {
        stream_ = stdout;
        return true;
    }
    // A folder given as the output would otherwise only fail at the rename, after all the work.
    struct stat info;
    const bool exists = stat(path.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) return fail(path, EISDIR, error);
    // A device or a pipe, such as /dev/null, is written as it is: a rename would replace it.
    if (exists && !S_ISREG(info.st_mode)) {
        stream_ = std::fopen(path.c_str(), "wb");
        return stream_ ? true : fail(path, errno, error);
    }
    // A link keeps pointing where it did: the file it names is the one replaced.
    std::string target = path;
    struct stat link;
    if (lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char* resolved = realpath(path.c_str(), nullptr);
        if (resolved) {
            target = resolved;
            std::free(resolved);
        }
    }
    target_ = target;
    // Hidden and unique beside the target, so that the rename stays within one file system.
    std::string name = target;
    const std::size_t slash = name.rfind('/');
    name.insert(slash == std::string::npos ? 0 : slash + 1, ".");
    name += ".XXXXXX";
    const int fd = mkstemp(&name[0]);
    if (fd < 0) return fail(path, errno, error);
    temporary_ = name;
    // mkstemp makes the file private; the result gets the permissions a new file usually has.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    stream_ = fdopen(fd, "wb");
    if (!stream_) {
        const int code = errno;
        close(fd);
        return fail(path, code, error);
    }
    return true;
}

bool OutputFile::write(const void* data, std::size_t size, std::string& error)
{
    if (!stream_) return false;
    if (size == 0 || std::fwrite(data, 1, size, stream_) == size) return true;
    return fail(path_, errno ? errno : EIO, error);
}

bool OutputFile::commit(std::string& error)
{
    if (!stream_) return false;
    if (stream_ == stdout) {
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) return fail("standard output", errno ? errno : EIO, error);
        stream_ = nullptr;
        return true;
    }
    if (temporary_.empty()) {  // a device or a pipe, written directly
        errno = 0;
        const bool flushed = std::fflush(stream_) == 0 && !std::ferror(stream_);
        const int flushError = errno ? errno : EIO;
        const bool closed = std::fclose(stream_) == 0;
        const int closeError = errno ? errno : EIO;
        stream_ = nullptr;
        if (!flushed) return fail(path_, flushError, error);
        return closed ? true : fail(path_, closeError, error);
    }
    if (std::fflush(stream_) != 0 || std::ferror(stream_)) return fail(path_, errno ? errno : EIO, error);
    if (fsync(fileno(stream_)) != 0) return fail(path_, errno, error);
    const int closed = std::fclose(stream_);
    stream_ = nullptr;
    if (closed != 0) return fail(path_, errno, error);
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) return fail(path_, errno, error);
    temporary_.clear();
    return true;
}
