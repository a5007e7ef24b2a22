// The literal vertex-by-vertex normal computation, kept as the oracle for the linear-time one.
#pragma once

#include <vector>

#include "model/shape.h"

struct LiteralNormals {
    std::vector<Vector3> face;    // per polygon
    std::vector<Vector3> vertex;  // per vertex
};

// Every vertex compared with every polygon index, sums in polygon and index order, no early exit.
// A vertex that no polygon names gets zero instead of the 0 * (1 / 0) the plain loop would give.
LiteralNormals literalNormals(const Shape& shape);

bool sameBits(const Vector3& a, const Vector3& b);

// Index of the first normal whose bits differ from the oracle's, or -1 when all agree.
long firstNormalMismatch(const Shape& shape, const LiteralNormals& oracle);
