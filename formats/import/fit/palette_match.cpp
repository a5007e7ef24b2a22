// Palette matching: a source colour to the nearest of the 32 entries, by distance in CIELAB.
#include <cmath>

#include "formats/import/import.h"
#include "render/palette.h"

namespace {

struct Lab {
    double l, a, b;
};

double labCurve(double t)
{
    constexpr double kDelta = 6.0 / 29.0;
    return t > kDelta * kDelta * kDelta ? std::cbrt(t) : t / (3 * kDelta * kDelta) + 4.0 / 29.0;
}

// sRGB with the D65 white point, as screens show the palette.
Lab labFromSrgb(double red, double green, double blue)
{
    const double r = linearFromSrgb(red);
    const double g = linearFromSrgb(green);
    const double b = linearFromSrgb(blue);
    const double x = (0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047;
    const double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    const double z = (0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883;
    const double fx = labCurve(x);
    const double fy = labCurve(y);
    const double fz = labCurve(z);
    return Lab{116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
}

struct PaletteLab {
    Lab entries[Palette::kSize];
    PaletteLab()
    {
        for (int i = 0; i < Palette::kSize; ++i)
            entries[i] = labFromSrgb(Palette::colours[i][0], Palette::colours[i][1], Palette::colours[i][2]);
    }
};

}  // namespace

int nearestPaletteEntry(SourceColour colour)
{
    const auto finiteOr0 = [](float c) { return std::isfinite(c) ? static_cast<double>(c) : 0.0; };
    const Lab wanted = labFromSrgb(finiteOr0(colour.r), finiteOr0(colour.g), finiteOr0(colour.b));
    static const PaletteLab palette;
    int best = 0;
    double bestDistance = INFINITY;
    // Entries 0 and 16 are both black: the first of equals wins, so the bright half is preferred.
    for (int i = 0; i < Palette::kSize; ++i) {
        const Lab& lab = palette.entries[i];
        const double dl = lab.l - wanted.l;
        const double da = lab.a - wanted.a;
        const double db = lab.b - wanted.b;
        const double distance = dl * dl + da * da + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}
