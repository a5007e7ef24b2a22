// Declared sizes: the check that a file's bytes and its name call for, on a file opened or a descriptor borrowed.
#include "formats/import/checks/declared_sizes.h"

#include <cctype>
#include <cstring>

#include "formats/import/checks/declared_formats.h"
#include "formats/import/checks/file_names.h"

namespace {

bool startsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool lowerIs(char c, char lower) { return c == lower || c == lower - 'a' + 'A'; }

// The first word after comment lines ends in "OFF", as the OFF reader looks for it: "OFF", "COFF",
// "NOFF"...
bool offHeader(const std::string& head)
{
    std::size_t at = 0;
    for (;;) {
        while (at < head.size() && std::isspace(static_cast<unsigned char>(head[at]))) ++at;
        if (at >= head.size() || head[at] != '#') break;
        at = head.find('\n', at);
        if (at == std::string::npos) return false;
    }
    std::size_t end = at;
    while (end < head.size() && std::isalnum(static_cast<unsigned char>(head[end]))) ++end;
    return end - at >= 3 && head.compare(end - 3, 3, "OFF") == 0;
}

char firstNonSpace(const std::string& head)
{
    std::size_t at = startsWith(head, "\xef\xbb\xbf") ? 3 : 0;
    while (at < head.size() && std::isspace(static_cast<unsigned char>(head[at]))) ++at;
    return at < head.size() ? head[at] : '\0';
}

// The FBX reader takes a file that names its format in its first 200 bytes, in any case.
bool mentionsFbx(const std::string& head)
{
    for (std::size_t at = 0; at + 3 <= head.size() && at < 200; ++at)
        if (lowerIs(head[at], 'f') && lowerIs(head[at + 1], 'b') && lowerIs(head[at + 2], 'x')) return true;
    return false;
}

// The check the file's bytes call for, whatever it is called: readers other than the one its name
// says take a file by its signature (and the PLY reader takes "ply" in any case).
bool checkByBytes(const declared::FileBytes& file, const std::string& head, const std::string& name, std::string& error)
{
    using namespace declared;
    if (head.size() >= 3 && lowerIs(head[0], 'p') && lowerIs(head[1], 'l') && lowerIs(head[2], 'y'))
        return checkPly(file, error);
    if (startsWith(head, "glTF")) return checkGlb(file, error);
    if (startsWith(head, "PK\x03\x04") || startsWith(head, "PK\x05\x06")) return checkZip(file, error);
    if (startsWith(head, "Kaydara FBX Binary")) return checkBinaryFbx(file, error);
    // JSON, as the glTF readers' parser takes it: an array at the top nests as deep as an object.
    // Only a name that says glTF makes bytes that merely start like JSON a malformed JSON file.
    if (firstNonSpace(head) == '{' || firstNonSpace(head) == '[')
        return checkGltfJson(file, error, lowerExtension(name) != "gltf");
    if (firstNonSpace(head) == '<') return checkXml(file, error);
    if (offHeader(head)) return checkOff(file, error);
    // Text only: a picture may name the format in its metadata, and its bytes are no braces.
    if (mentionsFbx(head) && head.find('\0') == std::string::npos) return checkTextFbx(file, error);
    return true;
}

// The check that the name calls for as well: a file that another file names is read by the reader
// its name picks, whatever its bytes show, and some bytes carry no signature at all (binary STL, OFF
// without its header word).
bool checkByName(const declared::FileBytes& file, const std::string& head, const std::string& name, std::string& error)
{
    using namespace declared;
    const std::string extension = lowerExtension(name);
    if (extension == "stl") return checkBinaryStl(file, error);
    if (extension == "off") return checkOff(file, error);
    if (extension == "fbx" && !startsWith(head, "Kaydara FBX Binary")) return checkTextFbx(file, error);
    if (extension == "gltf" && firstNonSpace(head) != '{' && firstNonSpace(head) != '[')
        return checkGltfJson(file, error);
    return true;
}

bool checkContent(const declared::FileBytes& file, const std::string& name, std::string& error)
{
    const std::string head = file.read(0, 4096);
    return checkByBytes(file, head, name, error) && checkByName(file, head, name, error);
}

}  // namespace

bool checkDeclaredSizes(const std::string& path, std::string& error)
{
    declared::FileBytes file;
    return file.open(path, error) && checkContent(file, path, error);
}

bool checkDeclaredContent(int fd, const std::string& name, std::string& error)
{
    declared::FileBytes file;
    return file.borrow(fd, error) && checkContent(file, name, error);
}
