// Grouping of vertices by exact position, in time linear in their number whatever the positions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/allocate.h"
#include "model/shape.h"

// Below this many vertices a comparison sort is cheaper than three passes over 65,536 buckets.
constexpr int32_t kRadixFrom = 4096;
constexpr std::size_t kBuckets = 65536;

// The tables the grouping needs; the caller allocates them together, so that running out of
// memory is one message: order, groupOf and (from kRadixFrom vertices on) scratch of count
// entries, buckets of kBuckets.
struct GroupTables {
    Array<int32_t> order;    // vertex indices, sorted by position
    Array<int32_t> scratch;  // the other half of each radix pass
    Array<int32_t> buckets;  // one count per digit value
    Array<int32_t> groupOf;  // per vertex: the number of its position
};

// Numbers every position: vertices at equal coordinates share one group, since a vertex normal
// gathers the faces of every polygon corner that stands where the vertex stands. Returns the
// number of groups; groupOf holds each vertex's. steps, when given, receives the elementary steps
// taken (comparisons, or bucket and element visits), which tests count instead of timing.
int32_t groupByPosition(const ShapeVertex* vertices, int32_t count, GroupTables& tables, std::size_t* steps = nullptr);
