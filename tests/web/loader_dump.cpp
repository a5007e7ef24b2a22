// loader_dump: model files loaded with the model library and written out in full (every number,
// normals as the bits of their floats, the loader's lines), so that two builds of the loader can be
// compared line by line.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "model/console.h"
#include "model/shape.h"

namespace {

std::string gOut;

void keepLine(const char* line)
{
    gOut += "message ";
    gOut += line;
    if (gOut.back() != '\n') gOut += '\n';
}

uint32_t bits(float value)
{
    uint32_t b;
    std::memcpy(&b, &value, sizeof b);
    return b;
}

void append(const char* format, ...) __attribute__((format(printf, 1, 2)));
void append(const char* format, ...)
{
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    gOut += line;
}

void dumpShape(const Shape& s)
{
    gOut += "name ";
    for (const char* c = s.name; *c; ++c) append("%02x", static_cast<unsigned char>(*c));
    append("\nvertices %d\n", static_cast<int>(s.vertexCount));
    for (int32_t i = 0; i < s.vertexCount; ++i) {
        const Vector3& n = s.vertexNormals[i];
        append("v %d %d %d n %08x %08x %08x\n", s.vertices[i].x, s.vertices[i].y, s.vertices[i].z, bits(n.x), bits(n.y),
               bits(n.z));
    }
    append("polygons %d\n", static_cast<int>(s.polygonCount));
    for (int32_t p = 0; p < s.polygonCount; ++p) {
        const ShapePolygon& polygon = s.polygons[p];
        append("p %d %d", polygon.count, polygon.colourIndex);
        for (int k = 0; k < kMaxPolygonIndices; ++k) append(" %d", polygon.indices[k]);
        append(" f %08x %08x %08x\n", bits(polygon.faceNormal.x), bits(polygon.faceNormal.y),
               bits(polygon.faceNormal.z));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("usage: loader_dump MODEL...\n", stderr);
        return 2;
    }
    messageSink() = keepLine;
    for (int i = 1; i < argc; ++i) {
        gOut += "file ";
        gOut += argv[i];
        gOut += '\n';
        Shape shape;
        const bool loaded = shape.load(argv[i]);
        gOut += loaded ? "loaded\n" : "failed\n";
        if (loaded) dumpShape(shape);
        if (std::fwrite(gOut.data(), 1, gOut.size(), stdout) != gOut.size()) return 1;
        gOut.clear();
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
