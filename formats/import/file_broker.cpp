// The model's files for the confined reader: opened beneath the model's folder by the parent, asked for by the child.
#include "formats/import/file_broker.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "formats/import/declared_sizes.h"

namespace {

constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;  // a FIFO is looked at, not waited on

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

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// Opens name beneath the folder, in one step: -1 with errno (EXDEV when the name leads out of it).
int openBeneath(int folder, const std::string& name)
{
    open_how how{};
    how.flags = kOpenFlags;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    long fd;
    do fd = syscall(SYS_openat2, folder, name.c_str(), &how, sizeof how);
    while (fd < 0 && errno == EINTR);
    return static_cast<int>(fd);
}

HandedFile answered(FileAnswer answer, std::string why = std::string())
{
    HandedFile file;
    file.answer = answer;
    file.why = std::move(why);
    return file;
}

}  // namespace

bool checkOpenedFile(int fd, const std::string& name, std::string& refusal)
{
    // The open file itself, by its descriptor: its name could lead elsewhere by now.
    return checkDeclaredContent(fd, name, refusal);
}

ModelFiles::ModelFiles(const std::string& modelPath, bool allowOutside)
    : modelPath_(modelPath), folderGiven_(folderOf(modelPath)),
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
        else if (!checkOpenedFile(modelFd_, modelPath_, refusal))
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
    else if (!checkOpenedFile(fd, name, refusal))
        file = answered(FileAnswer::refused, refusal);
    else
        file.answer = FileAnswer::given;
    if (file.answer == FileAnswer::given && !existsOnly)
        file.fd = fd;
    else
        close(fd);
    return file;
}

HandedFile ModelFiles::named(const std::string& asked, bool existsOnly)
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
    if (allowOutside_) {
        const int fd = open(intended.c_str(), kOpenFlags);
        return fd >= 0 ? opened(fd, name, existsOnly) : answered(FileAnswer::absent);
    }
    const int fd = beneath.empty() || folderFd_ < 0 ? -1 : openBeneath(folderFd_, beneath);
    if (fd >= 0) return opened(fd, name, existsOnly);
    // Without openat2 (kernels before 5.6) nothing can be opened beneath a folder for certain.
    if (!beneath.empty() && folderFd_ >= 0 && errno != EXDEV && errno != ENOSYS) return answered(FileAnswer::absent);
    // Outside: a note for a file that is there, as readers also ask for names that are not files
    // (their own guesses at a material file's name, the folders of a name they search for). The
    // child learns no more than that.
    struct stat info;
    return answered(stat(intended.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) ? FileAnswer::outside
                                                                                 : FileAnswer::absent);
}

HandedFile ModelFiles::answer(FileAsk ask, const std::string& name)
{
    if (ask == FileAsk::model) return model(false);
    const bool existsOnly = ask == FileAsk::exists;
    return name == modelPath_ ? model(existsOnly) : named(name, existsOnly);
}

SandboxReply ModelFiles::serve(const std::string& request)
{
    SandboxReply reply;
    try {
        const char ask = request.empty() ? '\0' : request[0];
        if (ask != char(FileAsk::model) && ask != char(FileAsk::exists) && ask != char(FileAsk::open)) {
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
        if (file.answer == FileAnswer::given && ask != FileAsk::exists && fd < 0) file.answer = FileAnswer::absent;
        if (file.answer == FileAnswer::given && ask != FileAsk::exists)
            file.fd = fd;
        else if (fd >= 0)
            close(fd);
        return file;
    };
}
