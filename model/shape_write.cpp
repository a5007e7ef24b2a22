// ZEM text writing: the one writer of model files, used by the generator and the converter.
#include "model/shape_write.h"

#include <cstdio>

#include "model/console.h"
#include "model/shape.h"

std::string formatModel(const std::string& name, const std::vector<TextVertex>& vertices,
                        const std::vector<TextPolygon>& polygons)
{
    std::string text;
    text.reserve(32 * vertices.size() + 56 * polygons.size() + 256);
    char line[128];
    std::snprintf(line, sizeof line, " = { 0, %zu, %zu };\n", vertices.size(), polygons.size());
    text += "SHAPE " + name + "_shape" + line;
    text += "VECTOR " + name + "_vector[] = {\n";
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        const TextVertex& v = vertices[i];
        std::snprintf(line, sizeof line, "{ %d, %d, %d }%s\n", v.x, v.y, v.z, i + 1 < vertices.size() ? "," : "");
        text += line;
    }
    text += "};\nSPOLY " + name + "_spoly[] = {\n";
    for (std::size_t p = 0; p < polygons.size(); ++p) {
        const TextPolygon& polygon = polygons[p];
        std::snprintf(line, sizeof line, "{ %d, %zu, { ", polygon.colour, polygon.indices.size());
        text += line;
        for (std::size_t k = 0; k < polygon.indices.size(); ++k) {
            std::snprintf(line, sizeof line, k + 1 < polygon.indices.size() ? "%d, " : "%d ", polygon.indices[k]);
            text += line;
        }
        text += p + 1 < polygons.size() ? "} },\n" : "} }\n";
    }
    text += "};\n";
    return text;
}

bool loadsBackAs(const std::string& text, const std::string& name, std::size_t vertexCount, std::size_t polygonCount,
                 std::string& error)
{
    const CapturedMessages capture;
    Shape shape;
    if (!shape.parse(text.data(), text.data() + text.size())) {
        error = capture.lines().empty() ? "the loader refused it" : capture.lines().front();
        return false;
    }
    if (name != shape.name || static_cast<std::size_t>(shape.vertexCount) != vertexCount ||
        static_cast<std::size_t>(shape.polygonCount) != polygonCount) {
        error = "the name or the counts read back differently";
        return false;
    }
    return true;
}
