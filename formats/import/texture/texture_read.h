// The colour each face of a read scene shows: its material's, times its texture's and its vertex colours' where it has
// them.
#pragma once

#include <assimp/postprocess.h>

#include <cstdint>
#include <string>
#include <vector>

#include "formats/import/import.h"
#include "formats/import/texture/colour_choice.h"

struct aiScene;
namespace Assimp {
class IOSystem;
}

// An IO system that names the files it refuses for what they are: told while a texture is asked
// for, so that a texture with any name (/dev/stdin) is called one.
class NamesTextures {
public:
    virtual void askingForTexture(bool texture) = 0;

protected:
    ~NamesTextures() = default;
};

// The importer's steps for a scene whose faces are coloured here: identical vertices joined, so that
// faces share what they share in the source; the data checked, so that a damaged file is refused
// rather than half read; a texture projected by sphere, cylinder, plane or box turned into texture
// coordinates. Not the step that bakes a texture's offset, scale and rotation into them: the
// sampling applies those itself, as each format defines them (glTF's differ from the library's).
constexpr unsigned int kSceneReadSteps =
    aiProcess_JoinIdenticalVertices | aiProcess_ValidateDataStructure | aiProcess_GenUVCoords;

struct SceneColourOptions {
    ColourSource source = ColourSource::automatic;
    uint64_t textureBudget = uint64_t(1) << 30;  // bytes one texture's decoding may hold (texture_image.h)
};

// colours[m][f] is the colour that face f of the scene's mesh m shows (sRGB, as SourceColour holds
// it), for every mesh and face. modelPath is the file read, whose folder texture files are named
// relative to and whose extension says whether colours are stored linear (glTF) or as sRGB; io
// opens them, and is where the folder rule is kept. Each texture is decoded once, after its header
// is checked against the budget, and freed when the faces that use it are done. A texture that is
// missing or cannot be decoded is one note naming it ("ignored texture wood.png: not found"), and
// its faces take their material's colour; every other fallback is a note too (colour_choice.h).
void sceneFaceColours(const aiScene& scene, const std::string& modelPath, Assimp::IOSystem& io,
                      const SceneColourOptions& options, std::vector<std::vector<SourceColour>>& colours,
                      std::vector<std::string>& notes);
