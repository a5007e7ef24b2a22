// A JSON text walked once without building it: each value reported with the path that leads to it, nesting bounded.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One step from a container to a member: a key in an object, an index in an array.
struct JsonStep {
    bool inObject = false;
    std::string key;
    std::size_t index = 0;
};
using JsonPath = std::vector<JsonStep>;

enum class JsonKind { object, array, string, number, literal };

class JsonVisitor {
public:
    virtual ~JsonVisitor() = default;
    // An object or array begins at path.
    virtual void container(const JsonPath& path, JsonKind kind) = 0;
    // A string (its escapes resolved), a number (as written) or true, false, null at path.
    virtual void value(const JsonPath& path, JsonKind kind, const std::string& text) = 0;
};

// Walks one JSON value (RFC 8259; a leading byte-order mark is allowed) between begin and end, never
// reading past end, with no recursion. False with error set, in the tool's words, when the text is
// not JSON or nests containers more than maxDepth deep; the visitor may have seen part of it.
bool scanJson(const char* begin, const char* end, std::size_t maxDepth, JsonVisitor& visitor, std::string& error);
