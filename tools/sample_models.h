// The generated models: random ones of any size, and the sample solids, as model text.
#pragma once

#include <cstdint>
#include <string>

#include "model/shape_write.h"

// Random coordinates over the whole 16-bit range and faces of 3 to 5 indices: a model of the
// largest size the format can address is randomModel(32767, 65534, seed).
std::string randomModel(int vertexCount, int polygonCount, uint32_t seed);

// A rolling landscape as a height field of side x side vertices, two triangles a cell, coloured
// in bands by height (water, sand, grass, rock, snow), so colours hold for long runs. The default
// side gives 31,684 vertices and 62,658 triangles.
std::string terrainModel(int side = 178, uint32_t seed = 1);

// A ball of radius 10,000 in rings of quads between triangle fans at the poles, coloured in bands of
// latitude. The default is the finest such ball within the format's 32,768 vertices: 32,514 vertices
// and 32,768 faces, 65,024 triangles once its quads are split.
std::string sphereModel(int rings = 128, int segments = 256);
// Sample models, faces turned so that their normals point outwards once the loader negates y.
std::string cubeModel();
std::string dodecahedronModel();
std::string torusModel(int rings, int sides);
std::string segmentsModel();
