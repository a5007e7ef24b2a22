// zem_oracle: the C++ side of the add-on's tests, printing what the loader and the palette match make of their input.
//   zem_oracle load FILE...   each file as "file PATH", then the loaded model or "error LINE"
//   zem_oracle palette        for each "R G B" line of linear colour on standard input, zemconvert's entry
//   zem_oracle names          for each pair of lines (a name, a fallback) on standard input, zemconvert's model name
#include <cstdio>
#include <cstring>
#include <string>

#include "formats/import/fit/fit.h"
#include "formats/import/import.h"
#include "formats/import/texture/colour_choice.h"
#include "formats/import/texture/texture_sample.h"
#include "model/console.h"
#include "model/shape.h"

namespace {

void printModel(const Shape& shape)
{
    std::printf("name ");
    for (const char* c = shape.name; *c; ++c) std::printf("%02x", static_cast<unsigned char>(*c));
    std::printf("\nvertices %d\n", static_cast<int>(shape.vertexCount));
    for (int32_t i = 0; i < shape.vertexCount; ++i)
        std::printf("v %d %d %d\n", shape.vertices[i].x, shape.vertices[i].y, shape.vertices[i].z);
    std::printf("polygons %d\n", static_cast<int>(shape.polygonCount));
    for (int32_t p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& polygon = shape.polygons[p];
        std::printf("p %d %d", polygon.colourIndex, polygon.count);
        for (int k = 0; k < polygon.count; ++k) std::printf(" %d", polygon.indices[k]);
        std::printf("\n");
    }
}

int load(int count, char** files)
{
    for (int i = 0; i < count; ++i) {
        std::printf("file %s\n", files[i]);
        Shape shape;
        CapturedMessages messages;
        if (shape.load(files[i]))
            printModel(shape);
        else
            for (const std::string& line : messages.lines()) std::printf("error %s\n", line.c_str());
    }
    return 0;
}

int palette()
{
    float r = 0, g = 0, b = 0;
    while (std::scanf("%f %f %f", &r, &g, &b) == 3) {
        const LinearRgb material = linearColour(r, g, b, true);
        std::printf("%d\n", nearestPaletteEntry(shownColour(material, LinearRgb{1, 1, 1})));
    }
    return 0;
}

int names()
{
    char name[1024];
    char fallback[1024];
    while (std::fgets(name, sizeof name, stdin) && std::fgets(fallback, sizeof fallback, stdin)) {
        name[std::strcspn(name, "\n")] = '\0';
        fallback[std::strcspn(fallback, "\n")] = '\0';
        std::printf("%s\n", modelName(name, fallback).c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "load") == 0) return load(argc - 2, argv + 2);
    if (argc == 2 && std::strcmp(argv[1], "palette") == 0) return palette();
    if (argc == 2 && std::strcmp(argv[1], "names") == 0) return names();
    std::fprintf(stderr, "usage: zem_oracle load FILE... | zem_oracle palette | zem_oracle names\n");
    return 2;
}
