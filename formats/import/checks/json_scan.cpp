// JSON walked with an explicit stack: strings, numbers and literals checked to the grammar, containers to a depth.
#include "formats/import/checks/json_scan.h"

#include <cstdint>
#include <cstring>

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c)
{
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void appendUtf8(std::string& out, uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xc0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xe0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (code & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (code & 0x3f));
    }
}

class Scanner {
public:
    Scanner(const char* begin, const char* end, std::size_t maxDepth, JsonVisitor& visitor)
        : begin_(begin), at_(begin), end_(end), maxDepth_(maxDepth), visitor_(visitor)
    {
    }

    JsonScan run(std::string& error);

private:
    struct Open {
        bool object;
        std::size_t members;
    };

    void skipSpace()
    {
        while (at_ < end_ && isSpace(*at_)) ++at_;
    }
    bool take(char c)
    {
        skipSpace();
        if (at_ == end_ || *at_ != c) return false;
        ++at_;
        return true;
    }
    bool hex4(uint32_t& code);
    bool escape(std::string& out);
    bool quotedText(std::string& out);
    bool number();
    bool literal();
    bool startValue();
    bool startMember();
    bool afterValue(bool& done);

    const char* begin_;
    const char* at_;
    const char* end_;
    std::size_t maxDepth_;
    JsonVisitor& visitor_;
    std::vector<Open> open_;
    JsonPath path_;
    std::string text_;
    bool tooDeep_ = false;
};

bool Scanner::hex4(uint32_t& code)
{
    if (end_ - at_ < 4) return false;
    code = 0;
    for (int k = 0; k < 4; ++k) {
        const int digit = hexValue(*at_++);
        if (digit < 0) return false;
        code = code * 16 + static_cast<uint32_t>(digit);
    }
    return true;
}

// After the backslash. Lone surrogates become U+FFFD, as a lenient reader would take them.
bool Scanner::escape(std::string& out)
{
    if (at_ == end_) return false;
    const char c = *at_++;
    const char* plain = std::strchr("\"\\/bfnrt", c);
    if (c != '\0' && plain) {
        out += "\"\\/\b\f\n\r\t"[plain - "\"\\/bfnrt"];
        return true;
    }
    uint32_t code, low;
    if (c != 'u' || !hex4(code)) return false;
    if (code >= 0xd800 && code <= 0xdbff && end_ - at_ >= 6 && at_[0] == '\\' && at_[1] == 'u') {
        const char* mark = at_;
        at_ += 2;
        if (hex4(low) && low >= 0xdc00 && low <= 0xdfff) {
            appendUtf8(out, 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00));
            return true;
        }
        at_ = mark;
    }
    appendUtf8(out, code >= 0xd800 && code <= 0xdfff ? 0xfffd : code);
    return true;
}

bool Scanner::quotedText(std::string& out)
{
    out.clear();
    if (!take('"')) return false;
    while (at_ < end_) {
        const char* run = at_;
        while (at_ < end_ && *at_ != '"' && *at_ != '\\' && static_cast<unsigned char>(*at_) >= 0x20) ++at_;
        out.append(run, static_cast<std::size_t>(at_ - run));
        if (at_ == end_ || static_cast<unsigned char>(*at_) < 0x20) return false;
        if (*at_++ == '"') return true;
        if (!escape(out)) return false;
    }
    return false;
}

bool Scanner::number()
{
    const char* start = at_;
    if (at_ < end_ && *at_ == '-') ++at_;
    if (at_ == end_ || !isDigit(*at_)) return false;
    if (*at_ == '0')
        ++at_;
    else
        while (at_ < end_ && isDigit(*at_)) ++at_;
    if (at_ < end_ && *at_ == '.') {
        if (++at_ == end_ || !isDigit(*at_)) return false;
        while (at_ < end_ && isDigit(*at_)) ++at_;
    }
    if (at_ < end_ && (*at_ == 'e' || *at_ == 'E')) {
        if (++at_ < end_ && (*at_ == '+' || *at_ == '-')) ++at_;
        if (at_ == end_ || !isDigit(*at_)) return false;
        while (at_ < end_ && isDigit(*at_)) ++at_;
    }
    text_.assign(start, static_cast<std::size_t>(at_ - start));
    visitor_.value(path_, JsonKind::number, text_);
    return true;
}

bool Scanner::literal()
{
    for (const char* word : {"true", "false", "null"}) {
        const std::size_t length = std::strlen(word);
        if (static_cast<std::size_t>(end_ - at_) >= length && std::memcmp(at_, word, length) == 0) {
            at_ += length;
            text_ = word;
            visitor_.value(path_, JsonKind::literal, text_);
            return true;
        }
    }
    return false;
}

// One value at path_: a scalar whole, or the opening of a container, left on the stack.
bool Scanner::startValue()
{
    skipSpace();
    if (at_ == end_) return false;
    const char c = *at_;
    if (c == '{' || c == '[') {
        if (open_.size() >= maxDepth_) return !(tooDeep_ = true);
        ++at_;
        visitor_.container(path_, c == '{' ? JsonKind::object : JsonKind::array);
        open_.push_back(Open{c == '{', 0});
        return true;
    }
    if (c == '"') {
        if (!quotedText(text_)) return false;
        visitor_.value(path_, JsonKind::string, text_);
        return true;
    }
    return c == '-' || isDigit(c) ? number() : literal();
}

// The next member of the innermost container, or its close; false on anything else.
bool Scanner::startMember()
{
    Open& top = open_.back();
    JsonStep step;
    step.inObject = top.object;
    step.index = top.members++;
    if (top.object) {
        std::string key;
        if (!quotedText(key) || !take(':')) return false;
        step.key = std::move(key);
    }
    path_.push_back(std::move(step));
    return startValue();
}

// After a value: the container goes on, closes (perhaps several), or the text ends.
bool Scanner::afterValue(bool& done)
{
    for (;;) {
        if (open_.empty()) {
            skipSpace();
            done = true;
            return at_ == end_;
        }
        const char close = open_.back().object ? '}' : ']';
        skipSpace();
        const bool first = open_.back().members == 0;
        if (take(close)) {
            open_.pop_back();
            if (!path_.empty() && path_.size() > open_.size()) path_.pop_back();
            continue;
        }
        if (first) return true;  // the first member starts without a comma
        if (!take(',')) return false;
        path_.pop_back();
        return true;
    }
}

JsonScan Scanner::run(std::string& error)
{
    if (end_ - at_ >= 3 && std::memcmp(at_, "\xef\xbb\xbf", 3) == 0) at_ += 3;
    bool ok = startValue(), done = false;
    while (ok && !done) {
        ok = afterValue(done);
        if (ok && !done) ok = startMember();
    }
    if (ok) return JsonScan::json;
    error = tooDeep_ ? "its JSON nests deeper than " + std::to_string(maxDepth_) + " levels"
                     : "its JSON is malformed at byte " + std::to_string(at_ - begin_);
    return tooDeep_ ? JsonScan::tooDeep : JsonScan::notJson;
}

}  // namespace

JsonScan scanJson(const char* begin, const char* end, std::size_t maxDepth, JsonVisitor& visitor, std::string& error)
{
    Scanner scanner(begin, end, maxDepth, visitor);
    return scanner.run(error);
}
