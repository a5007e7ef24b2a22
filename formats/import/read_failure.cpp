// Reader failures classed from the reading library's messages, and worded for the user.
#include "formats/import/read_failure.h"

#include <algorithm>
#include <cctype>

#include "base/paths.h"

namespace {

std::string lowerCase(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool mentionsAny(const std::string& text, std::initializer_list<const char*> phrases)
{
    return std::any_of(phrases.begin(), phrases.end(),
                       [&](const char* phrase) { return text.find(phrase) != std::string::npos; });
}

}  // namespace

ReaderFailure classifyReaderMessage(const std::string& libraryMessage)
{
    const std::string text = lowerCase(libraryMessage);
    if (mentionsAny(text, {"bad_alloc", "out of memory", "outofmemory"})) return ReaderFailure::outOfMemory;
    if (mentionsAny(text, {"no suitable reader", "unsupported file format", "unknown file format"}))
        return ReaderFailure::noReader;
    if (mentionsAny(text, {"unable to open", "failed to open", "could not open", "cannot open", "can't open"}))
        return ReaderFailure::cannotOpen;
    if (mentionsAny(text, {"unexpected end", "end of file", "eof", "too small", "too short", "premature", "truncated",
                           "out of data", "not enough data"}))
        return ReaderFailure::endsEarly;
    if (mentionsAny(
            text, {"no meshes", "no mesh", "no scene", "no geometry", "is empty", "no valid vertices", "contains no"}))
        return ReaderFailure::noModel;
    return ReaderFailure::damaged;
}

std::string readerName(const std::string& path)
{
    const std::string extension = lowerCase(extensionOf(path));
    static const struct {
        const char* extension;
        const char* name;
    } known[] = {{"ply", "PLY"},     {"obj", "OBJ"}, {"gltf", "glTF"}, {"glb", "glTF"}, {"stl", "STL"}, {"off", "OFF"},
                 {"dae", "COLLADA"}, {"3mf", "3MF"}, {"fbx", "FBX"},   {"3ds", "3DS"},  {"x3d", "X3D"}, {"amf", "AMF"}};
    for (const auto& entry : known)
        if (extension == entry.extension) return std::string("the ") + entry.name + " reader";
    return "the reader";
}

std::string readerFailureLine(const std::string& reader, ReaderFailure failure, const std::string& memoryBudget)
{
    switch (failure) {
    case ReaderFailure::noReader:
        return "no reader knows this file's format";
    case ReaderFailure::cannotOpen:
        return reader + " could not open this file or a file that it names";
    case ReaderFailure::endsEarly:
        return reader + " could not read this file: it ends early";
    case ReaderFailure::noModel:
        return reader + " found no mesh in this file";
    case ReaderFailure::outOfMemory:
        return reader + " needed more than " + memoryBudget + " (see --max-memory)";
    case ReaderFailure::damaged:
        break;
    }
    return reader + " could not read this file: it is damaged, or holds something that reader does not support";
}
