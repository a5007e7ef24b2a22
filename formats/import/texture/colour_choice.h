// Which of a model's colours make a face's colour (--colours), and the notes for the faces that fall back.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "formats/import/import.h"
#include "formats/import/texture/texture_sample.h"

// auto: the material's colour times its texture times the vertex colours, each where the model
// has it; texture: the material's colour times its texture; material: the material's colour;
// vertex: the material's colour times the vertex colours.
enum class ColourSource { automatic, texture, material, vertex };

// The option's words: "auto", "texture", "material", "vertex". False for any other.
bool parseColourSource(const std::string& word, ColourSource& source);

// What a group of faces that share a material and their vertex attributes (a mesh) has to offer.
struct FaceColourOffer {
    bool textureNamed = false;        // its material names a base or diffuse texture
    bool textureDecoded = false;      // which was read and decoded
    bool textureCoordinates = false;  // and the faces have the coordinates it is mapped by
    bool vertexColours = false;
};

// The factors of the faces' colour besides their material's, which is always one.
struct FaceColourPlan {
    bool texture = false;
    bool vertexColours = false;
};

// Faces that could not have what the choice asked for, counted by why and said once at the end.
// A texture that could not be read is the reader's to note, by its name.
class ColourFallbacks {
public:
    void withoutCoordinates(std::size_t faces) { withoutCoordinates_ += faces; }
    void withoutTexture(std::size_t faces) { withoutTexture_ += faces; }
    void withoutVertexColours(std::size_t faces) { withoutVertexColours_ += faces; }

    // One line for each kind of fallback that happened: "--colours vertex: 12 faces have no vertex
    // colours: they take their material's colour".
    std::vector<std::string> notes() const;

private:
    std::size_t withoutCoordinates_ = 0;
    std::size_t withoutTexture_ = 0;
    std::size_t withoutVertexColours_ = 0;
};

// The plan for faces faces with the offer under the choice; their fallbacks counted.
FaceColourPlan planFaceColours(ColourSource source, const FaceColourOffer& offer, std::size_t faces,
                               ColourFallbacks& fallbacks);

// A material's or a vertex's colour as linear light: glTF stores its factors and vertex colours as
// linear light; every other format's are taken as sRGB, as their tools show them (an OBJ file's
// Kd, a PLY file's bytes).
LinearRgb linearColour(float r, float g, float b, bool storedLinear);

// The colour a face shows, the material's times the mean of the rest over the face, encoded as
// SourceColour holds it (sRGB, as the palette match takes it).
SourceColour shownColour(const LinearRgb& material, const LinearRgb& surface);
