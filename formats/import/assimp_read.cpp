// Reading another tool's file with assimp into a SourceModel: every mesh under every node, with the
// node transforms applied, and the PLY extras. Runs in the sandboxed child.
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <assimp/IOSystem.hpp>
#include <assimp/Importer.hpp>
#include <exception>
#include <new>
#include <utility>

#include "base/paths.h"
#include "formats/import/ply_extras.h"
#include "formats/import/texture/texture_read.h"

namespace {

// Affine transforms in double, so that deep node chains do not lose the float's few digits twice.
struct Transform {
    double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};

    Transform then(const aiMatrix4x4& child) const
    {
        const double c[3][4] = {{child.a1, child.a2, child.a3, child.a4},
                                {child.b1, child.b2, child.b3, child.b4},
                                {child.c1, child.c2, child.c3, child.c4}};
        Transform result;
        for (int r = 0; r < 3; ++r)
            for (int k = 0; k < 4; ++k)
                result.m[r][k] = m[r][0] * c[0][k] + m[r][1] * c[1][k] + m[r][2] * c[2][k] + (k == 3 ? m[r][3] : 0);
        return result;
    }

    SourcePoint apply(const aiVector3D& v) const
    {
        return SourcePoint{m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z + m[0][3],
                           m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z + m[1][3],
                           m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z + m[2][3]};
    }
};

// faceColours holds a colour for each of mesh's faces.
bool addMesh(const aiMesh& mesh, const Transform& transform, const std::vector<SourceColour>& faceColours,
             SourceModel& model, std::string& error)
{
    if (!mesh.mVertices && mesh.mNumVertices > 0) return true;
    const std::size_t base = model.positions.size();
    if (base + mesh.mNumVertices > UINT32_MAX) {
        error = "more vertices than can be counted";
        return false;
    }
    for (unsigned int i = 0; i < mesh.mNumVertices; ++i) model.positions.push_back(transform.apply(mesh.mVertices[i]));
    std::vector<uint32_t> corners;
    for (unsigned int f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        if (face.mNumIndices < 2) {
            if (face.mNumIndices == 1) ++model.pointsDropped;
            continue;
        }
        corners.clear();
        for (unsigned int k = 0; k < face.mNumIndices; ++k) {
            if (face.mIndices[k] >= mesh.mNumVertices) {
                error = "a face names a vertex that its mesh does not have";
                return false;
            }
            corners.push_back(static_cast<uint32_t>(base + face.mIndices[k]));
        }
        model.addPolygon(corners.data(), corners.size(), faceColours[f]);
    }
    return true;
}

// A node tree can be deep: walked with a stack of its own rather than by recursion. meshColours
// holds each mesh's face colours.
bool addNodes(const aiScene& scene, std::vector<std::vector<SourceColour>>& meshColours,
              const std::vector<SourceColour>& plyFaceColours, SourceModel& model, std::string& error)
{
    // PLY comes as one mesh with its faces in file order; anything else and the colours are not its.
    if (!plyFaceColours.empty() && scene.mNumMeshes == 1 && scene.mMeshes[0] &&
        scene.mMeshes[0]->mNumFaces == plyFaceColours.size())
        meshColours.assign(1, plyFaceColours);
    std::vector<std::pair<const aiNode*, Transform>> pending;
    pending.emplace_back(scene.mRootNode, Transform().then(scene.mRootNode->mTransformation));
    while (!pending.empty()) {
        const aiNode* node = pending.back().first;
        const Transform transform = pending.back().second;
        pending.pop_back();
        for (unsigned int i = 0; i < node->mNumMeshes; ++i) {
            const unsigned int m = node->mMeshes[i];
            if (m >= scene.mNumMeshes || !scene.mMeshes[m]) continue;
            if (m >= meshColours.size() || meshColours[m].size() != scene.mMeshes[m]->mNumFaces) continue;
            if (!addMesh(*scene.mMeshes[m], transform, meshColours[m], model, error)) return false;
        }
        // Children in reverse, so that they are taken in the file's order.
        for (unsigned int c = node->mNumChildren; c-- > 0;)
            if (node->mChildren[c])
                pending.emplace_back(node->mChildren[c], transform.then(node->mChildren[c]->mTransformation));
    }
    return true;
}

// Names that the importer makes up for a root node, rather than the source tool's.
bool madeUpName(const std::string& name, const std::string& path)
{
    return name.empty() || name[0] == '<' || name == lastName(path) || name == "ROOT" || name == "RootNode";
}

std::string sceneName(const aiScene& scene, const std::string& path)
{
    if (scene.mName.length > 0) return scene.mName.C_Str();
    const aiNode* node = scene.mRootNode;
    // A made-up root over one node (one object in the file) names the model by that node.
    while (madeUpName(node->mName.C_Str(), path) && node->mNumChildren == 1 && node->mChildren[0])
        node = node->mChildren[0];
    const std::string name = node->mName.C_Str();
    return madeUpName(name, path) ? std::string() : name;
}

}  // namespace

void SourceModel::addPolygon(const uint32_t* polygonIndices, std::size_t count, SourceColour colour)
{
    polygons.push_back(Polygon{indices.size(), count, colour});
    indices.insert(indices.end(), polygonIndices, polygonIndices + count);
}

namespace {

// What the PLY extras add: the edges as segments, and a note for those it could not place.
void addPlyEdges(const PlyExtras& ply, SourceModel& model, std::vector<std::string>& notes)
{
    for (std::size_t e = 0; e < ply.edgeColours.size(); ++e) {
        const uint32_t first = static_cast<uint32_t>(model.positions.size());
        model.positions.push_back(ply.edgeEnds[2 * e]);
        model.positions.push_back(ply.edgeEnds[2 * e + 1]);
        const uint32_t ends[] = {first, first + 1};
        model.addPolygon(ends, 2, ply.edgeColours[e]);
    }
    if (ply.edgesDropped > 0)
        notes.push_back(std::to_string(ply.edgesDropped) + (ply.edgesDropped == 1 ? " PLY edge" : " PLY edges") +
                        " dropped: " + (ply.edgesDropped == 1 ? "it names" : "they name") +
                        " a vertex that the file does not have");
}

bool readScene(const std::string& path, std::unique_ptr<Assimp::IOSystem> io, const SceneColourOptions& colours,
               SourceModel& model, std::vector<std::string>& notes, std::string& libraryMessage)
{
    Assimp::Importer importer;
    importer.SetIOHandler(io.release());
    const aiScene* scene = importer.ReadFile(path.c_str(), kSceneReadSteps);
    if (!scene) {
        const char* why = importer.GetErrorString();
        libraryMessage = why && *why ? why : "unknown file format";
        return false;
    }
    // A reader that gave up part way leaves a scene that is no model.
    if (!scene->mRootNode || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE)) {
        libraryMessage = "no meshes";
        return false;
    }
    model.name = sceneName(*scene, path);
    std::vector<std::vector<SourceColour>> meshColours;
    sceneFaceColours(*scene, path, *importer.GetIOHandler(), colours, meshColours, notes);
    PlyExtras ply;
    readPlyExtras(*importer.GetIOHandler(), path, ply);
    if (!addNodes(*scene, meshColours, ply.faceColours, model, libraryMessage)) return false;
    addPlyEdges(ply, model, notes);
    return true;
}

}  // namespace

bool readSourceModel(const std::string& path, std::unique_ptr<Assimp::IOSystem> io, const SceneColourOptions& colours,
                     SourceModel& model, std::vector<std::string>& notes, std::string& libraryMessage)
{
    try {
        return readScene(path, std::move(io), colours, model, notes, libraryMessage);
    } catch (const std::bad_alloc&) {
        libraryMessage = "out of memory";
    } catch (const std::exception& e) {
        libraryMessage = e.what();
    } catch (...) {
        libraryMessage = "the file could not be read";
    }
    return false;
}
