// Shape::parse: the scan of the model text for the shape header, the vertex table and the polygon table.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "model/allocate.h"
#include "model/console.h"
#include "model/shape.h"
#include "model/text_scan.h"

namespace {

constexpr std::size_t npos = TextScan::npos;
constexpr const char* kShapeError = "error in SHAPE description";
constexpr const char* kVectorError = "error in VECTOR description";
constexpr const char* kPolygonError = "error in SPOLY description";

bool fail(const char* message)
{
    reportError(message);
    return false;
}

// Control characters, blanks and every byte from 128 up: signed chars of 32 or less.
bool passedOverBeforeName(char c) { return static_cast<signed char>(c) <= 32; }

// -32768 stays -32768, as 16-bit arithmetic gives.
int16_t negate16(int16_t v) { return static_cast<int16_t>(static_cast<uint16_t>(-static_cast<int32_t>(v))); }

bool parseHeader(Shape& shape, const TextScan& text)
{
    const std::size_t keyword = text.find("SHAPE", 0);
    if (keyword == npos) return fail("not a valid ZEM model");

    std::size_t nameStart = keyword + std::strlen("SHAPE");
    while (nameStart < text.size() && passedOverBeforeName(*text.at(nameStart))) ++nameStart;
    const std::size_t suffix = text.find("_shape", nameStart);
    if (suffix == npos) return fail(kShapeError);
    const std::size_t nameLength = std::min(suffix - nameStart, kNameSize - 1);
    std::memcpy(shape.name, text.at(nameStart), nameLength);
    shape.name[nameLength] = '\0';

    const std::size_t brace = text.find('{', suffix);
    const std::size_t comma = brace == npos ? npos : text.find(',', brace);
    if (comma == npos) return fail(kShapeError);
    std::size_t cursor = comma + 1;
    int64_t vertexCount = 0;
    int64_t polygonCount = 0;
    if (!text.readNumber(cursor, vertexCount) || !text.readNumber(cursor, polygonCount)) return fail(kShapeError);
    if (lowBits32(vertexCount) < 0 || lowBits32(polygonCount) < 0) return fail(kShapeError);
    shape.vertexCount = lowBits32(vertexCount);
    shape.polygonCount = lowBits32(polygonCount);
    return true;
}

// Finds a table's keyword, searched from the start of the text, and the table's opening brace.
// Every entry needs opening braces of its own, so a count the text cannot hold is refused as a
// text that ran out, before a table of that size is allocated. npos after a message.
std::size_t openTable(const TextScan& text, const char* keyword, const char* error, int32_t count,
                      std::size_t bracesPerEntry)
{
    const std::size_t at = text.find(keyword, 0);
    if (at == npos) {
        char missing[40];
        std::snprintf(missing, sizeof missing, "%s description missing", keyword);
        reportError(missing);
        return npos;
    }
    const std::size_t brace = text.find('{', at);
    if (brace == npos || text.countFrom('{', brace + 1) / bracesPerEntry < static_cast<std::size_t>(count)) {
        reportError(error);
        return npos;
    }
    return brace;
}

// A table of count records, allocated whole; out of memory, one line that names the model's count.
template <typename T>
bool allocateTable(Array<T>& table, int32_t count, const char* records)
{
    char what[80];
    std::snprintf(what, sizeof what, "the model's %d %s", static_cast<int>(count), records);
    table = allocateArray<T>(static_cast<std::size_t>(count), what);
    return table != nullptr;
}

bool parseVertexTable(Shape& shape, const TextScan& text)
{
    // A vertex entry has one opening brace.
    std::size_t cursor = openTable(text, "VECTOR", kVectorError, shape.vertexCount, 1);
    if (cursor == npos) return false;

    if (!allocateTable(shape.vertices, shape.vertexCount, "vertices")) return false;
    for (int32_t i = 0; i < shape.vertexCount; ++i) {
        cursor = text.find('{', cursor + 1);
        if (cursor == npos) return fail(kVectorError);
        ++cursor;
        int64_t x = 0;
        int64_t y = 0;
        int64_t z = 0;
        if (!text.readNumber(cursor, x) || !text.readNumber(cursor, y) || !text.readNumber(cursor, z))
            return fail(kVectorError);
        shape.vertices[i] = ShapeVertex{lowBits16(x), negate16(lowBits16(y)), lowBits16(z)};
        cursor = text.closingBrace(cursor);
        if (cursor == npos) return fail(kVectorError);
    }
    return true;
}

// The first polygon that breaks the record's bounds. Its numbers are still read, so the rest of
// the table parses exactly as it would, and the load fails with this message at the end.
struct PolygonFault {
    bool found = false;
    char message[200] = {};

    void tooManyIndices(int32_t polygon, int64_t count)
    {
        if (found) return;
        found = true;
        std::snprintf(message, sizeof message, "%s: polygon %d has %" PRId64 " vertex indices, at most %d are allowed",
                      kPolygonError, static_cast<int>(polygon), count, kMaxPolygonIndices);
    }

    // The index as the file wrote it: 40000 is reported as 40000, not as its 16-bit cut.
    void indexOutOfRange(int32_t polygon, int64_t written, int32_t vertexCount)
    {
        if (found) return;
        found = true;
        std::snprintf(message, sizeof message,
                      "%s: polygon %d names vertex %" PRId64 ", but the vertex table has %d entries", kPolygonError,
                      static_cast<int>(polygon), written, static_cast<int>(vertexCount));
    }
};

// Reads one index list at cursor (just after its opening brace) into polygon, noting any fault.
bool readIndexList(const TextScan& text, std::size_t& cursor, int32_t number, uint8_t count, int32_t vertexCount,
                   ShapePolygon& polygon, PolygonFault& fault)
{
    bool inBounds = count <= kMaxPolygonIndices;
    if (!inBounds) fault.tooManyIndices(number, count);
    for (int k = 0; k < count; ++k) {
        int64_t value = 0;
        if (!text.readNumber(cursor, value)) return false;
        const int16_t index = lowBits16(value);
        if (index < 0 || index >= vertexCount) {
            fault.indexOutOfRange(number, value, vertexCount);
            inBounds = false;
        }
        if (k < kMaxPolygonIndices) polygon.indices[k] = index;
    }
    polygon.count = count;
    // A refused polygon is kept empty, so that nothing can ever index through it.
    if (!inBounds) polygon = ShapePolygon();
    return true;
}

bool parsePolygonTable(Shape& shape, const TextScan& text)
{
    // A polygon entry has two opening braces: its own and its index list's.
    std::size_t cursor = openTable(text, "SPOLY", kPolygonError, shape.polygonCount, 2);
    if (cursor == npos) return false;

    if (!allocateTable(shape.polygons, shape.polygonCount, "polygons")) return false;
    PolygonFault fault;
    for (int32_t p = 0; p < shape.polygonCount; ++p) {
        cursor = text.find('{', cursor + 1);
        if (cursor == npos) return fail(kPolygonError);
        ++cursor;
        int64_t colour = 0;
        int64_t count = 0;
        if (!text.readNumber(cursor, colour)) return fail(kPolygonError);
        const std::size_t countStart = cursor;
        if (!text.readNumber(cursor, count)) return fail(kPolygonError);
        cursor = text.find('{', countStart);
        if (cursor == npos) return fail(kPolygonError);
        ++cursor;
        ShapePolygon& polygon = shape.polygons[p];
        polygon.colourIndex = lowBits8(colour);
        if (!readIndexList(text, cursor, p, lowBits8(count), shape.vertexCount, polygon, fault))
            return fail(kPolygonError);
        cursor = text.closingBrace(cursor);                          // the index list's
        if (cursor != npos) cursor = text.closingBrace(cursor + 1);  // the entry's
        if (cursor == npos) return fail(kPolygonError);
    }
    return fault.found ? fail(fault.message) : true;
}

}  // namespace

bool Shape::parse(const char* text, const char* end)
{
    const TextScan scan(text, end);
    return parseHeader(*this, scan) && parseVertexTable(*this, scan) && parsePolygonTable(*this, scan);
}
