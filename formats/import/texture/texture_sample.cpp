// Texture sampling over faces: the coordinate transforms, the wrap modes, the sample pattern and the weighted means.
#include "formats/import/texture/texture_sample.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

double clamp01(double c) { return c > 0 ? (c < 1 ? c : 1) : 0; }  // NaN to 0

// The linear light of each stored byte, worked out once.
struct ByteLinear {
    double values[256];
    ByteLinear()
    {
        for (int i = 0; i < 256; ++i) values[i] = linearFromSrgb(i / 255.0);
    }
};

const double* byteToLinear()
{
    static const ByteLinear table;
    return table.values;
}

// A coordinate of the picture, top to bottom or left to right, in 0 to 1; -1 for decal outside it.
double wrapped(double t, TextureWrap wrap)
{
    if (!std::isfinite(t)) t = 0;
    switch (wrap) {
    case TextureWrap::repeat:
        return t - std::floor(t);
    case TextureWrap::mirror: {
        const double period = t - 2 * std::floor(t / 2);  // 0 to 2
        return period <= 1 ? period : 2 - period;
    }
    case TextureWrap::clamp:
        return clamp01(t);
    case TextureWrap::decal:
        return t >= 0 && t <= 1 ? t : -1;
    }
    return 0;
}

// The texel under (u, v), nearest, as linear light; white where a decal leaves the face its own colours.
LinearRgb texelAt(const TextureSampler& sampler, double u, double v)
{
    const TextureImage& image = *sampler.image;
    const double x = wrapped(u, sampler.wrapU);
    const double y = wrapped(1 - v, sampler.wrapV);  // rows run from the picture's top, at v = 1
    if (x < 0 || y < 0) return LinearRgb{1, 1, 1};
    const int column = std::min(image.width - 1, static_cast<int>(x * image.width));
    const int row = std::min(image.height - 1, static_cast<int>(y * image.height));
    const unsigned char* texel = &image.rgb[(std::size_t(row) * std::size_t(image.width) + std::size_t(column)) * 3];
    const double* linear = byteToLinear();
    return LinearRgb{linear[texel[0]], linear[texel[1]], linear[texel[2]]};
}

struct Sum {
    LinearRgb colour;
    int samples = 0;
};

// Adds the n * n samples of one triangle: the centres of the n * n equal triangles it divides into,
// n * (n + 1) / 2 pointing as it does and n * (n - 1) / 2 the other way.
void sampleTriangle(const TextureSampler& sampler, const TexCoord* const uv[3], const LinearRgb* const colours[3],
                    int n, Sum& sum)
{
    const auto addAt = [&](double b1, double b2) {
        const double b0 = 1 - b1 - b2;
        const double u = b0 * uv[0]->u + b1 * uv[1]->u + b2 * uv[2]->u;
        const double v = b0 * uv[0]->v + b1 * uv[1]->v + b2 * uv[2]->v;
        LinearRgb c = texelAt(sampler, u, v);
        if (colours[0]) {
            c.r *= b0 * colours[0]->r + b1 * colours[1]->r + b2 * colours[2]->r;
            c.g *= b0 * colours[0]->g + b1 * colours[1]->g + b2 * colours[2]->g;
            c.b *= b0 * colours[0]->b + b1 * colours[1]->b + b2 * colours[2]->b;
        }
        sum.colour.r += c.r;
        sum.colour.g += c.g;
        sum.colour.b += c.b;
        ++sum.samples;
    };
    for (int i = 0; i < n; ++i)
        for (int j = 0; i + j < n; ++j) {
            addAt((i + 1.0 / 3) / n, (j + 1.0 / 3) / n);
            if (i + j + 1 < n) addAt((i + 2.0 / 3) / n, (j + 2.0 / 3) / n);
        }
}

// A segment's samples, evenly along it, about one a texel and at most 64; a point's, its texel.
LinearRgb averageSegment(const TextureSampler& sampler, const TexCoord* at, const LinearRgb* colours, std::size_t count)
{
    const TexCoord& a = at[0];
    const TexCoord& b = at[count - 1];
    const double length =
        std::hypot((b.u - a.u) * sampler.image->width, (b.v - a.v) * sampler.image->height);  // in texels
    const int samples = length > 1 ? static_cast<int>(std::min(64.0, std::ceil(length))) : 1;
    LinearRgb sum;
    for (int k = 0; k < samples; ++k) {
        const double t = (k + 0.5) / samples;
        LinearRgb c = texelAt(sampler, a.u + t * (b.u - a.u), a.v + t * (b.v - a.v));
        if (colours) {
            const LinearRgb& ca = colours[0];
            const LinearRgb& cb = colours[count - 1];
            c.r *= ca.r + t * (cb.r - ca.r);
            c.g *= ca.g + t * (cb.g - ca.g);
            c.b *= ca.b + t * (cb.b - ca.b);
        }
        sum.r += c.r;
        sum.g += c.g;
        sum.b += c.b;
    }
    return LinearRgb{sum.r / samples, sum.g / samples, sum.b / samples};
}

double signedArea(const TexCoord& a, const TexCoord& b, const TexCoord& c)
{
    return 0.5 * ((b.u - a.u) * (c.v - a.v) - (c.u - a.u) * (b.v - a.v));
}

}  // namespace

LinearRgb linearFromSrgb(const LinearRgb& encoded)
{
    return LinearRgb{linearFromSrgb(encoded.r), linearFromSrgb(encoded.g), linearFromSrgb(encoded.b)};
}

LinearRgb srgbFromLinear(const LinearRgb& linear)
{
    return LinearRgb{srgbFromLinear(linear.r), srgbFromLinear(linear.g), srgbFromLinear(linear.b)};
}

void UvTransform::apply(double& u, double& v) const
{
    const double u0 = u;
    u = m[0][0] * u0 + m[0][1] * v + m[0][2];
    v = m[1][0] * u0 + m[1][1] * v + m[1][2];
}

UvTransform gltfUvTransform(double offsetU, double offsetV, double rotation, double scaleU, double scaleV)
{
    // glTF: (s', t') = T(offset) R(rotation) S(scale) (s, t), with R's columns (cos, sin) and
    // (-sin, cos), in coordinates whose t runs down: t = 1 - v on the way in and out.
    const double c = std::cos(rotation), s = std::sin(rotation);
    UvTransform t;
    t.m[0][0] = c * scaleU;
    t.m[0][1] = s * scaleV;
    t.m[0][2] = offsetU - s * scaleV;
    t.m[1][0] = -s * scaleU;
    t.m[1][1] = c * scaleV;
    t.m[1][2] = 1 - c * scaleV - offsetV;
    return t;
}

UvTransform gltfUvTransformFromLibrary(double translationU, double translationV, double scalingU, double scalingV,
                                       double rotation)
{
    // The library stores the negated rotation r, and translations that fold its own centre of
    // rotation and origin of v into glTF's offset; taken out again here.
    const double r = -rotation;
    const double c = std::cos(r), s = std::sin(r);
    const double offsetU = translationU - 0.5 * scalingU * (-c + s + 1);
    const double offsetV = 0.5 * scalingV * (s + c - 1) + 1 - scalingV - translationV;
    return gltfUvTransform(offsetU, offsetV, r, scalingU, scalingV);
}

UvTransform libraryUvTransform(double translationU, double translationV, double scalingU, double scalingV,
                               double rotation)
{
    // p' = S R (p + translation - centre) + centre, the centre being (0.5, 0.5).
    const double c = std::cos(rotation), s = std::sin(rotation);
    const double du = translationU - 0.5, dv = translationV - 0.5;
    UvTransform t;
    t.m[0][0] = scalingU * c;
    t.m[0][1] = -scalingU * s;
    t.m[0][2] = scalingU * (c * du - s * dv) + 0.5;
    t.m[1][0] = scalingV * s;
    t.m[1][1] = scalingV * c;
    t.m[1][2] = scalingV * (s * du + c * dv) + 0.5;
    return t;
}

int sampleRows(double texelArea)
{
    if (!(texelArea > 1)) return 1;  // NaN too
    const double samples = texelArea < 64 ? texelArea : 64;
    const int rows = static_cast<int>(std::ceil(std::sqrt(samples) - 1e-9));
    return rows < 1 ? 1 : (rows > 8 ? 8 : rows);
}

LinearRgb averageTexturedPolygon(const TextureSampler& sampler, const TexCoord* uv, const LinearRgb* colours,
                                 std::size_t count)
{
    if (count == 0 || !sampler.image || sampler.image->width <= 0 || sampler.image->height <= 0) return LinearRgb{};
    std::vector<TexCoord> at(uv, uv + count);
    for (TexCoord& corner : at) sampler.transform.apply(corner.u, corner.v);
    if (count < 3) return averageSegment(sampler, at.data(), colours, count);
    const std::size_t triangles = count - 2;
    std::vector<double> areas(triangles, 0.0);
    double absolute = 0, total = 0;
    for (std::size_t k = 0; k < triangles; ++k) {
        areas[k] = signedArea(at[0], at[k + 1], at[k + 2]);
        absolute += std::fabs(areas[k]);
        total += areas[k];
    }
    const double texels = double(sampler.image->width) * double(sampler.image->height);
    const double budget = std::min(64.0, std::max(1.0, absolute * texels));
    // Weighted by signed area where the polygon has area; otherwise every sample alike.
    const bool weighted = std::isfinite(total) && absolute > 0 && std::fabs(total) > 1e-9 * absolute;
    LinearRgb result;
    double weights = 0;
    for (std::size_t k = 0; k < triangles; ++k) {
        const std::size_t b = k + 1, c = k + 2;
        const TexCoord* corners[3] = {&at[0], &at[b], &at[c]};
        const LinearRgb* cornerColours[3] = {colours ? &colours[0] : nullptr, colours ? &colours[b] : nullptr,
                                             colours ? &colours[c] : nullptr};
        const double share = weighted ? std::fabs(areas[k]) / absolute : 1.0 / double(triangles);
        Sum sum;
        sampleTriangle(sampler, corners, cornerColours, sampleRows(budget * share), sum);
        const double weight = weighted ? areas[k] : double(sum.samples);
        result.r += weight * sum.colour.r / sum.samples;
        result.g += weight * sum.colour.g / sum.samples;
        result.b += weight * sum.colour.b / sum.samples;
        weights += weight;
    }
    return LinearRgb{std::max(0.0, result.r / weights), std::max(0.0, result.g / weights),
                     std::max(0.0, result.b / weights)};
}

LinearRgb averageCornerColours(const LinearRgb* colours, std::size_t count)
{
    LinearRgb mean;
    if (count == 0) return mean;
    for (std::size_t k = 0; k < count; ++k) {
        mean.r += colours[k].r;
        mean.g += colours[k].g;
        mean.b += colours[k].b;
    }
    return LinearRgb{mean.r / count, mean.g / count, mean.b / count};
}
