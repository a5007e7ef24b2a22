// PLY extras: the importer library reads colours per vertex only and no edges, so face colours (red,
// green and blue properties of the face element) and edge elements are read here, in file order.
#include <algorithm>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "formats/import/ply_extras.h"

namespace {

struct Property {
    std::string name;
    std::string type;       // the value's type, or a list's item type
    std::string countType;  // a list's count type; empty for a single value
};

struct Element {
    std::string name;
    std::size_t count = 0;
    std::vector<Property> properties;
};

int typeSize(const std::string& type)
{
    if (type == "char" || type == "uchar" || type == "int8" || type == "uint8") return 1;
    if (type == "short" || type == "ushort" || type == "int16" || type == "uint16") return 2;
    if (type == "int" || type == "uint" || type == "int32" || type == "uint32" || type == "float" || type == "float32")
        return 4;
    if (type == "double" || type == "float64") return 8;
    return 0;
}

bool isFloat(const std::string& type)
{
    return type == "float" || type == "float32" || type == "double" || type == "float64";
}

// One value of the body, binary or text; false at the end of the data or on a malformed value.
class Body {
public:
    Body(std::istream& in, bool ascii, bool bigEndian) : in_(in), ascii_(ascii), bigEndian_(bigEndian) {}

    bool read(const std::string& type, double& value)
    {
        if (ascii_) return static_cast<bool>(in_ >> value);
        const int size = typeSize(type);
        unsigned char raw[8];
        if (size == 0 || !in_.read(reinterpret_cast<char*>(raw), size)) return false;
        if (bigEndian_)
            for (int k = 0; k < size / 2; ++k) std::swap(raw[k], raw[size - 1 - k]);
        const auto as = [&](auto v) {
            std::memcpy(&v, raw, sizeof v);
            value = static_cast<double>(v);
        };
        if (type == "char" || type == "int8")
            as(int8_t());
        else if (type == "uchar" || type == "uint8")
            as(uint8_t());
        else if (type == "short" || type == "int16")
            as(int16_t());
        else if (type == "ushort" || type == "uint16")
            as(uint16_t());
        else if (type == "int" || type == "int32")
            as(int32_t());
        else if (type == "uint" || type == "uint32")
            as(uint32_t());
        else if (type == "float" || type == "float32")
            as(float());
        else
            as(double());
        return true;
    }

    bool skip(const Property& property)
    {
        double value = 0;
        if (property.countType.empty()) return read(property.type, value);
        if (!read(property.countType, value) || !(value >= 0) || value > 1e6) return false;
        for (long k = 0, n = static_cast<long>(value); k < n; ++k)
            if (!read(property.type, value)) return false;
        return true;
    }

private:
    std::istream& in_;
    bool ascii_;
    bool bigEndian_;
};

bool readHeader(std::istream& in, std::vector<Element>& elements, std::string& format)
{
    std::string line;
    if (!std::getline(in, line)) return false;  // the magic word, already checked
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        if (keyword == "end_header") return true;
        if (keyword == "format") {
            words >> format;
        } else if (keyword == "element") {
            Element element;
            if (!(words >> element.name >> element.count)) return false;
            elements.push_back(element);
        } else if (keyword == "property") {
            if (elements.empty()) return false;
            Property property;
            if (!(words >> property.type)) return false;
            if (property.type == "list" && !(words >> property.countType >> property.type)) return false;
            if (!(words >> property.name) || typeSize(property.type) == 0) return false;
            if (!property.countType.empty() && typeSize(property.countType) == 0) return false;
            elements.back().properties.push_back(property);
        }
    }
    return false;
}

// What each property is to us, as an index into the values read of an entry.
enum Role { kX, kY, kZ, kRed, kGreen, kBlue, kVertex1, kVertex2, kRoles };

// Each property's role in element, -1 for one we skip; coloured when red, green and blue are all there.
std::vector<int> rolesOf(const Element& element, bool& coloured)
{
    static const char* const roleNames[kRoles] = {"x", "y", "z", "red", "green", "blue", "vertex1", "vertex2"};
    std::vector<int> roles(element.properties.size(), -1);
    bool given[kRoles] = {};
    for (std::size_t p = 0; p < element.properties.size(); ++p)
        for (int r = 0; r < kRoles; ++r)
            if (element.properties[p].name == roleNames[r] && element.properties[p].countType.empty()) {
                roles[p] = r;
                given[r] = true;
            }
    coloured = given[kRed] && given[kGreen] && given[kBlue];
    return roles;
}

// One entry's values by role, with white and no vertices where the entry does not say.
bool readEntry(Body& body, const Element& element, const std::vector<int>& roles, double (&values)[kRoles])
{
    const double defaults[kRoles] = {0, 0, 0, 255, 255, 255, -1, -1};
    std::copy(defaults, defaults + kRoles, values);
    for (std::size_t p = 0; p < element.properties.size(); ++p) {
        const Property& property = element.properties[p];
        if (roles[p] < 0) {
            if (!body.skip(property)) return false;
        } else if (!body.read(property.type, values[roles[p]])) {
            return false;
        } else if (roles[p] >= kRed && roles[p] <= kBlue && isFloat(property.type)) {
            values[roles[p]] *= 255;  // floating colours run from 0 to 1, whole ones to 255
        }
    }
    return true;
}

void addEdge(const double (&values)[kRoles], SourceColour colour, const std::vector<SourcePoint>& vertices,
             PlyExtras& extras)
{
    const double a = values[kVertex1], b = values[kVertex2];
    // One bad edge is no reason to drop the good ones after it.
    if (!(a >= 0 && a < double(vertices.size()) && b >= 0 && b < double(vertices.size()))) {
        ++extras.edgesDropped;
        return;
    }
    extras.edgeEnds.push_back(vertices[std::size_t(a)]);
    extras.edgeEnds.push_back(vertices[std::size_t(b)]);
    extras.edgeColours.push_back(colour);
}

}  // namespace

namespace {

// The reader's file as a stream, read in pieces.
class IOStreamBuffer : public std::streambuf {
public:
    explicit IOStreamBuffer(Assimp::IOStream& stream) : stream_(stream) {}

protected:
    int_type underflow() override
    {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        const std::size_t got = stream_.Read(buffer_, 1, sizeof buffer_);
        if (got == 0) return traits_type::eof();
        setg(buffer_, buffer_, buffer_ + got);
        return traits_type::to_int_type(*gptr());
    }
    pos_type seekpos(pos_type at, std::ios_base::openmode) override
    {
        if (at < 0 || stream_.Seek(static_cast<std::size_t>(at), aiOrigin_SET) != aiReturn_SUCCESS)
            return pos_type(off_type(-1));
        setg(buffer_, buffer_, buffer_);
        return at;
    }
    pos_type seekoff(off_type offset, std::ios_base::seekdir way, std::ios_base::openmode which) override
    {
        if (way != std::ios_base::beg) return pos_type(off_type(-1));
        return seekpos(pos_type(offset), which);
    }

private:
    Assimp::IOStream& stream_;
    char buffer_[65536];
};

bool readExtras(std::istream& in, PlyExtras& extras);

}  // namespace

bool readPlyExtras(const std::string& path, PlyExtras& extras)
{
    std::ifstream in(path, std::ios::binary);
    return readExtras(in, extras);
}

bool readPlyExtras(Assimp::IOSystem& io, const std::string& path, PlyExtras& extras)
{
    extras = PlyExtras();
    const std::unique_ptr<Assimp::IOStream, std::function<void(Assimp::IOStream*)>> file(
        io.Open(path.c_str(), "rb"), [&io](Assimp::IOStream* stream) { io.Close(stream); });
    if (!file) return false;
    IOStreamBuffer buffer(*file);
    std::istream in(&buffer);
    return readExtras(in, extras);
}

namespace {

bool readExtras(std::istream& in, PlyExtras& extras)
{
    extras = PlyExtras();
    // Other formats are not read as far as a first line, which in a binary file can be all of it.
    char magic[3] = {};
    if (!in.read(magic, 3) || (std::memcmp(magic, "ply", 3) != 0 && std::memcmp(magic, "PLY", 3) != 0)) return false;
    in.seekg(0);
    std::vector<Element> elements;
    std::string format;
    if (!in || !readHeader(in, elements, format)) return false;
    Body body(in, format == "ascii", format == "binary_big_endian");
    std::vector<SourcePoint> vertices;
    for (const Element& element : elements) {
        bool coloured = false;
        const std::vector<int> roles = rolesOf(element, coloured);
        for (std::size_t i = 0; i < element.count; ++i) {
            double values[kRoles];
            if (!readEntry(body, element, roles, values)) return false;
            const SourceColour colour{float(values[kRed] / 255), float(values[kGreen] / 255),
                                      float(values[kBlue] / 255)};
            if (element.name == "vertex")
                vertices.push_back(SourcePoint{values[kX], values[kY], values[kZ]});
            else if (element.name == "face" && coloured)
                extras.faceColours.push_back(colour);
            else if (element.name == "edge")
                addEdge(values, colour, vertices, extras);
        }
    }
    return true;
}
}  // namespace
