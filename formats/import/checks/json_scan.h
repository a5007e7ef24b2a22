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

// What a scan found: JSON, text that is no JSON, or JSON that nests deeper than the scan allows.
enum class JsonScan { json, notJson, tooDeep };

// Walks one JSON value (RFC 8259; a leading byte-order mark is allowed) between begin and end, never
// reading past end, with no recursion. Unless it is JSON, error is set in the tool's words; the
// visitor may have seen part of the text.
JsonScan scanJson(const char* begin, const char* end, std::size_t maxDepth, JsonVisitor& visitor, std::string& error);
