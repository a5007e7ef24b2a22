// Face colours of a scene the importer read: materials, their textures (embedded or beside the model), coordinates and
// vertex colours, each texture decoded once.
#include "formats/import/texture/texture_read.h"

#include <assimp/material.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <functional>
#include <map>
#include <memory>

#include "base/paths.h"
#include "base/words.h"
#include "formats/import/checks/file_names.h"
#include "formats/import/checks/printable_text.h"
#include "formats/import/texture/texture_image.h"

namespace {

// What a material says of its base or diffuse texture.
struct MaterialTexture {
    std::string name;  // as the material gives it; empty when it names none
    unsigned int uvChannel = 0;
    TextureWrap wrapU = TextureWrap::repeat;
    TextureWrap wrapV = TextureWrap::repeat;
    UvTransform transform;
};

TextureWrap wrapOf(aiTextureMapMode mode)
{
    switch (mode) {
    case aiTextureMapMode_Clamp:
        return TextureWrap::clamp;
    case aiTextureMapMode_Mirror:
        return TextureWrap::mirror;
    case aiTextureMapMode_Decal:
        return TextureWrap::decal;
    default:
        return TextureWrap::repeat;
    }
}

MaterialTexture materialTexture(const aiMaterial& material, bool gltf)
{
    MaterialTexture texture;
    for (const aiTextureType type : {aiTextureType_BASE_COLOR, aiTextureType_DIFFUSE}) {
        if (material.GetTextureCount(type) == 0) continue;
        aiString path;
        aiTextureMapMode modes[2] = {aiTextureMapMode_Wrap, aiTextureMapMode_Wrap};
        unsigned int uvChannel = 0;
        if (material.GetTexture(type, 0, &path, nullptr, &uvChannel, nullptr, nullptr, modes) != aiReturn_SUCCESS ||
            path.length == 0)
            continue;
        texture.name = path.C_Str();
        texture.uvChannel = uvChannel;
        texture.wrapU = wrapOf(modes[0]);
        texture.wrapV = wrapOf(modes[1]);
        aiUVTransform t;
        if (material.Get(AI_MATKEY_UVTRANSFORM(type, 0), t) == aiReturn_SUCCESS)
            texture.transform =
                gltf ? gltfUvTransformFromLibrary(t.mTranslation.x, t.mTranslation.y, t.mScaling.x, t.mScaling.y,
                                                  t.mRotation)
                     : libraryUvTransform(t.mTranslation.x, t.mTranslation.y, t.mScaling.x, t.mScaling.y, t.mRotation);
        break;
    }
    return texture;
}

// The reading library's stand-in for a model with no material, and its OBJ reader's colour for a
// material that states no Kd, is a 0.6 grey: it was never the model's to darken a texture or
// vertex colours with, so under them it counts as white.
bool standInColour(const aiMaterial& material, const aiColor4D& c, bool obj)
{
    aiString name;
    const bool standIn =
        material.Get(AI_MATKEY_NAME, name) == aiReturn_SUCCESS && name == aiString(AI_DEFAULT_MATERIAL_NAME);
    return standIn || (obj && c.r == 0.6f && c.g == 0.6f && c.b == 0.6f);
}

struct SceneFormat {
    bool linear = false;  // glTF: factors and vertex colours are linear light
    bool obj = false;
    // LightWave: an image in a surface's colour channel covers the surface's own colour instead of
    // tinting it, and the reading library hands over that colour (a light grey, by default) all the
    // same: under a texture it counts as white, or every textured face would come out darker.
    bool textureCoversColour = false;
};

LinearRgb materialColour(const aiScene& scene, unsigned int index, SceneFormat format, bool modulated, bool textured)
{
    if (index >= scene.mNumMaterials || !scene.mMaterials[index]) return linearColour(0.6f, 0.6f, 0.6f, false);
    const aiMaterial& material = *scene.mMaterials[index];
    aiColor4D c(0.6f, 0.6f, 0.6f, 1);
    if (material.Get(AI_MATKEY_COLOR_DIFFUSE, c) != aiReturn_SUCCESS) material.Get(AI_MATKEY_BASE_COLOR, c);
    if (textured && format.textureCoversColour) return LinearRgb{1, 1, 1};
    if (modulated && standInColour(material, c, format.obj)) return LinearRgb{1, 1, 1};
    return linearColour(c.r, c.g, c.b, format.linear);
}

const aiTexture* embeddedTexture(const aiScene& scene, const std::string& name)
{
    if (name.size() > 1 && name[0] == '*') {
        const unsigned long index = std::strtoul(name.c_str() + 1, nullptr, 10);
        return index < scene.mNumTextures ? scene.mTextures[index] : nullptr;
    }
    // Some formats name an embedded picture by the file it came from.
    for (unsigned int i = 0; i < scene.mNumTextures; ++i)
        if (scene.mTextures[i] && scene.mTextures[i]->mFilename.length > 0 &&
            lastNameOfAnySystem(scene.mTextures[i]->mFilename.C_Str()) == lastNameOfAnySystem(name))
            return scene.mTextures[i];
    return nullptr;
}

bool decodeEmbedded(const aiTexture& texture, const std::string& name, uint64_t budget, TextureImage& image,
                    std::string& error)
{
    if (texture.mHeight > 0) {
        if (texture.mWidth > unsigned(kTextureMaxSide) || texture.mHeight > unsigned(kTextureMaxSide)) {
            error = "it declares more than " + std::to_string(kTextureMaxSide) + " texels on a side";
            return false;
        }
        return textureFromBgra(reinterpret_cast<const unsigned char*>(texture.pcData), int(texture.mWidth),
                               int(texture.mHeight), budget, image, error);
    }
    const bool tga = namesTga(texture.achFormatHint) || namesTga(texture.mFilename.C_Str()) || namesTga(name);
    return decodeTexture(reinterpret_cast<const unsigned char*>(texture.pcData), texture.mWidth, tga, budget, image,
                         error);
}

// A texture file named by the model, relative to its folder, read through the confined access:
// false with error empty when that refused it (and noted why), or with error set.
bool readTextureFile(Assimp::IOSystem& io, const std::string& folder, std::string name, uint64_t budget,
                     std::vector<unsigned char>& bytes, std::string& error)
{
    std::replace(name.begin(), name.end(), '\\', '/');  // as tools on other systems write them
    const std::string path = name[0] == '/' ? name : folder + name;
    NamesTextures* const naming = dynamic_cast<NamesTextures*>(&io);
    if (naming) naming->askingForTexture(true);
    const std::unique_ptr<NamesTextures, void (*)(NamesTextures*)> named(
        naming, [](NamesTextures* told) { told->askingForTexture(false); });
    if (!io.Exists(path.c_str())) {
        error = "not found";
        return false;
    }
    const std::unique_ptr<Assimp::IOStream, std::function<void(Assimp::IOStream*)>> file(
        io.Open(path.c_str(), "rb"), [&io](Assimp::IOStream* stream) { io.Close(stream); });
    if (!file) return false;
    const std::size_t size = file->FileSize();
    if (size > budget) {
        error = "the file is larger than the " + memoryWords(budget) + " a texture may use (see --max-memory)";
        return false;
    }
    bytes.resize(size);
    if (size > 0 && file->Read(bytes.data(), 1, size) != size) {
        error = "it could not be read";
        return false;
    }
    return true;
}

// The texture a material names, decoded; false with a note for the user unless the confined
// access has given one already.
bool decodeNamed(const aiScene& scene, Assimp::IOSystem& io, const std::string& folder, const std::string& name,
                 uint64_t budget, TextureImage& image, std::vector<std::string>& notes)
{
    std::string error;
    bool decoded = false;
    if (const aiTexture* embedded = embeddedTexture(scene, name)) {
        decoded = decodeEmbedded(*embedded, name, budget, image, error);
    } else if (name[0] == '*') {
        error = "the file holds no such picture";
    } else {
        std::vector<unsigned char> bytes;
        if (readTextureFile(io, folder, name, budget, bytes, error))
            decoded = decodeTexture(bytes.data(), bytes.size(), namesTga(name), budget, image, error);
    }
    if (!decoded && !error.empty()) notes.push_back("ignored texture " + printableText(name, 200) + ": " + error);
    return decoded;
}

// One mesh's face colours under plan.
void meshColours(const aiMesh& mesh, const FaceColourPlan& plan, const LinearRgb& material,
                 const TextureSampler& sampler, unsigned int uvChannel, bool linear, std::vector<SourceColour>& out)
{
    out.assign(mesh.mNumFaces, SourceColour{});
    std::vector<TexCoord> uv;
    std::vector<LinearRgb> corners;
    for (unsigned int f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        uv.clear();
        corners.clear();
        for (unsigned int k = 0; k < face.mNumIndices; ++k) {
            const unsigned int i = face.mIndices[k];
            if (i >= mesh.mNumVertices) break;  // the reader refuses such a face
            if (plan.texture) uv.push_back({mesh.mTextureCoords[uvChannel][i].x, mesh.mTextureCoords[uvChannel][i].y});
            if (plan.vertexColours) {
                const aiColor4D& c = mesh.mColors[0][i];
                corners.push_back(linearColour(c.r, c.g, c.b, linear));
            }
        }
        const std::size_t count = plan.texture ? uv.size() : corners.size();
        LinearRgb surface{1, 1, 1};
        if (plan.texture && count > 0)
            surface = averageTexturedPolygon(sampler, uv.data(), plan.vertexColours ? corners.data() : nullptr, count);
        else if (plan.vertexColours && count > 0)
            surface = averageCornerColours(corners.data(), count);
        out[f] = shownColour(material, surface);
    }
}

// What every mesh's colouring needs of the scene.
struct SceneColouring {
    const aiScene& scene;
    SceneFormat format;
    ColourSource source;
    std::vector<MaterialTexture> textures;  // by material
    ColourFallbacks fallbacks;

    const MaterialTexture* textureOf(const aiMesh& mesh) const
    {
        return mesh.mMaterialIndex < textures.size() && !textures[mesh.mMaterialIndex].name.empty()
                   ? &textures[mesh.mMaterialIndex]
                   : nullptr;
    }

    static bool mapped(const aiMesh& mesh, const MaterialTexture& texture)
    {
        return texture.uvChannel < AI_MAX_NUMBER_OF_TEXTURECOORDS && mesh.HasTextureCoords(texture.uvChannel);
    }

    // Mesh m's face colours; image is its material's texture, decoded, or null.
    void colourMesh(unsigned int m, const TextureImage* image, std::vector<SourceColour>& out)
    {
        const aiMesh& mesh = *scene.mMeshes[m];
        const MaterialTexture* texture = textureOf(mesh);
        FaceColourOffer offer;
        offer.textureNamed = texture != nullptr;
        offer.textureCoordinates = texture && mapped(mesh, *texture);
        // A texture that no face could map was not decoded: its faces fall back for want of coordinates.
        offer.textureDecoded = image != nullptr || (texture && !offer.textureCoordinates);
        offer.vertexColours = mesh.HasVertexColors(0);
        const FaceColourPlan plan = planFaceColours(source, offer, mesh.mNumFaces, fallbacks);
        const LinearRgb material =
            materialColour(scene, mesh.mMaterialIndex, format, plan.texture || plan.vertexColours, plan.texture);
        TextureSampler sampler;
        if (image) sampler = TextureSampler{image, texture->wrapU, texture->wrapV, texture->transform};
        meshColours(mesh, plan, material, sampler, texture ? texture->uvChannel : 0, format.linear, out);
    }

    // The meshes under each texture that some face can map, the textures in the order they come.
    std::vector<std::pair<std::string, std::vector<unsigned int>>> meshesByTexture() const
    {
        std::vector<std::pair<std::string, std::vector<unsigned int>>> groups;
        if (source != ColourSource::automatic && source != ColourSource::texture) return groups;
        std::map<std::string, std::size_t> group;
        for (unsigned int m = 0; m < scene.mNumMeshes; ++m) {
            const aiMesh* mesh = scene.mMeshes[m];
            const MaterialTexture* texture = mesh ? textureOf(*mesh) : nullptr;
            if (!texture || !mapped(*mesh, *texture)) continue;
            const auto found = group.emplace(texture->name, groups.size());
            if (found.second) groups.push_back({texture->name, {}});
            groups[found.first->second].second.push_back(m);
        }
        return groups;
    }
};

SceneFormat formatOf(const std::string& modelPath)
{
    const std::string extension = lowerExtension(modelPath);
    SceneFormat format;
    format.linear = extension == "gltf" || extension == "glb";
    format.obj = extension == "obj";
    format.textureCoversColour = extension == "lwo" || extension == "lws" || extension == "lxo";
    return format;
}

}  // namespace

void sceneFaceColours(const aiScene& scene, const std::string& modelPath, Assimp::IOSystem& io,
                      const SceneColourOptions& options, std::vector<std::vector<SourceColour>>& colours,
                      std::vector<std::string>& notes)
{
    SceneColouring colouring{scene, formatOf(modelPath), options.source, {}, {}};
    colouring.textures.resize(scene.mNumMaterials);
    for (unsigned int m = 0; m < scene.mNumMaterials; ++m)
        if (scene.mMaterials[m]) colouring.textures[m] = materialTexture(*scene.mMaterials[m], colouring.format.linear);
    const std::string folder = folderWithSlash(modelPath);

    colours.assign(scene.mNumMeshes, {});
    // Each texture decoded once, and dropped when the meshes under it are done.
    for (const auto& group : colouring.meshesByTexture()) {
        TextureImage image;
        const bool decoded = decodeNamed(scene, io, folder, group.first, options.textureBudget, image, notes);
        for (const unsigned int m : group.second) colouring.colourMesh(m, decoded ? &image : nullptr, colours[m]);
    }
    for (unsigned int m = 0; m < scene.mNumMeshes; ++m)
        if (scene.mMeshes[m] && colours[m].empty() && scene.mMeshes[m]->mNumFaces > 0)
            colouring.colourMesh(m, nullptr, colours[m]);
    for (const std::string& line : colouring.fallbacks.notes()) notes.push_back(line);
}
