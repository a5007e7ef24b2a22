// glTF 2.0 through tinygltf: one primitive per colour for the faces, split as fans, and one LINES
// primitive per colour for the segments; each primitive holds only the vertices it uses.
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <tiny_gltf.h>

#include "base/bytes.h"
#include "base/paths.h"
#include "formats/export/writers.h"
#include "render/palette.h"
#include "zem_version.h"

namespace {

using Bytes = std::vector<unsigned char>;

void alignTo4(Bytes& data)
{
    while (data.size() % 4 != 0) data.push_back(0);
}

// One bufferView per accessor, tightly packed, so that every accessor starts aligned.
int addView(tinygltf::Model& model, const void* bytes, std::size_t size, int target)
{
    Bytes& data = model.buffers[0].data;
    alignTo4(data);
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = data.size();
    view.byteLength = size;
    view.target = target;
    const unsigned char* from = static_cast<const unsigned char*>(bytes);
    data.insert(data.end(), from, from + size);
    model.bufferViews.push_back(view);
    return static_cast<int>(model.bufferViews.size() - 1);
}

int addAccessor(tinygltf::Model& model, int view, int componentType, std::size_t count, int type)
{
    tinygltf::Accessor accessor;
    accessor.bufferView = view;
    accessor.componentType = componentType;
    accessor.count = count;
    accessor.type = type;
    model.accessors.push_back(accessor);
    return static_cast<int>(model.accessors.size() - 1);
}

// Indices as 16-bit numbers while they fit below the restart value, else 32-bit.
int addIndices(tinygltf::Model& model, const std::vector<uint32_t>& indices, std::size_t vertexCount)
{
    if (vertexCount <= 0xFFFF) {
        std::vector<uint16_t> narrow(indices.begin(), indices.end());
        const int view = addView(model, narrow.data(), narrow.size() * 2, TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER);
        return addAccessor(model, view, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, narrow.size(), TINYGLTF_TYPE_SCALAR);
    }
    const int view = addView(model, indices.data(), indices.size() * 4, TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER);
    return addAccessor(model, view, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, indices.size(), TINYGLTF_TYPE_SCALAR);
}

// The vertices of one primitive, numbered in the order its polygons first name them.
struct PrimitiveVertices {
    std::vector<float> positions;
    std::vector<float> normals;
    std::vector<uint32_t> indices;
    float min[3] = {0, 0, 0};
    float max[3] = {0, 0, 0};
};

// A normal of the wrong length would make the file invalid: a position where faces cancel, or one
// of faces without area, takes the normal of the face that brought it, or else +z.
Vector3 unitNormal(Vector3 normal, Vector3 faceNormal)
{
    const double length = normal.length();
    if (length > 0.99 && length < 1.01) return normal;
    const double faceLength = faceNormal.length();
    if (faceLength > 0.99 && faceLength < 1.01) return faceNormal;
    return Vector3(0.0f, 0.0f, 1.0f);
}

class PrimitiveBuilder {
public:
    explicit PrimitiveBuilder(const MeshView& mesh)
        : mesh_(mesh), stamp_(mesh.positions.size(), 0), local_(mesh.positions.size())
    {
    }

    // The primitive of the given polygons; withNormals for faces.
    PrimitiveVertices build(const std::vector<uint32_t>& polygons, bool faces)
    {
        ++generation_;
        PrimitiveVertices out;
        std::size_t corners = 0, triangles = 0;
        for (const uint32_t p : polygons) {
            corners += mesh_.polygons[p].count;
            triangles += mesh_.polygons[p].count - 2u;
        }
        out.positions.reserve(corners * 3);
        if (faces) out.normals.reserve(corners * 3);
        out.indices.reserve(faces ? triangles * 3 : corners);
        for (const uint32_t p : polygons) {
            const MeshPolygon& polygon = mesh_.polygons[p];
            uint32_t corner[kMaxPolygonIndices];
            for (int k = 0; k < polygon.count; ++k)
                corner[k] = vertex(mesh_.corners[polygon.first + k], polygon, faces, out);
            if (!faces) {
                out.indices.insert(out.indices.end(), {corner[0], corner[1]});
                continue;
            }
            for (int k = 1; k + 1 < polygon.count; ++k)
                out.indices.insert(out.indices.end(), {corner[0], corner[k], corner[k + 1]});
        }
        return out;
    }

private:
    uint32_t vertex(int32_t index, const MeshPolygon& polygon, bool faces, PrimitiveVertices& out)
    {
        const std::size_t i = static_cast<std::size_t>(index);
        if (stamp_[i] == generation_) return local_[i];
        stamp_[i] = generation_;
        const uint32_t local = static_cast<uint32_t>(out.positions.size() / 3);
        local_[i] = local;
        const ShapeVertex& v = mesh_.positions[i];
        const float position[3] = {float(v.x), float(v.y), float(v.z)};
        for (int axis = 0; axis < 3; ++axis) {
            out.positions.push_back(position[axis]);
            if (local == 0 || position[axis] < out.min[axis]) out.min[axis] = position[axis];
            if (local == 0 || position[axis] > out.max[axis]) out.max[axis] = position[axis];
        }
        if (faces) {
            const Vector3 n = unitNormal(mesh_.normals[i], polygon.faceNormal);
            out.normals.insert(out.normals.end(), {n.x, n.y, n.z});
        }
        return local;
    }

    const MeshView& mesh_;
    std::vector<uint32_t> stamp_;  // the primitive that last numbered each vertex
    std::vector<uint32_t> local_;
    uint32_t generation_ = 0;
};

void addPrimitive(tinygltf::Model& model, tinygltf::Mesh& gltfMesh, const PrimitiveVertices& vertices, int material,
                  bool faces)
{
    const std::size_t count = vertices.positions.size() / 3;
    tinygltf::Primitive primitive;
    primitive.mode = faces ? TINYGLTF_MODE_TRIANGLES : TINYGLTF_MODE_LINE;
    primitive.material = material;
    const int positionView =
        addView(model, vertices.positions.data(), vertices.positions.size() * 4, TINYGLTF_TARGET_ARRAY_BUFFER);
    const int position = addAccessor(model, positionView, TINYGLTF_COMPONENT_TYPE_FLOAT, count, TINYGLTF_TYPE_VEC3);
    model.accessors[position].minValues.assign(vertices.min, vertices.min + 3);
    model.accessors[position].maxValues.assign(vertices.max, vertices.max + 3);
    primitive.attributes["POSITION"] = position;
    if (faces) {
        const int normalView =
            addView(model, vertices.normals.data(), vertices.normals.size() * 4, TINYGLTF_TARGET_ARRAY_BUFFER);
        primitive.attributes["NORMAL"] =
            addAccessor(model, normalView, TINYGLTF_COMPONENT_TYPE_FLOAT, count, TINYGLTF_TYPE_VEC3);
    }
    primitive.indices = addIndices(model, vertices.indices, count);
    gltfMesh.primitives.push_back(primitive);
}

tinygltf::Model buildModel(const MeshView& mesh)
{
    tinygltf::Model model;
    model.asset.version = "2.0";
    model.asset.generator = "zemconvert " ZEM_VERSION;
    model.buffers.resize(1);
    // At most a position and a normal per corner, and four bytes per index, with room to align each view.
    std::size_t faceCorners = 0, triangles = 0, segmentCorners = 0;
    for (const MeshPolygon& polygon : mesh.polygons) {
        (polygon.count == 2 ? segmentCorners : faceCorners) += polygon.count;
        if (polygon.count > 2) triangles += polygon.count - 2u;
    }
    model.buffers[0].data.reserve(faceCorners * 24 + triangles * 12 + segmentCorners * 16 + 4 * 4 * 64);

    // Polygons by colour, each list in the model's order.
    std::vector<uint32_t> faces[Palette::kSize], segments[Palette::kSize];
    for (uint32_t p = 0; p < mesh.polygons.size(); ++p)
        (mesh.polygons[p].count == 2 ? segments : faces)[mesh.polygons[p].colour].push_back(p);

    tinygltf::Mesh gltfMesh;
    gltfMesh.name = mesh.name;
    PrimitiveBuilder builder(mesh);
    for (const uint8_t colour : mesh.colours) {
        tinygltf::Material material;
        material.name = materialName(colour);
        // glTF's factors are linear light; the palette is what the screen shows, sRGB.
        const double* rgb = Palette::colours[colour];
        material.pbrMetallicRoughness.baseColorFactor = {linearFromSrgb(rgb[0]), linearFromSrgb(rgb[1]),
                                                         linearFromSrgb(rgb[2]), 1.0};
        material.pbrMetallicRoughness.metallicFactor = 0.0;
        // The viewer draws both sides, and a model's faces may turn either way.
        material.doubleSided = true;
        model.materials.push_back(material);
        const int index = static_cast<int>(model.materials.size() - 1);
        if (!faces[colour].empty()) addPrimitive(model, gltfMesh, builder.build(faces[colour], true), index, true);
        if (!segments[colour].empty())
            addPrimitive(model, gltfMesh, builder.build(segments[colour], false), index, false);
    }

    tinygltf::Scene scene;
    scene.name = mesh.name;
    tinygltf::Node node;
    node.name = mesh.name;
    if (!gltfMesh.primitives.empty()) {
        model.meshes.push_back(gltfMesh);
        node.mesh = 0;
    }
    model.nodes.push_back(node);
    scene.nodes.push_back(0);
    model.scenes.push_back(scene);
    model.defaultScene = 0;
    if (model.buffers[0].data.empty()) model.buffers.clear();
    return model;
}

// A relative URI: anything but unreserved characters is percent-encoded.
std::string uriOf(const std::string& name)
{
    std::string uri;
    for (const unsigned char c : name) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            uri.push_back(static_cast<char>(c));
        } else {
            uri.push_back('%');
            uri.push_back(upperHexDigit(c >> 4));
            uri.push_back(upperHexDigit(c & 15));
        }
    }
    return uri;
}

bool readWhole(const std::string& path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream content;
    content << in.rdbuf();
    bytes = content.str();
    return !in.bad();
}

// tinygltf writes a JSON file and its buffer only to files of its own choosing: they are made in a
// private folder, then read back, so that the caller commits them with the rest of the run.
class PrivateFolder {
public:
    bool make()
    {
        const char* base = std::getenv("TMPDIR");
        path_ = std::string(base && *base ? base : "/tmp") + "/zemconvert-XXXXXX";
        if (!mkdtemp(&path_[0])) {
            path_.clear();
            return false;
        }
        return true;
    }
    ~PrivateFolder()
    {
        for (const std::string& file : files_) unlink((path_ + "/" + file).c_str());
        if (!path_.empty()) rmdir(path_.c_str());
    }
    std::string file(const std::string& name)
    {
        files_.push_back(name);
        return path_ + "/" + name;
    }

private:
    std::string path_;
    std::vector<std::string> files_;
};

}  // namespace

bool writeGltf(const MeshView& mesh, bool binary, const std::string& binName, std::string& out, std::string& bin,
               std::string& error)
{
    tinygltf::Model model = buildModel(mesh);
    tinygltf::TinyGLTF writer;
    if (binary || binName.empty()) {
        std::ostringstream stream;
        if (!writer.WriteGltfSceneToStream(&model, stream, !binary, binary) || !stream) {
            error = "the glTF writer failed";
            return false;
        }
        out = stream.str();
        return true;
    }
    PrivateFolder folder;
    if (!folder.make()) {
        error = std::string("no private folder for the glTF writer: ") + std::strerror(errno);
        return false;
    }
    const std::string uri = uriOf(binName);
    const std::size_t size = model.buffers.empty() ? 0 : model.buffers[0].data.size();
    if (!model.buffers.empty()) model.buffers[0].uri = uri;
    const std::string binPath = folder.file(uri);
    const std::string jsonPath = folder.file("model.gltf");
    const bool written = writer.WriteGltfSceneToFile(&model, jsonPath, false, false, true, false);
    // The writer does not check its writes: a short file is found by its size or its last brace.
    if (!written || !readWhole(jsonPath, out) || out.size() < 2 || out.compare(out.size() - 2, 2, "}\n") != 0 ||
        (size > 0 && (!readWhole(binPath, bin) || bin.size() != size))) {
        error = "the glTF writer could not write its files in " + folderOf(jsonPath);
        return false;
    }
    return true;
}
