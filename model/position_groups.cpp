// Grouping of vertices by exact position: a sort of the packed coordinates, linear whatever they are.
#include "model/position_groups.h"

#include <algorithm>

namespace {

// One coordinate as an unsigned 16-bit digit that sorts in the same order as the signed value.
uint32_t digit(int16_t c) { return static_cast<uint32_t>(static_cast<uint16_t>(c)) ^ 0x8000u; }

// Sorts the vertex indices by position, z then y then x as the least significant digit first:
// a stable counting sort per coordinate, linear whatever the positions are. No position can
// crowd the others out, as colliding keys can in a hash table.
void sortByPosition(const ShapeVertex* vertices, int32_t count, GroupTables& t, std::size_t& steps)
{
    int32_t* order = t.order.get();
    for (int32_t i = 0; i < count; ++i) order[i] = i;
    if (count < kRadixFrom) {
        std::sort(order, order + count, [vertices, &steps](int32_t a, int32_t b) {
            ++steps;
            const ShapeVertex& u = vertices[a];
            const ShapeVertex& v = vertices[b];
            if (u.x != v.x) return u.x < v.x;
            if (u.y != v.y) return u.y < v.y;
            return u.z < v.z;
        });
        return;
    }
    int32_t* from = order;
    int32_t* to = t.scratch.get();
    int32_t* counts = t.buckets.get();
    for (int16_t ShapeVertex::*coordinate : {&ShapeVertex::z, &ShapeVertex::y, &ShapeVertex::x}) {
        std::fill(counts, counts + kBuckets, 0);
        steps += 2 * static_cast<std::size_t>(count) + kBuckets;
        for (int32_t i = 0; i < count; ++i) ++counts[digit(vertices[i].*coordinate)];
        int32_t start = 0;
        for (std::size_t b = 0; b < kBuckets; ++b) {
            const int32_t n = counts[b];
            counts[b] = start;
            start += n;
        }
        for (int32_t i = 0; i < count; ++i) {
            const int32_t v = from[i];
            to[counts[digit(vertices[v].*coordinate)]++] = v;
        }
        std::swap(from, to);
    }
    // Three passes leave the result in the scratch table; it becomes the order.
    if (from != order) std::swap(t.order, t.scratch);
}

}  // namespace

int32_t groupByPosition(const ShapeVertex* vertices, int32_t count, GroupTables& t, std::size_t* steps)
{
    std::size_t counted = 0;
    sortByPosition(vertices, count, t, counted);
    counted += static_cast<std::size_t>(count);
    const int32_t* order = t.order.get();
    int32_t groups = 0;
    for (int32_t i = 0; i < count; ++i) {
        const ShapeVertex& v = vertices[order[i]];
        if (i > 0) {
            const ShapeVertex& previous = vertices[order[i - 1]];
            if (v.x != previous.x || v.y != previous.y || v.z != previous.z) ++groups;
        }
        t.groupOf[order[i]] = groups;
    }
    if (steps) *steps = counted;
    return count > 0 ? groups + 1 : 0;
}

