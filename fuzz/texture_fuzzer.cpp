// libFuzzer target: a texture decoded from any bytes under a budget; what is accepted has the size its header says,
// within the limits, and its faces can be sampled.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formats/import/texture/texture_image.h"
#include "formats/import/texture/texture_sample.h"

// The first byte's lowest bit says whether the name allows TGA; the rest is the picture.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    const bool tga = (data[0] & 1) != 0;
    const uint64_t budget = uint64_t(256) << 20;
    TextureImage image;
    std::string why;
    if (!decodeTexture(data + 1, size - 1, tga, budget, image, why)) {
        if (why.empty()) std::abort();  // every refusal says why
        return 0;
    }
    if (image.width < 1 || image.height < 1 || image.width > kTextureMaxSide || image.height > kTextureMaxSide)
        std::abort();
    if (image.rgb.size() != std::size_t(image.width) * std::size_t(image.height) * 3) std::abort();
    if (image.rgb.size() > budget) std::abort();
    // Every texel can be reached: the corners of the picture and a face across all of it.
    TextureSampler sampler;
    sampler.image = &image;
    const TexCoord whole[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const LinearRgb mean = averageTexturedPolygon(sampler, whole, nullptr, 4);
    if (!(mean.r >= 0 && mean.r <= 1 && mean.g >= 0 && mean.g <= 1 && mean.b >= 0 && mean.b <= 1)) std::abort();
    return 0;
}
