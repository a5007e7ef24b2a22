// OutputFile: a temporary file beside the target, synced and renamed at the end, removed on failure
// or on a stopping signal; and the check that an output is not the input.
#include "cli/output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/paths.h"
#include "cli/temporary_files.h"

namespace {

// The rule of the kernel's protected_symlinks, which some systems leave off: a link in a sticky
// folder that anyone may write to (/tmp) is followed only when it is the caller's, or the folder's
// owner's. Another user could have planted it to make the caller write where that user cannot.
bool mayFollow(const std::string& link, const struct stat& linkInfo)
{
    if (linkInfo.st_uid == geteuid()) return true;
    struct stat folder;
    if (stat(folderOf(link).c_str(), &folder) != 0) return false;
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return !shared || folder.st_uid == linkInfo.st_uid;
}

// The file at the end of a chain of symbolic links at path, whether or not it exists: the file a
// dangling link names is created where the link points. False with error set on a loop, a link
// that cannot be read, or one that mayFollow does not follow.
bool followLinks(const std::string& path, std::string& target, std::string& error)
{
    target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info;
        if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
        if (!mayFollow(target, info)) {
            error = path + ": a link that another user owns in a folder that anyone may write to: not followed";
            return false;
        }
        std::string link(PATH_MAX, '\0');
        const ssize_t length = readlink(target.c_str(), &link[0], link.size());
        if (length < 0 || static_cast<std::size_t>(length) >= link.size()) {
            error = path + ": " + std::strerror(length < 0 ? errno : ENAMETOOLONG);
            return false;
        }
        link.resize(static_cast<std::size_t>(length));
        target = link[0] == '/' ? link : folderWithSlash(target) + link;
    }
    error = path + ": " + std::strerror(ELOOP);
    return false;
}

// The replaced file's owner, group and permission bits, set on the file that replaces it. mkstemp
// makes the file private and the process's own, so a file with nothing to follow gets the
// permissions a new file usually has.
bool takeAttributes(int fd, const struct stat* like)
{
    if (!like) {
        const mode_t mask = umask(0);
        umask(mask);
        return fchmod(fd, 0666 & ~mask) == 0;
    }
    // Only a privileged process may give a file away; a member of the group may still keep that.
    if (fchown(fd, like->st_uid, like->st_gid) != 0) {
        if (errno != EPERM) return false;
        if (fchown(fd, static_cast<uid_t>(-1), like->st_gid) != 0 && errno != EPERM) return false;
    }
    // After the owner: a change of owner clears the set-user-ID bit, which is not kept anyway.
    return fchmod(fd, like->st_mode & 0777) == 0;
}

}  // namespace

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
    if (!temporary_.empty()) removeTemporaryFile(temporary_);
    temporary_.clear();
}

bool OutputFile::open(const std::string& path, std::string& error, const std::string& likePath)
{
    path_ = path;
    if (path == "-") {
        stream_ = stdout;
        return true;
    }
    if (!followLinks(path, target_, error)) {
        discard();
        return false;
    }
    struct stat info;
    if (stat(target_.c_str(), &info) == 0) {
        // A folder would otherwise only fail at the rename, after all the work.
        if (S_ISDIR(info.st_mode)) return fail(path, EISDIR, error);
        // A device or a pipe, such as /dev/null, is written as it is: a rename would replace it.
        if (!S_ISREG(info.st_mode)) return openDirectly(target_, S_ISFIFO(info.st_mode), error);
        return openTemporary(target_, &info, error);
    }
    if (errno != ENOENT) return fail(path, errno, error);
    struct stat like;
    const bool liked = !likePath.empty() && stat(likePath.c_str(), &like) == 0 && S_ISREG(like.st_mode);
    return openTemporary(target_, liked ? &like : nullptr, error);
}

bool OutputFile::openDirectly(const std::string& target, bool pipe, std::string& error)
{
    // Opening a pipe that no process reads would wait for a reader forever: it fails at once.
    const int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | (pipe ? O_NONBLOCK : 0));
    if (fd < 0 && pipe && errno == ENXIO) {
        error = path_ + ": no process reads the pipe";
        return false;
    }
    if (fd < 0) return fail(path_, errno, error);
    // Writes wait for a slow reader, as on any pipe.
    if (pipe) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    stream_ = fdopen(fd, "wb");
    if (stream_) return true;
    const int code = errno;
    close(fd);
    return fail(path_, code, error);
}

bool OutputFile::openTemporary(const std::string& target, const struct stat* like, std::string& error)
{
    // Hidden and unique beside the target, so that the rename stays within one file system.
    std::string name = folderWithSlash(target) + "." + lastName(target) + ".XXXXXX";
    const int fd = makeTemporaryFile(name);
    if (fd < 0) return fail(path_, errno, error);
    temporary_ = name;
    if (takeAttributes(fd, like)) stream_ = fdopen(fd, "wb");
    if (stream_) return true;
    const int code = errno;
    close(fd);
    return fail(path_, code, error);
}

bool OutputFile::write(const void* data, std::size_t size, std::string& error)
{
    if (!stream_) return false;
    if (size == 0 || std::fwrite(data, 1, size, stream_) == size) return true;
    return fail(path_, errno ? errno : EIO, error);
}

bool OutputFile::commitDirectly(std::string& error)
{
    errno = 0;
    const bool flushed = std::fflush(stream_) == 0 && !std::ferror(stream_);
    const int flushError = errno ? errno : EIO;
    const bool closed = std::fclose(stream_) == 0;
    const int closeError = errno ? errno : EIO;
    stream_ = nullptr;
    if (!flushed) return fail(path_, flushError, error);
    return closed ? true : fail(path_, closeError, error);
}

bool OutputFile::commit(std::string& error)
{
    if (!stream_) return false;
    if (stream_ == stdout) {
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) return fail("standard output", errno ? errno : EIO, error);
        stream_ = nullptr;
        return true;
    }
    if (temporary_.empty()) return commitDirectly(error);
    if (std::fflush(stream_) != 0 || std::ferror(stream_)) return fail(path_, errno ? errno : EIO, error);
    if (fsync(fileno(stream_)) != 0) return fail(path_, errno, error);
    const int closed = std::fclose(stream_);
    stream_ = nullptr;
    if (closed != 0) return fail(path_, errno, error);
    if (!renameTemporaryFile(temporary_, target_)) return fail(path_, errno, error);
    temporary_.clear();
    return true;
}

bool refuseInputAsOutput(const std::string& input, const std::string& output, std::string& error)
{
    if (output == "-") return true;
    struct stat in, out;
    const bool inputFound = input == "-" ? fstat(STDIN_FILENO, &in) == 0 : stat(input.c_str(), &in) == 0;
    // Only a regular file can be lost: writing into a device or a pipe that is also read is the
    // user's own plumbing.
    if (!inputFound || stat(output.c_str(), &out) != 0 || !S_ISREG(out.st_mode)) return true;
    if (in.st_dev != out.st_dev || in.st_ino != out.st_ino) return true;
    error = output + ": the output would overwrite the input";
    return false;
}

bool checkOutputPath(const std::string& path, std::string& error)
{
    if (path == "-") return true;
    std::string target;
    if (!followLinks(path, target, error)) return false;
    struct stat info;
    if (stat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = path + ": " + std::strerror(EISDIR);
        return false;
    }
    // A device or a pipe is written as it is; a file is made beside the target, in its folder.
    if (stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return true;
    const std::string folder = folderOf(target);
    struct stat folderInfo;
    int code = 0;
    if (stat(folder.c_str(), &folderInfo) != 0)
        code = errno;
    else if (!S_ISDIR(folderInfo.st_mode))
        code = ENOTDIR;
    else if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        code = errno;
    if (code == 0) return true;
    error = path + ": " + std::strerror(code);
    return false;
}
