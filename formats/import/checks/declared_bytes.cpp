// The pieces of every check of declared sizes: a file read by offset and by line, words, counts, sizes and refusals.
#include "formats/import/checks/declared_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace declared {

FileBytes::~FileBytes()
{
    if (owned_ && fd_ >= 0) close(fd_);
}

bool FileBytes::open(const std::string& path, std::string& error)
{
    path_ = path;
    // Without blocking: a FIFO is refused below, never waited on for a writer.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    owned_ = true;
    return borrow(fd_, error);
}

bool FileBytes::borrow(int fd, std::string& error)
{
    fd_ = fd;
    struct stat info;
    if (fd_ < 0 || fstat(fd_, &info) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "not a regular file";
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

uint64_t saturatingProduct(uint64_t count, uint64_t each)
{
    return each != 0 && count > UINT64_MAX / each ? UINT64_MAX : count * each;
}

uint64_t saturatingSum(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

bool parseCount(const std::string& word, uint64_t& count)
{
    if (word.empty()) return false;
    count = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return false;
        count = saturatingSum(saturatingProduct(count, 10), static_cast<uint64_t>(c - '0'));
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

void LineReader::more()
{
    pending_.erase(0, at_);
    scanned_ -= at_;
    at_ = 0;
    const std::string bytes = file_.read(readOffset_, 65536);
    readOffset_ += bytes.size();
    exhausted_ = bytes.empty();
    pending_ += bytes;
}

bool LineReader::next(std::string& line)
{
    for (;;) {
        const std::size_t end = pending_.find_first_of("\r\n", std::max(at_, scanned_));
        // A "\r" at the end of what was read may be the first half of "\r\n".
        if (end != std::string::npos && (pending_[end] == '\n' || end + 1 < pending_.size() || exhausted_)) {
            line.assign(pending_, at_, end - at_);
            std::size_t after = end + 1;
            if (pending_[end] == '\r' && after < pending_.size() && pending_[after] == '\n') ++after;
            consumed_ += after - at_;
            at_ = scanned_ = after;
            return true;
        }
        scanned_ = end == std::string::npos ? pending_.size() : end;
        if (!exhausted_) {
            more();
            continue;
        }
        if (at_ >= pending_.size()) return false;
        line.assign(pending_, at_, std::string::npos);
        consumed_ += pending_.size() - at_;
        at_ = scanned_ = pending_.size();
        return true;
    }
}

std::vector<std::string> wordsOf(const std::string& line)
{
    std::vector<std::string> words;
    std::size_t at = 0;
    for (;;) {
        at = line.find_first_not_of(" \t", at);
        if (at == std::string::npos) return words;
        const std::size_t end = std::min(line.find_first_of(" \t", at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end;
    }
}

}  // namespace declared
