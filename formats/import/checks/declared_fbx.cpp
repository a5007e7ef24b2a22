// FBX's nodes before a reader that walks them by recursion sees them: binary records' ends within their parents', and
// the nesting of binary records and of text's braces bounded.
#include "base/bytes.h"
#include "formats/import/checks/declared_formats.h"
#include "formats/import/checks/declared_sizes.h"

namespace declared {

namespace {

constexpr uint64_t kFirstRecord = 27;  // after the 23-byte signature and the 4-byte version

std::string nodeAt(uint64_t offset) { return "its FBX node at byte " + std::to_string(offset); }

}  // namespace

// A record: its end (an offset in the file), its properties' count and bytes, its name's length and
// name, its properties, then its children ended by a record of zeros. Versions from 7500 on have
// 8-byte words. The walk follows the reader's: a record of zeros ends a list, and a file whose
// records cannot be read any further is the reader's to refuse.
bool checkBinaryFbx(const FileBytes& file, std::string& error)
{
    const std::string version = file.read(23, 4);
    if (version.size() < 4) return true;
    const std::size_t word = littleEndian(version, 0, 4) >= 7500 ? 8 : 4;
    const uint64_t header = 3 * word + 1, sentinel = header;
    // Where each open record's children end: the file's end at the top, else before the zeros.
    std::vector<uint64_t> ends{file.size()};
    uint64_t at = kFirstRecord;
    for (;;) {
        if (at >= ends.back()) {
            if (ends.size() == 1) return true;
            at = ends.back() + sentinel;
            ends.pop_back();
            continue;
        }
        const std::string bytes = file.read(at, static_cast<std::size_t>(header));
        if (bytes.size() < header) return true;
        const uint64_t end = littleEndian(bytes, 0, word);
        if (end == 0) {
            if (ends.size() == 1) return true;  // the footer
            at += word;
            continue;
        }
        if (end > ends.back() || end < at) {
            error = nodeAt(at) + " declares its end at byte " + std::to_string(end) + ", outside " +
                    (ends.size() == 1 ? std::string("the file") : std::string("its parent"));
            return false;
        }
        const uint64_t properties = littleEndian(bytes, 2 * word, word);
        const uint64_t children =
            saturatingSum(saturatingSum(at + header, static_cast<unsigned char>(bytes[3 * word])), properties);
        if (children > end) {
            error = nodeAt(at) + " declares " + std::to_string(properties) + " bytes of properties, past its end";
            return false;
        }
        if (children == end) {
            at = end;
            continue;
        }
        if (end - children < sentinel) return true;  // the reader refuses it as it is
        if (ends.size() >= kMaxNesting) {
            error = "its FBX nodes nest deeper than " + std::to_string(kMaxNesting) + " levels";
            return false;
        }
        ends.push_back(end - sentinel);
        at = children;
    }
}

// Text FBX nests its nodes in braces; a ';' starts a comment to the end of its line, and quoted
// strings are skipped whole, as the reader's tokenizer takes them.
bool checkTextFbx(const FileBytes& file, std::string& error)
{
    std::size_t depth = 0;
    bool comment = false, quoted = false;
    for (uint64_t at = 0; at < file.size();) {
        const std::string piece = file.read(at, 65536);
        if (piece.empty()) break;
        at += piece.size();
        for (char c : piece) {
            if (comment) {
                comment = c != '\n' && c != '\r';
            } else if (quoted) {
                quoted = c != '"';
            } else if (c == ';') {
                comment = true;
            } else if (c == '"') {
                quoted = true;
            } else if (c == '}') {
                depth -= depth > 0 ? 1 : 0;
            } else if (c == '{' && ++depth > kMaxNesting) {
                error = "its FBX nodes nest deeper than " + std::to_string(kMaxNesting) + " levels";
                return false;
            }
        }
    }
    return true;
}

}  // namespace declared
