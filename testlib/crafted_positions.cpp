// Vertex positions crafted against a multiplicative position hash, and random ones to compare with.
#include "testlib/crafted_positions.h"

#include <random>

uint64_t packedPosition(const ShapeVertex& v)
{
    return static_cast<uint64_t>(static_cast<uint16_t>(v.x)) | static_cast<uint64_t>(static_cast<uint16_t>(v.y)) << 16 |
           static_cast<uint64_t>(static_cast<uint16_t>(v.z)) << 32;
}

std::size_t multiplicativeSlot(uint64_t packed, int slotBits)
{
    return static_cast<std::size_t>(((packed + 1) * 0x9E3779B97F4A7C15ull) >> 20) & ((std::size_t(1) << slotBits) - 1);
}

std::vector<ShapeVertex> positionsCollidingInAHash(int count, int slotBits)
{
    // Bits 20 and up of a product depend only on the factors' bits below them, so the slot of a
    // table of up to 2^20 slots ignores the packed key's top 8 bits (z's high byte): 256 keys per
    // base share a slot. Bases are searched whose slots lie in a window of a few thousand.
    const std::size_t window = 4096;
    std::mt19937_64 random(12345);
    std::vector<ShapeVertex> positions;
    positions.reserve(static_cast<std::size_t>(count));
    while (static_cast<int>(positions.size()) < count) {
        const uint64_t base = random() & ((uint64_t(1) << 40) - 1);
        if (multiplicativeSlot(base, slotBits) >= window) continue;
        for (uint64_t high = 0; high < 256 && static_cast<int>(positions.size()) < count; ++high) {
            const uint64_t packed = base | high << 40;
            positions.push_back({static_cast<int16_t>(packed & 0xffff), static_cast<int16_t>((packed >> 16) & 0xffff),
                                 static_cast<int16_t>((packed >> 32) & 0xffff)});
        }
    }
    return positions;
}

std::vector<ShapeVertex> randomPositions(int count, uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> coordinate(-32768, 32767);
    std::vector<ShapeVertex> positions(static_cast<std::size_t>(count));
    for (ShapeVertex& v : positions)
        v = {static_cast<int16_t>(coordinate(random)), static_cast<int16_t>(coordinate(random)),
             static_cast<int16_t>(coordinate(random))};
    return positions;
}
