// XML's nesting, counted before a reader that walks elements by recursion sees a file nested past any model's need.
#include <string>

#include "formats/import/declared_detail.h"
#include "formats/import/declared_sizes.h"

namespace declared {

namespace {

// Skips from at to just past the end mark; the end of the text when there is none.
std::size_t pastMark(const std::string& text, std::size_t at, const char* mark)
{
    const std::size_t found = text.find(mark, at);
    return found == std::string::npos ? text.size() : found + std::char_traits<char>::length(mark);
}

// Past a tag's closing '>', quoted attribute values skipped whole; selfClosing when it ends in "/>".
std::size_t pastTag(const std::string& text, std::size_t at, bool& selfClosing)
{
    char quote = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            selfClosing = text[at - 1] == '/';
            return at + 1;
        }
    }
    return at;
}

}  // namespace

bool checkXml(const FileBytes& file, std::string& refusal)
{
    const std::string text = file.read(0, static_cast<std::size_t>(file.size()));
    std::size_t depth = 0;
    for (std::size_t at = text.find('<'); at != std::string::npos && at < text.size(); at = text.find('<', at)) {
        if (text.compare(at, 4, "<!--") == 0) {
            at = pastMark(text, at + 4, "-->");
        } else if (text.compare(at, 9, "<![CDATA[") == 0) {
            at = pastMark(text, at + 9, "]]>");
        } else if (text.compare(at, 2, "<!") == 0 || text.compare(at, 2, "<?") == 0) {
            at = pastMark(text, at + 2, ">");
        } else if (text.compare(at, 2, "</") == 0) {
            depth -= depth > 0 ? 1 : 0;
            at = pastMark(text, at + 2, ">");
        } else {
            bool selfClosing = false;
            at = pastTag(text, at + 1, selfClosing);
            if (!selfClosing && ++depth > kMaxNesting) {
                refusal = "its XML nests deeper than " + std::to_string(kMaxNesting) + " levels";
                return false;
            }
        }
    }
    return true;
}

}  // namespace declared
