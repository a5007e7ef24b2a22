// A reader's failure in the tool's own words: classes of failure, never the library's message or the file's text.
#pragma once

#include <cstdint>
#include <string>

// Why a reader gave no model, as far as the tool tells the user.
enum class ReaderFailure : uint8_t {
    noReader = 1,  // no reader knows the file's format
    cannotOpen,    // the file, or one that it names, could not be opened
    endsEarly,     // the file ends before the data it declares
    noModel,       // the file was read but holds no mesh
    outOfMemory,   // the reader found itself out of memory and said so
    damaged,       // anything else: inconsistent data, or something the reader does not support
};
constexpr uint8_t kLastReaderFailure = static_cast<uint8_t>(ReaderFailure::damaged);

// The class of a failure from the reading library's own message (which quotes files and names
// its internals, so that it is never shown).
ReaderFailure classifyReaderMessage(const std::string& libraryMessage);

// "the PLY reader", from the file's extension; "the reader" for an extension it does not know.
std::string readerName(const std::string& path);

// The line after "zemconvert: FILE: " for a failure the reader reported: "the OBJ reader could not
// read this file: it ends early". memoryBudget words the outOfMemory class ("2 GB").
std::string readerFailureLine(const std::string& reader, ReaderFailure failure, const std::string& memoryBudget);
