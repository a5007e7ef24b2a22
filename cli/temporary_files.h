// Temporary files of the companion tools: made, renamed and removed with the stopping signals held
// off, and listed in a fixed table that a signal handler can empty before the process ends.
#pragma once

#include <string>

// Makes a new file from pattern (its last six characters XXXXXX, replaced in place) and lists it.
// The first call also makes SIGINT, SIGTERM and SIGHUP remove every listed file before they end
// the process as they would have (a signal that was ignored stays ignored). Returns the file's
// descriptor, or -1 with errno set: ENAMETOOLONG or EMFILE when the table cannot hold the name.
int makeTemporaryFile(std::string& pattern);

// Renames a listed file over target and takes it off the list. False with errno set, and the file
// is still listed.
bool renameTemporaryFile(const std::string& path, const std::string& target);

// Removes a listed file and takes it off the list.
void removeTemporaryFile(const std::string& path);

// Removes every listed file. Async-signal-safe: for a handler that then ends the process.
void removeTemporaryFiles();
