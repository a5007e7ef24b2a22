// Palette: the 32 fixed colours that a polygon's colour index selects.
#pragma once

#include <cstdint>

struct Palette {
    static constexpr int kSize = 32;
    static const double colours[kSize][3];  // red, green, blue in 0 to 1

    // Stored files may hold colour indices up to 255; they wrap rather than read past the table.
    static const double* colour(uint8_t index) { return colours[index % kSize]; }
};

// The palette's colours are sRGB, as screens show them; light adds up in linear terms. Each
// channel is clamped to 0 to 1 first (NaN to 0).
double linearFromSrgb(double encoded);
double srgbFromLinear(double linear);
