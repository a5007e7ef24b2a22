// The colour a textured face shows: texels sampled evenly over the face in texture space and averaged in linear light.
#pragma once

#include <cstddef>

#include "formats/import/texture/texture_image.h"
#include "render/palette.h"

// Light as it adds up: averages of colours are taken here, never of their sRGB encodings (the
// mean of a black and a white texel shows as 0.5 of the light, which sRGB encodes as 0.735).
struct LinearRgb {
    double r = 0, g = 0, b = 0;
};

// The sRGB transfer function and its inverse (render/palette.h) on each channel.
LinearRgb linearFromSrgb(const LinearRgb& encoded);  // each channel
LinearRgb srgbFromLinear(const LinearRgb& linear);

// An affine map of texture coordinates, (u, v) to (m[0][0] u + m[0][1] v + m[0][2], m[1][0] u +
// m[1][1] v + m[1][2]), in the reader's coordinates: v up, the picture's bottom row at v = 0.
struct UvTransform {
    double m[2][3] = {{1, 0, 0}, {0, 1, 0}};
    void apply(double& u, double& v) const;
};

// glTF's texture transform (offset, rotation in radians, scale) as glTF defines it,
// in its own coordinates (v down from the picture's top), turned into the reader's.
UvTransform gltfUvTransform(double offsetU, double offsetV, double rotation, double scaleU, double scaleV);

// The transform the reading library hands over for a glTF texture: it converts glTF's offset,
// rotation and scale into its own translation, scaling and rotation with a formula that its own
// way of applying them does not undo (rotations come out displaced). Undone here instead, exactly,
// and applied as glTF defines it.
UvTransform gltfUvTransformFromLibrary(double translationU, double translationV, double scalingU, double scalingV,
                                       double rotation);

// Any other format's: what the library's own post-processing does with its translation, scaling
// and rotation (radians, counter-clockwise): translated, then rotated and scaled about the
// picture's centre.
UvTransform libraryUvTransform(double translationU, double translationV, double scalingU, double scalingV,
                               double rotation);

// Where coordinates outside 0 to 1 fetch from, on each axis: the picture repeated, repeated in
// mirror image, its edge texels stretched, or nothing (decal: the face shows its other colours).
enum class TextureWrap { repeat, mirror, clamp, decal };

struct TexCoord {
    double u = 0, v = 0;
};

struct TextureSampler {
    const TextureImage* image = nullptr;  // decoded, with at least one texel
    TextureWrap wrapU = TextureWrap::repeat;
    TextureWrap wrapV = TextureWrap::repeat;
    UvTransform transform;
};

// How many rows of samples a triangle covering texelArea texels gets: n rows are n * n samples,
// one at the centre of each of the n * n equal triangles it divides into; about one a texel, at
// most 8 rows (64 samples).
int sampleRows(double texelArea);

// The mean over a polygon of its texture times its vertex colours, as a viewer draws it: the
// polygon fanned from its first corner into triangles, each sampled evenly and weighted by its
// signed area in texture space (so that a concave polygon's fan adds up to the polygon), the
// samples of the whole polygon about 64 at most. uv holds count coordinates as the mesh gives them
// (before the sampler's transform); colours, when not null, count linear vertex colours,
// interpolated across each triangle. A polygon with no area in texture space averages its samples
// alike; a segment (2 corners) is sampled evenly along its length.
LinearRgb averageTexturedPolygon(const TextureSampler& sampler, const TexCoord* uv, const LinearRgb* colours,
                                 std::size_t count);

// The mean of the corners' linear colours, which for a triangle is the mean of its interpolated
// colour over its area.
LinearRgb averageCornerColours(const LinearRgb* colours, std::size_t count);
