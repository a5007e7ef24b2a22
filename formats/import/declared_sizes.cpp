// Declared sizes: the file opened without waiting, its format told by its first bytes or its name, and the check it
// needs.
#include "formats/import/declared_sizes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "formats/import/declared_detail.h"
#include "formats/import/file_names.h"

namespace declared {

FileBytes::~FileBytes()
{
    if (fd_ >= 0) close(fd_);
}

bool FileBytes::open(const std::string& path, std::string& refusal)
{
    path_ = path;
    // Without blocking: a FIFO is refused below, never waited on for a writer.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat info;
    if (fd_ < 0 || fstat(fd_, &info) != 0) {
        refusal = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        refusal = "not a regular file";
        return false;
    }
    size_ = static_cast<uint64_t>(info.st_size);
    return true;
}

std::string FileBytes::read(uint64_t offset, std::size_t count) const
{
    if (offset >= size_) return std::string();
    if (count > size_ - offset) count = static_cast<std::size_t>(size_ - offset);
    std::string bytes(count, '\0');
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = pread(fd_, &bytes[got], count - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

uint64_t times(uint64_t count, uint64_t each)
{
    return each != 0 && count > UINT64_MAX / each ? UINT64_MAX : count * each;
}

uint64_t plus(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

bool parseCount(const std::string& word, uint64_t& count)
{
    if (word.empty()) return false;
    count = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return false;
        count = plus(times(count, 10), static_cast<uint64_t>(c - '0'));
    }
    return true;
}

std::string tooManyFor(const std::vector<Declared>& declared, uint64_t fileBytes)
{
    std::string list;
    for (std::size_t k = 0; k < declared.size(); ++k) {
        if (k > 0) list += k + 1 == declared.size() ? " and " : ", ";
        list += std::to_string(declared[k].count) + " " + (declared[k].count == 1 ? declared[k].one : declared[k].many);
    }
    return "declares " + list + ", more than its " + std::to_string(fileBytes) + " bytes can hold";
}

}  // namespace declared

namespace {

bool startsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// The first word after comment lines, as the OFF reader looks for it: "OFF", "COFF", "NOFF"...
bool offHeader(const std::string& head)
{
    std::size_t at = 0;
    for (;;) {
        while (at < head.size() && std::isspace(static_cast<unsigned char>(head[at]))) ++at;
        if (at >= head.size() || head[at] != '#') break;
        at = head.find('\n', at);
        if (at == std::string::npos) return false;
    }
    std::size_t end = at;
    while (end < head.size() && std::isalnum(static_cast<unsigned char>(head[end]))) ++end;
    return end - at >= 3 && head.compare(end - 3, 3, "OFF") == 0;
}

char firstNonSpace(const std::string& head)
{
    std::size_t at = startsWith(head, "\xef\xbb\xbf") ? 3 : 0;
    while (at < head.size() && std::isspace(static_cast<unsigned char>(head[at]))) ++at;
    return at < head.size() ? head[at] : '\0';
}

}  // namespace

bool checkDeclaredSizes(const std::string& path, std::string& refusal)
{
    using namespace declared;
    FileBytes file;
    if (!file.open(path, refusal)) return false;
    const std::string head = file.read(0, 4096);
    const std::string extension = lowerExtension(path);
    if (startsWith(head, "ply") || startsWith(head, "PLY")) return checkPly(file, refusal);
    if (startsWith(head, "glTF")) return checkGlb(file, refusal);
    if (firstNonSpace(head) == '{' || extension == "gltf") return checkGltfJson(file, refusal);
    if (offHeader(head) || extension == "off") return checkOff(file, refusal);
    if (extension == "stl") return checkBinaryStl(file, refusal);
    if (firstNonSpace(head) == '<') return checkXml(file, refusal);
    return true;
}
