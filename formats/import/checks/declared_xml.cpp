// XML's nesting, counted before a reader that walks elements by recursion sees a file nested past any model's need;
// counted as the text comes, so that a file or a zip entry is never held whole.
#include <cstring>
#include <string>

#include "formats/import/checks/declared_formats.h"
#include "formats/import/checks/declared_sizes.h"

namespace declared {

namespace {

constexpr char kComment[] = "!--";
constexpr char kCdata[] = "![CDATA[";

bool prefixOf(const std::string& lead, const char* mark)
{
    return std::string(mark).compare(0, lead.size(), lead) == 0;
}

// Whether c carries an end mark of three bytes, two of c's kind then '>' ("-->", "]]>"), one byte
// further; seen counts the mark's bytes matched so far.
bool endsMark(char c, char kind, std::size_t& seen)
{
    if (c == '>' && seen == 2) return true;
    seen = c == kind ? (seen < 2 ? seen + 1 : 2) : 0;
    return false;
}

}  // namespace

bool XmlNesting::feed(const char* text, std::size_t size)
{
    for (std::size_t k = 0; k < size && !tooDeep_; ++k) {
        // Text between tags is most of a document: skipped to its next '<' at once.
        if (state_ == State::text) {
            const void* open = std::memchr(text + k, '<', size - k);
            if (!open) break;
            k = static_cast<std::size_t>(static_cast<const char*>(open) - text);
        }
        step(text[k]);
    }
    return !tooDeep_;
}

void XmlNesting::step(char c)
{
    switch (state_) {
    case State::text:
        if (c == '<') {
            state_ = State::open;
            lead_.clear();
        }
        return;
    case State::open: {
        lead_ += c;
        if (lead_ == kComment || lead_ == kCdata) {
            state_ = lead_ == kComment ? State::comment : State::cdata;
            marked_ = 0;
            return;
        }
        if (prefixOf(lead_, kComment) || prefixOf(lead_, kCdata)) return;
        if (lead_[0] == '/') {
            depth_ -= depth_ > 0 ? 1 : 0;
            state_ = State::endTag;
            return;
        }
        // Tags that open nothing, and what a tag holds, are read again in their own state: a
        // declaration may end within the bytes that were read to tell what it was.
        const std::string held = lead_;
        const bool declaration = held[0] == '!' || held[0] == '?';
        state_ = declaration ? State::declaration : State::tag;
        last_ = '<';
        for (std::size_t k = declaration ? 1 : 0; k < held.size(); ++k) step(held[k]);
        return;
    }
    case State::tag:
        if (c == '"' || c == '\'') {
            quote_ = c;
            state_ = State::tagQuoted;
        } else if (c == '>') {
            state_ = State::text;
            // "<a/>" opens nothing.
            if (last_ != '/' && ++depth_ > kMaxNesting) tooDeep_ = true;
        }
        last_ = c;
        return;
    case State::tagQuoted:
        if (c == quote_) state_ = State::tag;
        last_ = c;
        return;
    case State::comment:
        if (endsMark(c, '-', marked_)) state_ = State::text;
        return;
    case State::cdata:
        if (endsMark(c, ']', marked_)) state_ = State::text;
        return;
    case State::declaration:
    case State::endTag:
        if (c == '>') state_ = State::text;
        return;
    }
}

bool checkXml(const FileBytes& file, std::string& error)
{
    XmlNesting nesting;
    for (uint64_t at = 0; at < file.size();) {
        const std::string piece = file.read(at, 65536);
        if (piece.empty()) break;
        at += piece.size();
        if (!nesting.feed(piece.data(), piece.size())) {
            error = "its XML nests deeper than " + std::to_string(kMaxNesting) + " levels";
            return false;
        }
    }
    return true;
}

}  // namespace declared
