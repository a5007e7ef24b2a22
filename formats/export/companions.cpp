// Companion files named by their content's hash: the name the writer is given, the stamp once the
// content is known, and the earlier output's companion found by its reference.
#include "formats/export/companions.h"

#include <algorithm>
#include <cstdint>

#include "base/bytes.h"
#include "base/paths.h"

namespace {

// A companion's name carries this many hex digits of its content's hash.
constexpr std::size_t kHashDigits = 16;

// FNV-1a over 64 bits, as lowercase hex: a companion's name changes whenever its content does.
std::string contentHash(const std::string& bytes)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : bytes) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    std::string text(kHashDigits, '0');
    for (std::size_t i = kHashDigits; i-- > 0; hash >>= 4) text[i] = lowerHexDigit(hash & 15);
    return text;
}

bool isHash(const std::string& text)
{
    return text.size() == kHashDigits && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

bool findMtllib(const std::string& text, std::size_t& at, std::size_t& length)
{
    for (std::size_t line = 0; line < text.size();) {
        const std::size_t end = std::min(text.find('\n', line), text.size());
        if (text.compare(line, 7, "mtllib ") == 0) {
            at = line + 7;
            length = end - at - (end > at && text[end - 1] == '\r' ? 1 : 0);
            return true;
        }
        line = end + 1;
    }
    return false;
}

// Inside a JSON string every quote is escaped, so the first "uri" found is a key: the buffer's,
// the only one the writer gives. A value with an escape in it is not of the form written here.
bool findUri(const std::string& text, std::size_t& at, std::size_t& length)
{
    std::size_t p = text.find("\"uri\"");
    if (p != std::string::npos) p = text.find_first_not_of(" \t\r\n", p + 5);
    if (p == std::string::npos || text[p] != ':') return false;
    p = text.find_first_not_of(" \t\r\n", p + 1);
    if (p == std::string::npos || text[p] != '"') return false;
    const std::size_t end = text.find_first_of("\"\\", p + 1);
    if (end == std::string::npos || text[end] != '"') return false;
    at = p + 1;
    length = end - at;
    return true;
}

// Where a file of the format names its companion: the first mtllib line of an OBJ, the buffer's
// uri in a glTF's JSON. False when it names none.
bool findReference(ExportFormat format, const std::string& text, std::size_t& at, std::size_t& length)
{
    if (format == ExportFormat::Obj) return findMtllib(text, at, length);
    if (format == ExportFormat::Gltf) return findUri(text, at, length);
    return false;
}

}  // namespace

std::string unstampedCompanion(const std::string& outputPath, const std::string& extension)
{
    return withoutExtension(outputPath) + "." + std::string(kHashDigits, '0') + extension;
}

bool addCompanion(ExportFormat format, const std::string& unstamped, std::string bytes, const std::string& what,
                  ExportResult& result, std::string& error)
{
    std::string& text = result.files[0].bytes;
    const std::size_t tail = kHashDigits + unstamped.size() - unstamped.rfind('.');
    std::size_t at = 0, length = 0;
    if (!findReference(format, text, at, length) || length < tail ||
        text.compare(at + length - tail, kHashDigits, std::string(kHashDigits, '0')) != 0) {
        error = "the output's name cannot be written in its reference to its " + what;
        return false;
    }
    const std::string hash = contentHash(bytes);
    text.replace(at + length - tail, kHashDigits, hash);
    // Never the output's own path: the companion's name has one dot more than the output's.
    std::string path = unstamped;
    path.replace(path.size() - tail, kHashDigits, hash);
    result.files.push_back({path, std::move(bytes)});
    return true;
}

std::string earlierCompanion(ExportFormat format, const ExportResult& result, const std::string& earlierText)
{
    if (result.files.size() < 2) return std::string();
    const std::string& text = result.files[0].bytes;
    const std::string& companion = result.files[1].path;
    std::size_t at = 0, length = 0, earlierAt = 0, earlierLength = 0;
    if (!findReference(format, text, at, length) || !findReference(format, earlierText, earlierAt, earlierLength) ||
        earlierLength != length)
        return std::string();
    // Only the hash may differ: the rest of the name, and so the folder, is the same as ours.
    const std::size_t tail = kHashDigits + companion.size() - companion.rfind('.');
    const std::size_t hashAt = length - tail;
    const std::string hash = earlierText.substr(earlierAt + hashAt, kHashDigits);
    if (earlierText.compare(earlierAt, hashAt, text, at, hashAt) != 0 ||
        earlierText.compare(earlierAt + hashAt + kHashDigits, tail - kHashDigits, text, at + hashAt + kHashDigits,
                            tail - kHashDigits) != 0 ||
        !isHash(hash) || hash == text.substr(at + hashAt, kHashDigits))
        return std::string();
    std::string path = companion;
    path.replace(path.size() - tail, kHashDigits, hash);
    return path;
}
