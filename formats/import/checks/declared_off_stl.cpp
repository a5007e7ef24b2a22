// OFF's counts and binary STL's triangle count against the file's size.
#include <cstdint>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "formats/import/checks/declared_formats.h"

namespace declared {

namespace {

// A vertex is at least three numbers and their separators ("0 0 0\n"), a face at least a count and
// a separator.
constexpr uint64_t kLeastVertexBytes = 6;
constexpr uint64_t kLeastFaceBytes = 2;

bool endsInOff(const std::string& word) { return word.size() >= 3 && word.compare(word.size() - 3, 3, "OFF") == 0; }

// The words after comments are dropped, up to the header and the two counts that follow it.
std::vector<std::string> offHeaderWords(LineReader& lines)
{
    std::vector<std::string> header;
    std::string line;
    while (header.size() < 3 && lines.next(line)) {
        const std::size_t comment = line.find('#');
        if (comment != std::string::npos) line.resize(comment);
        for (const std::string& word : wordsOf(line))
            if (header.size() < 3) header.push_back(word);
    }
    return header;
}

}  // namespace

bool checkOff(const FileBytes& file, std::string& error)
{
    LineReader lines(file);
    const std::vector<std::string> header = offHeaderWords(lines);
    uint64_t vertices = 0, faces = 0;
    // The header word may be left out: the reader then takes the first two words for the counts.
    const std::size_t counts = !header.empty() && endsInOff(header[0]) ? 1 : 0;
    // What the reader would refuse on its own (counts that are not counts) is its to say.
    if (header.size() < counts + 2 || !parseCount(header[counts], vertices) || !parseCount(header[counts + 1], faces))
        return true;
    const uint64_t room = saturatingSum(file.size() - lines.offset(), 1);
    const uint64_t vertexBytes = saturatingProduct(vertices, kLeastVertexBytes),
                   faceBytes = saturatingProduct(faces, kLeastFaceBytes);
    if (vertexBytes > room || faceBytes > room) {
        const Declared vertexCount{vertices, "vertex", "vertices"}, faceCount{faces, "face", "faces"};
        error = tooManyFor({vertexBytes > room ? vertexCount : faceCount}, file.size());
        return false;
    }
    if (saturatingSum(vertexBytes, faceBytes) <= room) return true;
    error = tooManyFor({{vertices, "vertex", "vertices"}, {faces, "face", "faces"}}, file.size());
    return false;
}

bool checkBinaryStl(const FileBytes& file, std::string& error)
{
    constexpr uint64_t kHeaderBytes = 84, kTriangleBytes = 50;
    if (file.size() < kHeaderBytes) return true;  // the reader refuses it as it is
    const std::string head = file.read(0, kHeaderBytes);
    // Text STL starts with "solid"; so may a binary one's free header, but then its bytes are not text.
    bool text = head.compare(0, 5, "solid") == 0;
    for (unsigned char c : head)
        if (c == 127 || (c < 32 && c != '\n' && c != '\r' && c != '\t')) text = false;
    if (text || head.size() < kHeaderBytes) return true;
    const uint64_t triangles = littleEndian32(head, 80);
    if (saturatingSum(kHeaderBytes, saturatingProduct(triangles, kTriangleBytes)) <= file.size()) return true;
    error = tooManyFor({{triangles, "triangle", "triangles"}}, file.size());
    return false;
}

}  // namespace declared
