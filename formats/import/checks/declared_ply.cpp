// PLY's declared sizes: the header read as lines up to a whole end_header line, its element counts against the bytes
// after it.
#include <algorithm>

#include "formats/import/checks/declared_formats.h"
#include "formats/import/checks/printable_text.h"

namespace declared {

namespace {

enum class Format { ascii, binary, unknown };

struct Element {
    std::string name;
    uint64_t count = 0;
    uint64_t binaryBytes = 0;  // the least bytes of one element, binary
    uint64_t properties = 0;
};

int typeBytes(const std::string& type)
{
    static const struct {
        const char* name;
        int bytes;
    } types[] = {{"char", 1},  {"uchar", 1},   {"int8", 1},   {"uint8", 1},  {"short", 2}, {"ushort", 2},
                 {"int16", 2}, {"uint16", 2},  {"int", 4},    {"uint", 4},   {"int32", 4}, {"uint32", 4},
                 {"float", 4}, {"float32", 4}, {"double", 8}, {"float64", 8}};
    for (const auto& t : types)
        if (type == t.name) return t.bytes;
    return 1;  // a type the readers do not know: the least, so that nothing is refused for it
}

// The leading digits of a count, as the reader takes them ("12abc" is 12, "-1" is 0).
uint64_t leadingCount(const std::string& word)
{
    std::size_t digits = 0;
    while (digits < word.size() && word[digits] >= '0' && word[digits] <= '9') ++digits;
    uint64_t count = 0;
    return parseCount(word.substr(0, digits), count) ? count : 0;
}

void addProperty(const std::vector<std::string>& words, Element& element)
{
    // "property TYPE NAME" or "property list COUNTTYPE ITEMTYPE NAME": an empty list is its count.
    const bool list = words.size() >= 3 && words[1] == "list";
    element.binaryBytes += list ? typeBytes(words[2]) : words.size() >= 2 ? typeBytes(words[1]) : 1;
    ++element.properties;
}

// The least bytes of one element: each property's value (or a list's count) in binary; in text at
// least a digit and a separator each. An element of no properties is taken to be a byte, so that
// its count is bounded as well.
uint64_t leastBytes(const Element& element, Format format)
{
    if (element.properties == 0) return 1;
    const uint64_t text = 2 * element.properties;
    if (format == Format::ascii) return text;
    if (format == Format::binary) return element.binaryBytes;
    return std::min(text, element.binaryBytes);
}

Declared declaredOf(const Element& element)
{
    if (element.name == "vertex") return {element.count, "vertex", "vertices"};
    if (element.name == "face" || element.name == "edge") return {element.count, element.name, element.name + "s"};
    const std::string quoted = "'" + printableText(element.name, 40) + "'";
    return {element.count, quoted + " element", quoted + " elements"};
}

// Refuses counts that the bytes after the header cannot hold: one element alone, or all together.
bool checkCounts(const std::vector<Element>& elements, Format format, uint64_t body, uint64_t fileBytes,
                 std::string& error)
{
    // Text may end without a separator after its last value.
    const uint64_t room = format == Format::binary ? body : saturatingSum(body, 1);
    uint64_t total = 0;
    std::vector<Declared> declared;
    for (const Element& element : elements) {
        const uint64_t need = saturatingProduct(element.count, leastBytes(element, format));
        if (need > room) {
            error = tooManyFor({declaredOf(element)}, fileBytes);
            return false;
        }
        total = saturatingSum(total, need);
        if (element.count > 0) declared.push_back(declaredOf(element));
    }
    if (total <= room) return true;
    error = tooManyFor(declared, fileBytes);
    return false;
}

Format formatOf(const std::string& word)
{
    if (word == "ascii") return Format::ascii;
    if (word == "binary_little_endian" || word == "binary_big_endian") return Format::binary;
    return Format::unknown;
}

}  // namespace

bool checkPly(const FileBytes& file, std::string& error)
{
    LineReader lines(file);
    std::string line;
    lines.next(line);  // "ply"
    Format format = Format::unknown;
    std::vector<Element> elements;
    while (lines.next(line)) {
        const std::vector<std::string> words = wordsOf(line);
        if (words.empty()) continue;
        // A whole line of its own: the reader does not stop at "end_header" inside another line,
        // and a header that never stops is read for ever.
        if (words.size() == 1 && words[0] == "end_header")
            return checkCounts(elements, format, file.size() - lines.offset(), file.size(), error);
        if (words[0] == "format" && words.size() >= 2) {
            format = formatOf(words[1]);
        } else if (words[0] == "element" && words.size() >= 3) {
            elements.push_back(Element{words[1], leadingCount(words[2]), 0, 0});
        } else if (words[0] == "property" && !elements.empty()) {
            addProperty(words, elements.back());
        }
    }
    error = "its PLY header has no end_header line";
    return false;
}

}  // namespace declared
