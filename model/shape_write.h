// ZEM text writing: well-formed model files from vertex and polygon lists.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct TextVertex {
    int x, y, z;  // as written in the file: y grows downwards on the screen
};

struct TextPolygon {
    int colour;
    std::vector<int> indices;
};

// The model as text that the loader reads back exactly: one entry per line, with a blank before
// each closing brace. The name must hold no "_shape" and no zero byte.
std::string formatModel(const std::string& name, const std::vector<TextVertex>& vertices,
                        const std::vector<TextPolygon>& polygons);

// Whether text loads, as the viewer will read it, as a model of this name and these counts; error
// says why not: the loader's first line, or that the name or counts differ.
bool loadsBackAs(const std::string& text, const std::string& name, std::size_t vertexCount, std::size_t polygonCount,
                 std::string& error);
