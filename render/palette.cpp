// Palette: the colour table, a bright half (0 to 15) and its darker repeat (16 to 31).
#include "render/palette.h"

#include <cmath>

const double Palette::colours[Palette::kSize][3] = {
    {0.0, 0.0, 0.0}, {0.0, 0.0, 0.6}, {0.0, 0.6, 0.0}, {0.0, 0.6, 0.6},  //
    {0.6, 0.0, 0.0}, {0.6, 0.0, 0.6}, {0.6, 0.5, 0.2}, {0.6, 0.6, 0.6},  //
    {0.3, 0.3, 0.3}, {0.3, 0.3, 1.0}, {0.3, 1.0, 0.3}, {0.3, 1.0, 1.0},  //
    {1.0, 0.3, 0.3}, {1.0, 0.3, 1.0}, {1.0, 1.0, 0.3}, {1.0, 1.0, 1.0},  //
    {0.0, 0.0, 0.0}, {0.0, 0.0, 0.4}, {0.0, 0.4, 0.0}, {0.0, 0.4, 0.4},  //
    {0.4, 0.0, 0.0}, {0.4, 0.0, 0.4}, {0.4, 0.3, 0.1}, {0.4, 0.4, 0.4},  //
    {0.2, 0.2, 0.2}, {0.2, 0.2, 0.8}, {0.2, 0.8, 0.2}, {0.2, 0.8, 0.8},  //
    {0.8, 0.2, 0.2}, {0.8, 0.2, 0.8}, {0.8, 0.8, 0.2}, {0.8, 0.8, 0.8},
};

namespace {

double clamp01(double c) { return c > 0 ? (c < 1 ? c : 1) : 0; }  // NaN to 0

}  // namespace

double linearFromSrgb(double encoded)
{
    const double c = clamp01(encoded);
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double srgbFromLinear(double linear)
{
    const double c = clamp01(linear);
    return c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
}
