// Model text writing: well-formed model files from vertex and polygon lists, and the generated models.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TextVertex {
    int x, y, z;  // as written in the file: y grows downwards on the screen
};

struct TextPolygon {
    int colour;
    std::vector<int> indices;
};

std::string formatModel(const std::string& name, const std::vector<TextVertex>& vertices,
                        const std::vector<TextPolygon>& polygons);

// Random coordinates over the whole 16-bit range and faces of 3 to 5 indices: a model of the
// largest size the format can address is randomModel(32767, 65534, seed).
std::string randomModel(int vertexCount, int polygonCount, uint32_t seed);

// Sample models, faces turned so that their normals point outwards once the loader negates y.
std::string cubeModel();
std::string dodecahedronModel();
std::string torusModel(int rings, int sides);
std::string segmentsModel();
