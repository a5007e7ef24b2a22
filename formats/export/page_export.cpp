// The page export: the shape written back as ZEM text, checked to load as the same model, escaped,
// and placed in the built page's empty model element by plain substitution.
#include "formats/export/page_export.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "model/console.h"
#include "model/shape.h"
#include "model/shape_write.h"
#include "web/page.h"

namespace {

constexpr const char* kSlot = "<script type=\"application/x-zem-model\" id=\"zem-model\">";

// The ZEM text of a loaded shape: y back as the file has it, every polygon as the table holds it.
std::string modelText(const Shape& shape)
{
    std::vector<TextVertex> vertices;
    vertices.reserve(static_cast<std::size_t>(shape.vertexCount));
    for (int32_t i = 0; i < shape.vertexCount; ++i) {
        const ShapeVertex& v = shape.vertices[i];
        vertices.push_back({v.x, -static_cast<int>(v.y), v.z});
    }
    std::vector<TextPolygon> polygons;
    polygons.reserve(static_cast<std::size_t>(shape.polygonCount));
    for (int32_t p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& polygon = shape.polygons[p];
        polygons.push_back({polygon.colourIndex, std::vector<int>(polygon.indices, polygon.indices + polygon.count)});
    }
    return formatModel(shape.name, vertices, polygons);
}

bool samePolygons(const Shape& a, const Shape& b)
{
    for (int32_t p = 0; p < a.polygonCount; ++p) {
        const ShapePolygon& x = a.polygons[p];
        const ShapePolygon& y = b.polygons[p];
        if (x.count != y.count || x.colourIndex != y.colourIndex ||
            std::memcmp(x.indices, y.indices, sizeof x.indices) != 0)
            return false;
    }
    return true;
}

// Whether the text loads as the shape: a name can hold a table's keyword, which the loader finds
// before the table when it reads the text again.
bool loadsAs(const std::string& text, const Shape& shape)
{
    const MessageSink sink = messageSink();
    messageSink() = [](const char*) {};
    Shape again;
    const bool parsed = again.parse(text.data(), text.data() + text.size());
    messageSink() = sink;
    return parsed && std::strcmp(again.name, shape.name) == 0 && again.vertexCount == shape.vertexCount &&
           again.polygonCount == shape.polygonCount &&
           std::memcmp(again.vertices.get(), shape.vertices.get(),
                       static_cast<std::size_t>(shape.vertexCount) * sizeof(ShapeVertex)) == 0 &&
           samePolygons(again, shape);
}

}  // namespace

bool webPageBuilt() { return !builtPage().empty(); }

std::string escapeModelText(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        const unsigned char b = static_cast<unsigned char>(c);
        const bool plain = (b >= 0x20 && b < 0x7f && b != '%' && b != '<') || b == '\n' || b == '\t';
        if (plain) {
            out += c;
        } else {
            out += '%';
            out += upperHexDigit(b >> 4);
            out += upperHexDigit(b & 15);
        }
    }
    return out;
}

bool writeModelPage(const Shape& shape, std::string& page, std::string& error)
{
    const std::string_view built = builtPage();
    if (built.empty()) {
        page.clear();
        error = "this zemconvert was built without the web page, which needs emscripten at build time";
        return false;
    }
    const std::string text = modelText(shape);
    if (!loadsAs(text, shape)) {
        error = "the model cannot be written as ZEM text that loads back the same (its name holds VECTOR or SPOLY)";
        return false;
    }
    const std::string templ(built);
    const std::size_t slot = templ.find(kSlot);
    if (slot == std::string::npos) {
        error = "the built page has no place for a model";
        return false;
    }
    const std::size_t at = slot + std::strlen(kSlot);
    page = templ.substr(0, at) + escapeModelText(text) + templ.substr(at);
    return true;
}
