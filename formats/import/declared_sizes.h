// Sizes a file declares for itself, checked against what it holds before any reader sees it.
#pragma once

#include <string>

// The largest nesting of glTF nodes, of JSON and of XML that a file may have: readers walk them by
// recursion, and a sane model is nowhere near so deep.
constexpr std::size_t kMaxNesting = 1000;

// Checks PLY (the header read as lines: end_header only as a whole line; element counts times the
// least bytes an element takes, against the bytes after the header), OFF (its counts against the
// file's size), binary STL (its triangle count), GLB (its length and chunk lengths) and glTF JSON
// (buffer lengths against their data, views against buffers, accessors against views, and a node
// tree that is a tree and at most kMaxNesting deep), and the nesting of XML (COLLADA and the like).
// Other files pass. Runs on foreign bytes: call
// it in the confined child. False with refusal set in the tool's words ("declares 500000000
// vertices, more than its 226 bytes can hold") when the file cannot be what it says.
bool checkDeclaredSizes(const std::string& path, std::string& refusal);
