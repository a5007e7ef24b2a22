// Zip containers' entries: the sizes their directory declares against the bytes the file holds, and the nesting of
// the XML they hold, inflated by zlib in pieces with its output bounded by what the entry declares.
#include <zlib.h>

#include <cstring>
#include <memory>

#include "base/bytes.h"
#include "formats/import/checks/declared_formats.h"
#include "formats/import/checks/declared_sizes.h"
#include "formats/import/checks/printable_text.h"

namespace declared {

namespace {

// Deflate makes at most 258 bytes of 2 bits (its longest match from its shortest code): no
// honest entry inflates to more than this many times its compressed bytes.
constexpr uint64_t kMostDeflateRatio = 1032;
// What is inflated to be checked, all entries of a file together (the XML whole, the start of the
// others): readers hold a document several times over, so one this large never fits a reader's
// memory anyway; and entries that share their bytes cannot make the check long.
constexpr uint64_t kMostInflated = uint64_t(1) << 30;
constexpr std::size_t kPiece = 1 << 20;

struct Entry {
    std::string name;
    uint64_t method = 0, compressed = 0, inflated = 0, local = 0;
};

struct Directory {
    uint64_t offset = 0, size = 0, entries = 0;
};

// The end of central directory record, with zip64's record where it stands for its fields; false
// when there is none, which the reader refuses as it is.
bool findDirectory(const FileBytes& file, Directory& directory)
{
    const uint64_t tail = file.size() < 65557 ? file.size() : 65557;
    const std::string bytes = file.read(file.size() - tail, static_cast<std::size_t>(tail));
    std::size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
    if (end == std::string::npos || bytes.size() - end < 22) return false;
    directory = {littleEndian(bytes, end + 16, 4), littleEndian(bytes, end + 12, 4), littleEndian(bytes, end + 10, 2)};
    const uint64_t at = file.size() - tail + end;
    if (at < 20 || (directory.offset != 0xffffffff && directory.size != 0xffffffff && directory.entries != 0xffff))
        return true;
    const std::string locator = file.read(at - 20, 20);
    if (locator.compare(0, 4, "PK\x06\x07") != 0) return true;
    const std::string record = file.read(littleEndian(locator, 8, 8), 56);
    if (record.size() < 56 || record.compare(0, 4, "PK\x06\x06") != 0) return true;
    directory = {littleEndian(record, 48, 8), littleEndian(record, 40, 8), littleEndian(record, 32, 8)};
    return true;
}

// zip64's extra field holds the sizes and the offset that their own fields mark with all ones.
void zip64Fields(const std::string& extra, Entry& entry)
{
    for (std::size_t at = 0; at + 4 <= extra.size();) {
        const uint64_t id = littleEndian(extra, at, 2), size = littleEndian(extra, at + 2, 2);
        if (id == 1) {
            std::size_t field = at + 4;
            for (uint64_t* value : {&entry.inflated, &entry.compressed, &entry.local}) {
                if (*value != 0xffffffff || field + 8 > at + 4 + size || field + 8 > extra.size()) continue;
                *value = littleEndian(extra, field, 8);
                field += 8;
            }
        }
        at += 4 + size;
    }
}

std::string named(const Entry& entry) { return "its zip entry '" + printableText(entry.name, 80) + "'"; }

// The entry's bytes in the file, after its local header; false with error set when they are not there.
bool entryData(const FileBytes& file, const Entry& entry, uint64_t& start, std::string& error)
{
    const std::string local = file.read(entry.local, 30);
    if (local.size() < 30 || local.compare(0, 4, "PK\x03\x04") != 0) {
        error = named(entry) + " has no header where the directory says";
        return false;
    }
    start = entry.local + 30 + littleEndian(local, 26, 2) + littleEndian(local, 28, 2);
    if (saturatingSum(start, entry.compressed) <= file.size()) return true;
    error = named(entry) + " declares " + std::to_string(entry.compressed) + " compressed bytes, more than its " +
            std::to_string(file.size()) + " bytes can hold";
    return false;
}

bool sizesFit(const Entry& entry, std::string& error)
{
    const bool stored = entry.method == 0;
    if (stored ? entry.inflated == entry.compressed
               : entry.inflated <= saturatingProduct(entry.compressed, kMostDeflateRatio))
        return true;
    error = named(entry) + " declares " + std::to_string(entry.inflated) + " bytes from " +
            std::to_string(entry.compressed) + (stored ? ", stored as they are" : ", more than deflate makes");
    return false;
}

// An entry's content, stored or deflated, handed on in pieces; never more than the entry declares.
class EntryReader {
public:
    EntryReader(const FileBytes& file, const Entry& entry, uint64_t start) : file_(file), entry_(entry), at_(start)
    {
        stream_.zalloc = Z_NULL;
        stream_.zfree = Z_NULL;
        stream_.opaque = Z_NULL;
        inflating_ = entry.method == 8 && inflateInit2(&stream_, -MAX_WBITS) == Z_OK;
    }
    ~EntryReader()
    {
        if (inflating_) inflateEnd(&stream_);
    }
    EntryReader(const EntryReader&) = delete;
    EntryReader& operator=(const EntryReader&) = delete;

    // The next piece into out; empty at the end, or where the data is damaged (the reader's to say).
    // overran is set when the entry holds more than it declares.
    bool next(std::string& out, bool& overran)
    {
        out.clear();
        if (entry_.method == 0) {
            const uint64_t left = entry_.compressed - read_;
            out = file_.read(at_ + read_, static_cast<std::size_t>(left < kPiece ? left : kPiece));
            read_ += out.size();
        } else if (inflating_) {
            inflatePiece(out);
        }
        made_ += out.size();
        overran = made_ > entry_.inflated;
        return !out.empty() && !overran;
    }

private:
    void inflatePiece(std::string& out)
    {
        out.resize(kPiece);
        stream_.next_out = reinterpret_cast<Bytef*>(&out[0]);
        stream_.avail_out = kPiece;
        while (stream_.avail_out == kPiece && !ended_) {
            if (stream_.avail_in == 0 && read_ < entry_.compressed) {
                const uint64_t left = entry_.compressed - read_;
                input_ = file_.read(at_ + read_, static_cast<std::size_t>(left < kPiece ? left : kPiece));
                read_ += input_.size();
                stream_.next_in = reinterpret_cast<Bytef*>(&input_[0]);
                stream_.avail_in = static_cast<uInt>(input_.size());
            }
            const int status = inflate(&stream_, Z_NO_FLUSH);
            // Its end, damage, or no input left to go on with.
            ended_ = status != Z_OK;
        }
        out.resize(kPiece - stream_.avail_out);
    }

    const FileBytes& file_;
    const Entry& entry_;
    uint64_t at_;
    uint64_t read_ = 0;  // compressed bytes taken from the file
    uint64_t made_ = 0;  // bytes handed on
    z_stream stream_{};
    bool inflating_ = false;
    bool ended_ = false;
    std::string input_;
};

enum class Kind { unknown, xml, other };

// What a piece shows of its entry: XML starts with '<' after a byte-order mark and white space.
Kind kindOf(const std::string& piece, bool first)
{
    std::size_t at = first && piece.compare(0, 3, "\xef\xbb\xbf") == 0 ? 3 : 0;
    while (at < piece.size() && (piece[at] == ' ' || piece[at] == '\t' || piece[at] == '\r' || piece[at] == '\n')) ++at;
    return at == piece.size() ? Kind::unknown : piece[at] == '<' ? Kind::xml : Kind::other;
}

// An entry's content: no more than it declares, and XML no deeper than kMaxNesting. White space
// alone tells nothing yet: the XML may come after it.
bool checkContent(const FileBytes& file, const Entry& entry, uint64_t start, uint64_t& budget, std::string& error)
{
    EntryReader reader(file, entry, start);
    std::string piece;
    bool overran = false;
    Kind kind = Kind::unknown;
    XmlNesting nesting;
    for (bool first = true; reader.next(piece, overran); first = false) {
        if (piece.size() > budget) {
            error = "its zip entries hold more than " + std::to_string(kMostInflated >> 30) + " GB to check";
            return false;
        }
        budget -= piece.size();
        if (kind == Kind::unknown) kind = kindOf(piece, first);
        if (kind == Kind::other) return true;  // another reader's bytes: bounded by the sizes alone
        if (!nesting.feed(piece.data(), piece.size())) {
            error = named(entry) + ": its XML nests deeper than " + std::to_string(kMaxNesting) + " levels";
            return false;
        }
    }
    if (!overran) return true;
    error = named(entry) + " holds more than the " + std::to_string(entry.inflated) + " bytes it declares";
    return false;
}

}  // namespace

// Each entry the central directory lists: its header where the directory says, its bytes within
// the file, its declared size one that its method can make, and its content no more than that.
bool checkZip(const FileBytes& file, std::string& error)
{
    Directory directory;
    if (!findDirectory(file, directory)) return true;
    if (saturatingSum(directory.offset, directory.size) > file.size()) {
        error = "its zip directory declares " + std::to_string(directory.size) + " bytes at byte " +
                std::to_string(directory.offset) + ", past the end of its " + std::to_string(file.size()) + " bytes";
        return false;
    }
    uint64_t budget = kMostInflated;
    uint64_t at = directory.offset;
    for (uint64_t k = 0; k < directory.entries; ++k) {
        const std::string fixed = file.read(at, 46);
        if (fixed.size() < 46 || fixed.compare(0, 4, "PK\x01\x02") != 0) return true;  // the reader's to refuse
        const uint64_t nameBytes = littleEndian(fixed, 28, 2), extraBytes = littleEndian(fixed, 30, 2);
        Entry entry{file.read(at + 46, static_cast<std::size_t>(nameBytes)), littleEndian(fixed, 10, 2),
                    littleEndian(fixed, 20, 4), littleEndian(fixed, 24, 4), littleEndian(fixed, 42, 4)};
        zip64Fields(file.read(at + 46 + nameBytes, static_cast<std::size_t>(extraBytes)), entry);
        at += 46 + nameBytes + extraBytes + littleEndian(fixed, 32, 2);
        uint64_t start = 0;
        if (!entryData(file, entry, start, error)) return false;
        if (entry.method != 0 && entry.method != 8) continue;  // a method the reader does not know
        if (!sizesFit(entry, error) || !checkContent(file, entry, start, budget, error)) return false;
    }
    return true;
}

}  // namespace declared
