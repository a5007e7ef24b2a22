// The model's files for the confined reader: opened beneath the model's folder by the parent, asked for by the child.
#include "formats/import/file_broker.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/paths.h"
#include "formats/import/checks/declared_sizes.h"

namespace {

constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;  // a FIFO is looked at, not waited on

std::string realPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// Opens name beneath the folder, in one step: -1 with errno (EXDEV when the name leads out of it).
int openBeneath(int folder, const std::string& name, int flags = kOpenFlags)
{
    open_how how{};
    how.flags = static_cast<uint64_t>(flags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    long fd;
    do fd = syscall(SYS_openat2, folder, name.c_str(), &how, sizeof how);
    while (fd < 0 && errno == EINTR);
    return static_cast<int>(fd);
}

// Alike but for the case of ASCII letters: a name's other bytes are matched as they are.
bool sameLetters(const std::string& a, const char* b)
{
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return i == a.size() && !b[i];
}

// A name's parts between separators, without empty ones and ".".
std::vector<std::string> partsOf(const std::string& name, const char* separators)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of(separators, start);
        if (end == std::string::npos) end = name.size();
        const std::string part = name.substr(start, end - start);
        if (!part.empty() && part != ".") parts.push_back(part);
        start = end + 1;
    }
    return parts;
}

bool climbs(const std::vector<std::string>& parts)
{
    return std::find(parts.begin(), parts.end(), "..") != parts.end();
}

// The entry of directory (beneath folder) named part in any letter case: part itself when it is
// there, else the first in byte order, so that the choice never rests on the directory's order.
std::string entryLike(int folder, const std::string& directory, const std::string& part)
{
    const int fd = openBeneath(folder, directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return std::string();
    DIR* listing = fdopendir(fd);
    if (!listing) {
        close(fd);
        return std::string();
    }
    std::string found;
    while (const dirent* entry = readdir(listing)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        if (!sameLetters(part, entry->d_name)) continue;
        if (part == entry->d_name) {
            found = part;
            break;
        }
        if (found.empty() || found > entry->d_name) found = entry->d_name;
    }
    closedir(listing);
    return found;
}

// The path beneath folder whose parts are these in any letter case, one directory at a time; "" for none.
std::string pathLike(int folder, const std::vector<std::string>& parts)
{
    std::string path;
    for (const std::string& part : parts) {
        const std::string entry = entryLike(folder, path.empty() ? "." : path, part);
        if (entry.empty()) return std::string();
        path += (path.empty() ? "" : "/") + entry;
    }
    return path;
}

// A path from another system or from the root: "C:\maps\a.png", "Q:/a.png", "//host/a.png", "/a.png".
bool windowsOrAbsolute(const std::string& name)
{
    const bool drive = name.size() >= 3 && ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')) &&
                       name[1] == ':' && (name[2] == '/' || name[2] == '\\');
    return drive || (!name.empty() && (name[0] == '/' || name[0] == '\\'));
}

HandedFile answered(FileAnswer answer, std::string why = std::string())
{
    HandedFile file;
    file.answer = answer;
    file.why = std::move(why);
    return file;
}

}  // namespace

bool asksExistence(FileAsk ask) { return ask == FileAsk::exists || ask == FileAsk::textureExists; }

ModelFiles::ModelFiles(const std::string& modelPath, bool allowOutside)
    : modelPath_(modelPath), folderGiven_(folderWithSlash(modelPath)),
      folderReal_(realPath(folderGiven_.empty() ? "." : folderGiven_)), allowOutside_(allowOutside),
      folderFd_(open(folderGiven_.empty() ? "." : folderGiven_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC))
{
}

ModelFiles::~ModelFiles()
{
    if (folderFd_ >= 0) close(folderFd_);
    if (modelFd_ >= 0) close(modelFd_);
}

HandedFile ModelFiles::model(bool existsOnly)
{
    if (!modelLooked_) {
        modelLooked_ = true;
        modelFd_ = open(modelPath_.c_str(), kOpenFlags);
        struct stat info;
        std::string refusal;
        if (modelFd_ < 0 || fstat(modelFd_, &info) != 0)
            modelAnswer_ = answered(FileAnswer::refused, std::strerror(errno));
        else if (!S_ISREG(info.st_mode))
            modelAnswer_ = answered(FileAnswer::refused, "not a regular file");
        // The file opened, not its name once more, which could lead elsewhere by now; the name
        // still tells the formats that carry no signature.
        else if (!checkDeclaredContent(modelFd_, modelPath_, refusal))
            modelAnswer_ = answered(FileAnswer::refused, refusal);
        else
            modelAnswer_ = answered(FileAnswer::given);
    }
    HandedFile file = modelAnswer_;
    if (file.answer == FileAnswer::given && !existsOnly) {
        file.fd = fcntl(modelFd_, F_DUPFD_CLOEXEC, 0);
        if (file.fd < 0) file.answer = FileAnswer::absent;
    }
    return file;
}

HandedFile ModelFiles::opened(int fd, const std::string& name, bool existsOnly)
{
    struct stat info;
    HandedFile file;
    std::string refusal;
    if (fstat(fd, &info) != 0)
        file = answered(FileAnswer::absent);
    else if (!S_ISREG(info.st_mode))
        file = answered(FileAnswer::notRegular);
    else if (existsOnly)
        file = answered(FileAnswer::given);
    else if (!checkDeclaredContent(fd, name, refusal))
        file = answered(FileAnswer::refused, refusal);
    else
        file.answer = FileAnswer::given;
    if (file.answer == FileAnswer::given && !existsOnly)
        file.fd = fd;
    else
        close(fd);
    return file;
}

HandedFile ModelFiles::likeNamed(const std::string& written, const std::string& beneath, const std::string& name,
                                 bool existsOnly)
{
    if (folderFd_ < 0 || climbs(partsOf(written, "/\\"))) return answered(FileAnswer::absent);
    std::string taken;
    const std::vector<std::string> parts = partsOf(beneath, "/");
    if (!parts.empty() && !climbs(parts)) taken = pathLike(folderFd_, parts);
    if (taken.empty() && windowsOrAbsolute(written)) {
        const std::vector<std::string> all = partsOf(written, "/\\");
        if (!all.empty()) taken = pathLike(folderFd_, {all.back()});
    }
    if (taken.empty()) return answered(FileAnswer::absent);
    const int fd = openBeneath(folderFd_, taken);
    if (fd < 0) return answered(FileAnswer::absent);
    HandedFile file = opened(fd, name, existsOnly);
    if (file.answer == FileAnswer::given) file.why = taken;
    return file;
}

HandedFile ModelFiles::named(const std::string& asked, bool existsOnly, bool texture)
{
    if (asked.empty() || asked.find('\0') != std::string::npos) return answered(FileAnswer::absent);
    // A URI of the file scheme names a file ("file:///models/x.bin", "file://x.bin"): that file is
    // what the model asks for, and what a note names.
    const std::string scheme = "file://";
    std::string name = asked;
    if (startsWith(name, folderGiven_ + scheme))
        name.erase(folderGiven_.size(), scheme.size());
    else if (startsWith(name, scheme))
        name.erase(0, scheme.size());
    // The name relative to the folder, as far as its words tell; "" when they lead elsewhere.
    std::string intended = name;
    std::string beneath;
    if (startsWith(name, folderGiven_)) {
        beneath = name.substr(folderGiven_.size());
        // A reader may put the folder before a name that is already absolute: the name as written
        // ("folder//x") first, then as the model meant it.
        if (!beneath.empty() && beneath[0] == '/') {
            const std::size_t first = beneath.find_first_not_of('/');
            const int fd = first == std::string::npos ? -1 : openBeneath(folderFd_, beneath.substr(first));
            if (fd >= 0) return opened(fd, name, existsOnly);
            intended = beneath;
            beneath.clear();
        }
    }
    if (beneath.empty() && !folderReal_.empty()) {
        std::string absolute = intended;
        if (absolute[0] != '/') {
            char cwd[PATH_MAX];
            absolute = getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + intended : std::string();
        }
        const std::string prefix = folderReal_ == "/" ? folderReal_ : folderReal_ + "/";
        if (startsWith(absolute, prefix)) beneath = absolute.substr(prefix.size());
    }
    // The name as the model wrote it, for a texture looked for further.
    const std::string written = startsWith(name, folderGiven_) ? name.substr(folderGiven_.size()) : name;
    HandedFile asWritten;
    if (allowOutside_) {
        const int fd = open(intended.c_str(), kOpenFlags);
        if (fd >= 0) return opened(fd, name, existsOnly);
    } else {
        const int fd = beneath.empty() || folderFd_ < 0 ? -1 : openBeneath(folderFd_, beneath);
        if (fd >= 0) return opened(fd, name, existsOnly);
        // Without openat2 (kernels before 5.6) nothing can be opened beneath a folder for certain.
        // Outside: a note for a file that is there, as readers also ask for names that are not
        // files (their own guesses at a material file's name, the folders of a name they search
        // for). The child learns no more than that.
        struct stat info;
        if ((beneath.empty() || folderFd_ < 0 || errno == EXDEV || errno == ENOSYS) &&
            stat(intended.c_str(), &info) == 0 && !S_ISDIR(info.st_mode))
            asWritten.answer = FileAnswer::outside;
    }
    if (!texture) return asWritten;
    const HandedFile like = likeNamed(written, beneath, name, existsOnly);
    return like.answer == FileAnswer::absent ? asWritten : like;
}

HandedFile ModelFiles::answer(FileAsk ask, const std::string& name)
{
    if (ask == FileAsk::model) return model(false);
    const bool existsOnly = asksExistence(ask);
    const bool texture = ask == FileAsk::texture || ask == FileAsk::textureExists;
    return name == modelPath_ ? model(existsOnly) : named(name, existsOnly, texture);
}

SandboxReply ModelFiles::serve(const std::string& request)
{
    SandboxReply reply;
    try {
        const char ask = request.empty() ? '\0' : request[0];
        if (ask != char(FileAsk::model) && ask != char(FileAsk::exists) && ask != char(FileAsk::open) &&
            ask != char(FileAsk::textureExists) && ask != char(FileAsk::texture)) {
            reply.words = std::string(1, char(FileAnswer::absent));
            return reply;
        }
        HandedFile file = answer(static_cast<FileAsk>(ask), request.substr(1));
        reply.words = std::string(1, char(file.answer)) + file.why;
        reply.fd = file.fd;
    } catch (...) {
        reply = SandboxReply();
        reply.words = std::string(1, char(FileAnswer::absent));
    }
    return reply;
}

FileSource parentFiles()
{
    return [](FileAsk ask, const std::string& name) {
        HandedFile file;
        std::string words;
        int fd = -1;
        if (!sandboxAsk(std::string(1, char(ask)) + name, words, fd) || words.empty()) {
            if (fd >= 0) close(fd);
            return file;
        }
        const char code = words[0];
        for (FileAnswer known :
             {FileAnswer::given, FileAnswer::absent, FileAnswer::outside, FileAnswer::notRegular, FileAnswer::refused})
            if (code == char(known)) file.answer = known;
        file.why = words.substr(1);
        // A file to open comes with its descriptor, or not at all.
        if (file.answer == FileAnswer::given && !asksExistence(ask) && fd < 0) file.answer = FileAnswer::absent;
        if (file.answer == FileAnswer::given && !asksExistence(ask))
            file.fd = fd;
        else if (fd >= 0)
            close(fd);
        return file;
    };
}
