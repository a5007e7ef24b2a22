// Pieces of a path with '/' between folders, and the prefix test that goes with them.
#pragma once

#include <string>

// What follows the last '/' ("b.obj" of "a/b.obj"); the whole path when it has none.
std::string lastName(const std::string& path);

// The same of a name a model gives, written on any system: after the last '/' or '\\'.
std::string lastNameOfAnySystem(const std::string& path);

// The folder that holds the last name, as a path of its own: "a" of "a/b", "/" of "/b", "." of "b"
// and of "".
std::string folderOf(const std::string& path);

// The folder with its trailing '/', ready to have a name appended: "a/" of "a/b", "" of "b".
std::string folderWithSlash(const std::string& path);

// The last name's extension after its last '.', as written ("PLY" of "a/b.PLY"); "" when the last
// name has no '.'.
std::string extensionOf(const std::string& path);

// The path without the last name's extension and its '.'; the path itself when there is none.
std::string withoutExtension(const std::string& path);

bool startsWith(const std::string& text, const std::string& prefix);
