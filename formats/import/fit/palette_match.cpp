// Palette matching: a source colour to the nearest of the 32 entries, by the CIEDE2000 colour difference.
#include <cmath>

#include "formats/import/fit/fit.h"
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
    bool neutral[Palette::kSize];  // black, the greys and white
    PaletteLab()
    {
        for (int i = 0; i < Palette::kSize; ++i) {
            const double* c = Palette::colours[i];
            entries[i] = labFromSrgb(c[0], c[1], c[2]);
            neutral[i] = c[0] == c[1] && c[1] == c[2];
        }
    }
};

// CIELAB chroma below which a colour is near neutral, a grey with a tint. A colour beyond it has a
// hue, which the palette's greys would take away: textured faces of muted pictures (land, shade)
// are that far from a grey of their lightness and farther from the palette's vivid colours, and
// turned grey the picture was lost.
constexpr double kNearNeutralChroma = 10;

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwentyFiveToTheSeventh = 6103515625.0;

// By multiplication: std::pow would cost as much as the rest of the difference together.
double seventhPower(double x)
{
    const double x2 = x * x;
    return x2 * x2 * x2 * x;
}
double radians(double degrees) { return degrees * kPi / 180; }

// Hue angle in degrees, 0 to 360; 0 for a colour without chroma.
double hueDegrees(double b, double a)
{
    if (a == 0 && b == 0) return 0;
    const double h = std::atan2(b, a) * 180 / kPi;
    return h < 0 ? h + 360 : h;
}

}  // namespace

// Plain distance in CIELAB weighs a difference of chroma as much as one of lightness or hue, so a
// dark, muted blue (a sea in a photograph) lies nearer black or dark grey than any blue entry, whose
// chroma is far higher: every such face would turn grey. CIEDE2000 scales chroma and hue
// differences by the colours' chroma, as eyes judge them, and keeps the hue.
double colourDifference2000(double l1, double a1, double b1, double l2, double a2, double b2)
{
    const double c1 = std::hypot(a1, b1), c2 = std::hypot(a2, b2);
    const double meanC = (c1 + c2) / 2;
    const double meanC7 = seventhPower(meanC);
    const double g = 0.5 * (1 - std::sqrt(meanC7 / (meanC7 + kTwentyFiveToTheSeventh)));
    const double a1p = (1 + g) * a1, a2p = (1 + g) * a2;
    const double c1p = std::hypot(a1p, b1), c2p = std::hypot(a2p, b2);
    const double h1p = hueDegrees(b1, a1p), h2p = hueDegrees(b2, a2p);
    const bool achromatic = c1p * c2p == 0;

    double dhp = 0;
    if (!achromatic) {
        dhp = h2p - h1p;
        if (dhp > 180)
            dhp -= 360;
        else if (dhp < -180)
            dhp += 360;
    }
    const double dLp = l2 - l1;
    const double dCp = c2p - c1p;
    const double dHp = 2 * std::sqrt(c1p * c2p) * std::sin(radians(dhp / 2));

    const double meanL = (l1 + l2) / 2;
    const double meanCp = (c1p + c2p) / 2;
    double meanH = h1p + h2p;
    if (!achromatic) meanH = std::fabs(h1p - h2p) <= 180 ? meanH / 2 : (meanH < 360 ? meanH + 360 : meanH - 360) / 2;
    const double t = 1 - 0.17 * std::cos(radians(meanH - 30)) + 0.24 * std::cos(radians(2 * meanH)) +
                     0.32 * std::cos(radians(3 * meanH + 6)) - 0.20 * std::cos(radians(4 * meanH - 63));
    const double rotation = 30 * std::exp(-((meanH - 275) / 25) * ((meanH - 275) / 25));
    const double meanCp7 = seventhPower(meanCp);
    const double rc = 2 * std::sqrt(meanCp7 / (meanCp7 + kTwentyFiveToTheSeventh));
    const double sl = 1 + 0.015 * (meanL - 50) * (meanL - 50) / std::sqrt(20 + (meanL - 50) * (meanL - 50));
    const double sc = 1 + 0.045 * meanCp;
    const double sh = 1 + 0.015 * meanCp * t;
    const double rt = -std::sin(radians(2 * rotation)) * rc;
    const double l = dLp / sl, c = dCp / sc, h = dHp / sh;
    return std::sqrt(l * l + c * c + h * h + rt * c * h);
}

int nearestPaletteEntry(SourceColour colour)
{
    // The faces of one material come one after another with the same colour: its entry is kept.
    thread_local SourceColour lastColour{-1, -1, -1};
    thread_local int lastEntry = 0;
    if (colour.r == lastColour.r && colour.g == lastColour.g && colour.b == lastColour.b) return lastEntry;
    const auto finiteOr0 = [](float c) { return std::isfinite(c) ? static_cast<double>(c) : 0.0; };
    const Lab wanted = labFromSrgb(finiteOr0(colour.r), finiteOr0(colour.g), finiteOr0(colour.b));
    static const PaletteLab palette;
    int best = 0;
    double bestDistance = INFINITY;
    const bool hued = std::hypot(wanted.a, wanted.b) >= kNearNeutralChroma;
    // Entries 0 and 16 are both black: the first of equals wins, so the bright half is preferred.
    for (int i = 0; i < Palette::kSize; ++i) {
        if (hued && palette.neutral[i]) continue;
        const Lab& lab = palette.entries[i];
        const double distance = colourDifference2000(lab.l, lab.a, lab.b, wanted.l, wanted.a, wanted.b);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    lastColour = colour;
    lastEntry = best;
    return best;
}
