// glTF's declared sizes: GLB's lengths, then the JSON's buffers, views, accessors and node tree checked against each
// other.
#include <sys/stat.h>

#include <unordered_map>

#include "base/bytes.h"
#include "base/paths.h"
#include "formats/import/checks/declared_formats.h"
#include "formats/import/checks/declared_sizes.h"
#include "formats/import/checks/json_scan.h"
#include "formats/import/checks/printable_text.h"

namespace declared {

namespace {

struct Buffer {
    uint64_t byteLength = 0;
    bool hasLength = false;
    bool hasUri = false;
    std::string uri;
};

struct View {
    std::string buffer;  // the id of the buffer it views
    uint64_t byteOffset = 0, byteLength = 0, byteStride = 0;
    bool hasLength = false;
};

struct Accessor {
    std::string view;  // empty: no view, the values are zeros (and a sparse part)
    uint64_t byteOffset = 0, byteStride = 0, count = 0, sparseCount = 0;
    uint64_t componentBytes = 1, components = 1;
};

struct Node {
    std::vector<std::string> children;
};

// One of the JSON's lists of things: an array (glTF 2, ids are indices) or an object (glTF 1, ids
// are keys); references name ids either way.
template <class Item>
struct Collection {
    bool keyed = false;
    std::vector<Item> items;
    std::vector<std::string> ids;
    std::unordered_map<std::string, std::size_t> indexOf;

    Item& at(const JsonStep& step)
    {
        const std::string id = step.inObject ? step.key : std::to_string(step.index);
        const auto found = indexOf.find(id);
        if (found != indexOf.end()) return items[found->second];
        indexOf.emplace(id, items.size());
        ids.push_back(id);
        items.emplace_back();
        return items.back();
    }
    const Item* find(const std::string& id, std::size_t* index = nullptr) const
    {
        const auto found = indexOf.find(id);
        if (found == indexOf.end()) return nullptr;
        if (index) *index = found->second;
        return &items[found->second];
    }
    std::string name(const char* what, std::size_t index) const
    {
        return keyed ? std::string(what) + " '" + printableText(ids[index], 40) + "'"
                     : std::string(what) + " " + ids[index];
    }
};

// A non-negative whole number; anything else is not a count (the reader ignores or refuses it).
bool countOf(JsonKind kind, const std::string& text, uint64_t& count)
{
    return kind == JsonKind::number && parseCount(text, count);
}

// A reference: an index in glTF 2, a key in glTF 1.
bool referenceOf(JsonKind kind, const std::string& text, std::string& id)
{
    uint64_t index;
    if (kind == JsonKind::string || (kind == JsonKind::number && parseCount(text, index))) {
        id = text;
        return true;
    }
    return false;
}

uint64_t componentBytes(uint64_t type)
{
    return type == 5122 || type == 5123 ? 2 : type == 5125 || type == 5126 ? 4 : 1;
}

uint64_t components(const std::string& type)
{
    static const std::pair<const char*, uint64_t> types[] = {{"SCALAR", 1}, {"VEC2", 2}, {"VEC3", 3}, {"VEC4", 4},
                                                             {"MAT2", 4},   {"MAT3", 9}, {"MAT4", 16}};
    for (const auto& t : types)
        if (type == t.first) return t.second;
    return 1;
}

// What the checks need of the JSON, gathered in one walk.
class GltfModel : public JsonVisitor {
public:
    Collection<Buffer> buffers;
    Collection<View> views;
    Collection<Accessor> accessors;
    Collection<Node> nodes;

    void container(const JsonPath& path, JsonKind kind) override
    {
        if (path.size() == 1 && !path[0].inObject) return;
        if (path.size() == 1) {
            const bool keyed = kind == JsonKind::object;
            if (path[0].key == "buffers") buffers.keyed = keyed;
            if (path[0].key == "bufferViews") views.keyed = keyed;
            if (path[0].key == "accessors") accessors.keyed = keyed;
            if (path[0].key == "nodes") nodes.keyed = keyed;
        }
        // An entry with no members of interest still exists: a node with no children is a root.
        if (path.size() == 2 && path[0].inObject && kind == JsonKind::object) entry(path);
    }

    void value(const JsonPath& path, JsonKind kind, const std::string& text) override
    {
        if (path.size() < 3 || !path[0].inObject || !path[2].inObject) return;
        const std::string& list = path[0].key;
        const std::string& field = path[2].key;
        if (list == "buffers" && path.size() == 3) buffer(buffers.at(path[1]), field, kind, text);
        if (list == "bufferViews" && path.size() == 3) view(views.at(path[1]), field, kind, text);
        if (list == "accessors") accessor(accessors.at(path[1]), path, kind, text);
        if (list == "nodes" && path.size() == 4 && field == "children") {
            std::string id;
            if (referenceOf(kind, text, id)) nodes.at(path[1]).children.push_back(id);
        }
    }

private:
    void entry(const JsonPath& path)
    {
        const std::string& list = path[0].key;
        if (list == "buffers") buffers.at(path[1]);
        if (list == "bufferViews") views.at(path[1]);
        if (list == "accessors") accessors.at(path[1]);
        if (list == "nodes") nodes.at(path[1]);
    }

    static void buffer(Buffer& b, const std::string& field, JsonKind kind, const std::string& text)
    {
        if (field == "byteLength") b.hasLength = countOf(kind, text, b.byteLength);
        if (field == "uri" && kind == JsonKind::string) {
            b.hasUri = true;
            b.uri = text;
        }
    }

    static void view(View& v, const std::string& field, JsonKind kind, const std::string& text)
    {
        if (field == "buffer") referenceOf(kind, text, v.buffer);
        if (field == "byteOffset") countOf(kind, text, v.byteOffset);
        if (field == "byteLength") v.hasLength = countOf(kind, text, v.byteLength);
        if (field == "byteStride") countOf(kind, text, v.byteStride);
    }

    static void accessor(Accessor& a, const JsonPath& path, JsonKind kind, const std::string& text)
    {
        const std::string& field = path[2].key;
        uint64_t number = 0;
        if (path.size() == 4 && field == "sparse" && path[3].inObject && path[3].key == "count")
            countOf(kind, text, a.sparseCount);
        if (path.size() != 3) return;
        if (field == "bufferView") referenceOf(kind, text, a.view);
        if (field == "byteOffset") countOf(kind, text, a.byteOffset);
        if (field == "byteStride") countOf(kind, text, a.byteStride);  // glTF 1 keeps it here
        if (field == "count") countOf(kind, text, a.count);
        if (field == "componentType" && countOf(kind, text, number)) a.componentBytes = componentBytes(number);
        if (field == "type" && kind == JsonKind::string) a.components = components(text);
    }
};

// Where the JSON came from: the folder its files lie in, and the bytes of a GLB's binary part.
struct Source {
    std::string folder;
    bool hasBinary = false;
    uint64_t binaryBytes = 0;
};

std::string percentDecoded(const std::string& text)
{
    std::string out;
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '%' && k + 2 < text.size() && hexValue(text[k + 1]) >= 0 && hexValue(text[k + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[k + 1]) * 16 + hexValue(text[k + 2]));
            k += 2;
        } else {
            out += text[k];
        }
    }
    return out;
}

// The bytes a data URI holds, without decoding it.
uint64_t dataUriBytes(const std::string& uri)
{
    const std::size_t comma = uri.find(',');
    if (comma == std::string::npos) return 0;
    const std::string meta = uri.substr(0, comma);
    if (meta.size() < 7 || meta.compare(meta.size() - 7, 7, ";base64") != 0)
        return percentDecoded(uri.substr(comma + 1)).size();
    uint64_t digits = 0;
    for (std::size_t k = comma + 1; k < uri.size(); ++k) {
        const char c = uri[k];
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/')
            ++digits;
    }
    return digits / 4 * 3 + (digits % 4 == 0 ? 0 : digits % 4 - 1);
}

bool regularFileBytes(const std::string& path, uint64_t& bytes)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    bytes = static_cast<uint64_t>(info.st_size);
    return true;
}

// The bytes of a buffer's data; false when they cannot be told here (a file that is not there, or
// not a file), which the reader then finds out for itself.
bool bufferData(const Buffer& buffer, const std::string& id, bool keyed, const Source& source, uint64_t& bytes)
{
    if (!buffer.hasUri) {
        // A GLB's first buffer, or glTF 1's "binary_glTF", is its binary part.
        const bool binary = source.hasBinary && (keyed ? id == "binary_glTF" : id == "0");
        bytes = binary ? source.binaryBytes : 0;
        return true;
    }
    if (buffer.uri.compare(0, 5, "data:") == 0) {
        bytes = dataUriBytes(buffer.uri);
        return true;
    }
    if (source.folder.empty()) return false;  // a borrowed descriptor: the folder is not known here
    const std::size_t colon = buffer.uri.find(':');
    if (colon != std::string::npos && colon < buffer.uri.find('/')) return false;  // another scheme
    const std::string path = buffer.uri[0] == '/' ? buffer.uri : source.folder + "/" + buffer.uri;
    return regularFileBytes(path, bytes) || regularFileBytes(percentDecoded(path), bytes);
}

bool checkBuffers(const GltfModel& model, const Source& source, std::string& error)
{
    const Collection<Buffer>& buffers = model.buffers;
    for (std::size_t k = 0; k < buffers.items.size(); ++k) {
        const Buffer& buffer = buffers.items[k];
        uint64_t data = 0;
        if (!buffer.hasLength || !bufferData(buffer, buffers.ids[k], buffers.keyed, source, data) ||
            buffer.byteLength <= data)
            continue;
        error =
            buffers.name("buffer", k) + " declares " + std::to_string(buffer.byteLength) + " bytes" +
            (data == 0 ? std::string(" but has no data") : ", more than the " + std::to_string(data) + " of its data");
        return false;
    }
    return true;
}

bool checkViews(const GltfModel& model, std::string& error)
{
    for (std::size_t k = 0; k < model.views.items.size(); ++k) {
        const View& view = model.views.items[k];
        const Buffer* buffer = model.buffers.find(view.buffer);
        if (!buffer || !buffer->hasLength || !view.hasLength) continue;
        if (saturatingSum(view.byteOffset, view.byteLength) <= buffer->byteLength) continue;
        error = model.views.name("buffer view", k) + " reaches past the end of its buffer";
        return false;
    }
    return true;
}

// The bytes an accessor's values span in its view: the last one starts a stride after the one before.
uint64_t accessorSpan(const Accessor& accessor, const View& view)
{
    if (accessor.count == 0) return 0;
    const uint64_t element = saturatingProduct(accessor.componentBytes, accessor.components);
    const uint64_t stride = view.byteStride ? view.byteStride : accessor.byteStride ? accessor.byteStride : element;
    return saturatingSum(saturatingSum(accessor.byteOffset, saturatingProduct(stride, accessor.count - 1)), element);
}

bool checkAccessors(const GltfModel& model, std::string& error)
{
    uint64_t allBuffers = 0;
    for (const Buffer& buffer : model.buffers.items) allBuffers = saturatingSum(allBuffers, buffer.byteLength);
    for (std::size_t k = 0; k < model.accessors.items.size(); ++k) {
        const Accessor& accessor = model.accessors.items[k];
        const std::string name = model.accessors.name("accessor", k);
        const View* view = model.views.find(accessor.view);
        if (accessor.sparseCount > accessor.count) {
            error = name + " declares more sparse elements than elements";
            return false;
        }
        const std::string declares = name + " declares " + std::to_string(accessor.count) + " elements";
        if (view && view->hasLength && accessorSpan(accessor, *view) > view->byteLength) {
            error = declares + ", more than its buffer view holds";
            return false;
        }
        // With no view the values are made, zeros, as many as declared: no more than all the data.
        if (accessor.view.empty() &&
            saturatingProduct(accessor.count, saturatingProduct(accessor.componentBytes, accessor.components)) >
                allBuffers) {
            error = declares + " with no buffer view, more than all its buffers hold";
            return false;
        }
    }
    return true;
}

// Each node the child of one parent at most, no cycle, at most kMaxNesting deep: a reader copies a
// node named twice as often as it is named, which doubles with every level.
bool checkNodes(const Collection<Node>& nodes, std::string& error)
{
    const std::size_t count = nodes.items.size();
    std::vector<uint8_t> named(count, 0);
    std::vector<std::vector<std::size_t>> children(count);
    for (std::size_t k = 0; k < count; ++k) {
        for (const std::string& id : nodes.items[k].children) {
            std::size_t child;
            if (!nodes.find(id, &child)) continue;
            if (named[child]++) {
                error = nodes.name("node", child) + " is named as a child more than once";
                return false;
            }
            children[k].push_back(child);
        }
    }
    std::vector<std::pair<std::size_t, std::size_t>> pending;  // node, depth
    for (std::size_t k = 0; k < count; ++k)
        if (!named[k]) pending.emplace_back(k, 1);
    std::size_t reached = 0;
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        ++reached;
        if (depth > kMaxNesting) {
            error = "its node tree nests deeper than " + std::to_string(kMaxNesting) + " levels";
            return false;
        }
        for (std::size_t child : children[node]) pending.emplace_back(child, depth + 1);
    }
    if (reached == count) return true;
    error = "its nodes are their own ancestors (a cycle)";
    return false;
}

bool checkGltfText(const std::string& json, const Source& source, std::string& error, bool mayBeOther = false)
{
    GltfModel model;
    const JsonScan scan = scanJson(json.data(), json.data() + json.size(), kMaxNesting, model, error);
    if (scan == JsonScan::notJson && mayBeOther) {
        error.clear();
        return true;
    }
    if (scan != JsonScan::json) return false;
    return checkBuffers(model, source, error) && checkViews(model, error) && checkAccessors(model, error) &&
           checkNodes(model.nodes, error);
}

std::string chunkTooLong(const char* chunk, uint64_t declared, uint64_t fileBytes)
{
    return std::string("its ") + chunk + " declares " + std::to_string(declared) + " bytes, more than its " +
           std::to_string(fileBytes) + " bytes can hold";
}

}  // namespace

bool checkGltfJson(const FileBytes& file, std::string& error, bool mayBeOther)
{
    return checkGltfText(file.read(0, static_cast<std::size_t>(file.size())), Source{folderOf(file.path())}, error,
                         mayBeOther);
}

// GLB 2: a 12-byte header (magic, version, length), then chunks of a length, a type and the data:
// JSON first, binary next. GLB 1: a 20-byte header with the JSON's length, the binary after it.
bool checkGlb(const FileBytes& file, std::string& error)
{
    const std::string header = file.read(0, 28);
    if (header.size() < 20) return true;  // the reader refuses it as it is
    const uint32_t version = littleEndian32(header, 4), length = littleEndian32(header, 8);
    if (length > file.size()) {
        error = chunkTooLong("header", length, file.size());
        return false;
    }
    Source source{folderOf(file.path()), true, 0};
    const uint64_t jsonBytes = littleEndian32(header, 12);
    if (version != 1 && version != 2) return true;
    if (saturatingSum(20, jsonBytes) > length) {
        error = chunkTooLong(version == 2 ? "JSON chunk" : "JSON content", jsonBytes, file.size());
        return false;
    }
    const uint64_t after = 20 + jsonBytes;
    if (version == 1) {
        source.binaryBytes = length - after;
    } else if (after + 8 <= length) {
        const std::string chunk = file.read(after, 8);
        source.binaryBytes = littleEndian32(chunk, 0);
        if (saturatingSum(after + 8, source.binaryBytes) > length) {
            error = chunkTooLong("binary chunk", source.binaryBytes, file.size());
            return false;
        }
    }
    return checkGltfText(file.read(20, static_cast<std::size_t>(jsonBytes)), source, error);
}

}  // namespace declared
