// Sizes a file declares for itself, checked against what it holds before any reader sees it.
#pragma once

#include <string>

// The largest nesting of glTF nodes, of JSON and of XML that a file may have: readers walk them by
// recursion, and a sane model is nowhere near so deep.
constexpr std::size_t kMaxNesting = 1000;

// Checks a file for the format its bytes show, whatever it is called:
// - PLY, told by "ply" in any case: the header read as lines (end_header only as a whole line), the
//   element counts times the least bytes an element takes against the bytes after the header;
// - GLB: its length and chunk lengths; glTF JSON (an object or an array at the top): buffer lengths
//   against their data, views against buffers, accessors against views, and a node tree that is a
//   tree at most kMaxNesting deep;
// - XML: its nesting (COLLADA and the like);
// - zip containers: each entry where the directory says, its bytes within the file, a declared
//   size that its method can make and no more than that inflated, the XML of its entries no deeper
//   than kMaxNesting (at most 1 GB inflated to be checked, all entries together);
// - binary FBX: each node record's end within its parent's, nesting at most kMaxNesting deep; text
//   FBX, told by "fbx" in any case in its first 200 bytes as its reader tells it: its braces;
// - OFF: its counts against the file's size, with or without its header word.
// Bytes with no signature are told by a name that ends, in any case, in ".stl" (binary STL: its
// triangle count), ".off" (OFF without its header word) or ".gltf" (glTF that is not JSON at all).
// Other files pass. Runs on foreign bytes, never past the file's size. False with error set in
// the tool's words ("declares 500000000 vertices, more than its 226 bytes can hold") when the file
// cannot be what it says, or is not a regular file.
bool checkDeclaredSizes(const std::string& path, std::string& error);

// The same checks on a file already open: fd is read with pread from its start and never closed or
// moved; name is the name the file was asked for, for the formats told by their name alone. A glTF
// file's buffers named by their own files are not looked at from here (each is checked as it is
// handed over in its turn).
bool checkDeclaredContent(int fd, const std::string& name, std::string& error);
