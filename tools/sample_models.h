// The generated models: random ones of any size, and the sample solids, as model text.
#pragma once

#include <cstdint>
#include <string>

#include "model/shape_write.h"

// Random coordinates over the whole 16-bit range and faces of 3 to 5 indices: a model of the
// largest size the format can address is randomModel(32767, 65534, seed).
std::string randomModel(int vertexCount, int polygonCount, uint32_t seed);

// Sample models, faces turned so that their normals point outwards once the loader negates y.
std::string cubeModel();
std::string dodecahedronModel();
std::string torusModel(int rings, int sides);
std::string segmentsModel();
