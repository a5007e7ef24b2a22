// The colour sources' choice, its fallbacks' notes and the product that a face shows.
#include "formats/import/texture/colour_choice.h"

namespace {

std::string faces(std::size_t count) { return std::to_string(count) + (count == 1 ? " face has" : " faces have"); }

std::string theyTake(std::size_t count)
{
    return count == 1 ? ": it takes its material's colour" : ": they take their material's colour";
}

}  // namespace

bool parseColourSource(const std::string& word, ColourSource& source)
{
    const struct {
        const char* word;
        ColourSource source;
    } words[] = {{"auto", ColourSource::automatic},
                 {"texture", ColourSource::texture},
                 {"material", ColourSource::material},
                 {"vertex", ColourSource::vertex}};
    for (const auto& entry : words)
        if (word == entry.word) {
            source = entry.source;
            return true;
        }
    return false;
}

std::vector<std::string> ColourFallbacks::notes() const
{
    std::vector<std::string> lines;
    if (withoutCoordinates_ > 0)
        lines.push_back(faces(withoutCoordinates_) + " a texture but no texture coordinates" +
                        theyTake(withoutCoordinates_));
    if (withoutTexture_ > 0)
        lines.push_back("--colours texture: " + faces(withoutTexture_) + " no texture" + theyTake(withoutTexture_));
    if (withoutVertexColours_ > 0)
        lines.push_back("--colours vertex: " + faces(withoutVertexColours_) + " no vertex colours" +
                        theyTake(withoutVertexColours_));
    return lines;
}

FaceColourPlan planFaceColours(ColourSource source, const FaceColourOffer& offer, std::size_t faces,
                               ColourFallbacks& fallbacks)
{
    FaceColourPlan plan;
    const bool wantsTexture = source == ColourSource::automatic || source == ColourSource::texture;
    if (wantsTexture && offer.textureDecoded) {
        plan.texture = offer.textureCoordinates;
        if (!offer.textureCoordinates) fallbacks.withoutCoordinates(faces);
    }
    // A texture named but unreadable has been noted by its name where it was read.
    if (source == ColourSource::texture && !offer.textureNamed) fallbacks.withoutTexture(faces);
    const bool wantsVertex = source == ColourSource::automatic || source == ColourSource::vertex;
    plan.vertexColours = wantsVertex && offer.vertexColours;
    if (source == ColourSource::vertex && !offer.vertexColours) fallbacks.withoutVertexColours(faces);
    return plan;
}

LinearRgb linearColour(float r, float g, float b, bool storedLinear)
{
    const LinearRgb colour{r, g, b};
    if (!storedLinear) return linearFromSrgb(colour);
    // Clamped as the sRGB path clamps, NaN to 0.
    const auto clamp = [](double c) { return c > 0 ? (c < 1 ? c : 1) : 0.0; };
    return LinearRgb{clamp(colour.r), clamp(colour.g), clamp(colour.b)};
}

SourceColour shownColour(const LinearRgb& material, const LinearRgb& surface)
{
    const LinearRgb encoded =
        srgbFromLinear(LinearRgb{material.r * surface.r, material.g * surface.g, material.b * surface.b});
    return SourceColour{static_cast<float>(encoded.r), static_cast<float>(encoded.g), static_cast<float>(encoded.b)};
}
