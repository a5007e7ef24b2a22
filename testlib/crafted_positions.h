// Vertex positions crafted against a position hash: the worst case a model file can force on a
// grouping of vertices that hashes the packed coordinates and probes linearly.
#pragma once

#include <cstdint>
#include <vector>

#include "model/shape.h"

// The multiplicative hash such a grouping would use: the packed 48-bit position (plus one), times
// a 64-bit odd constant, bits from 20 up, masked to the table of 2^slotBits slots.
uint64_t packedPosition(const ShapeVertex& v);
std::size_t multiplicativeSlot(uint64_t packed, int slotBits);

// count distinct positions whose slots all fall into a narrow window of a table of 2^slotBits
// slots: keys that differ only in bits the hash drops, over a few bases whose slots are adjacent.
std::vector<ShapeVertex> positionsCollidingInAHash(int count, int slotBits);

// count positions drawn uniformly from the whole 16-bit cube.
std::vector<ShapeVertex> randomPositions(int count, uint32_t seed);
