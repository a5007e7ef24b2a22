// The answer's bytes: little-endian fields after a magic word, written by the child, read by the parent with every
// check.
#include "formats/import/wire.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/bytes.h"
#include "formats/import/checks/printable_text.h"

// Layout: "ZRA1", kind (1 byte), notes (count, then each as text), then by kind: the refusal
// (text); the failure (1 byte); the fitted model (writeFitted); or the model: name (text), points
// dropped (8 bytes), positions (count, then x, y, z as doubles), polygons (count, then corners as
// 4 bytes and r, g, b as floats), indices (count, then 4 bytes each). Counts are 8 bytes but the
// notes' (4); text is a 4-byte length and its bytes.

namespace {

constexpr char kMagic[4] = {'Z', 'R', 'A', '1'};
constexpr std::size_t kPositionBytes = 24;
constexpr std::size_t kPolygonBytes = 16;
constexpr std::size_t kIndexBytes = 4;

class Writer {
public:
    void raw(const void* data, std::size_t size) { bytes_.append(static_cast<const char*>(data), size); }
    void number(uint64_t value, int size)
    {
        for (int k = 0; k < size; ++k) bytes_ += static_cast<char>((value >> (8 * k)) & 0xff);
    }
    void real(double value)
    {
        uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        number(bits, 8);
    }
    void real(float value)
    {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        number(bits, 4);
    }
    void text(const std::string& value)
    {
        const std::string printable = printableText(value);
        number(printable.size(), 4);
        bytes_ += printable;
    }
    std::string& bytes() { return bytes_; }

private:
    std::string bytes_;
};

float unitClamp(float c) { return c >= 0 ? (c <= 1 ? c : 1) : 0; }  // NaN to 0 as well

// A polygon fit to be sent: 2 or more corners, within the indices, naming positions that exist.
bool drawable(const SourceModel& model, const SourceModel::Polygon& polygon)
{
    if (polygon.count < 2 || polygon.count > UINT32_MAX || polygon.first > model.indices.size() ||
        polygon.count > model.indices.size() - polygon.first)
        return false;
    for (std::size_t k = 0; k < polygon.count; ++k)
        if (model.indices[polygon.first + k] >= model.positions.size()) return false;
    return true;
}

void writeModel(const SourceModel& model, Writer& out)
{
    out.text(model.name);
    out.number(model.pointsDropped, 8);
    out.number(model.positions.size(), 8);
    for (const SourcePoint& p : model.positions) {
        out.real(p.x);
        out.real(p.y);
        out.real(p.z);
    }
    std::size_t polygons = 0, corners = 0;
    for (const SourceModel::Polygon& polygon : model.polygons)
        if (drawable(model, polygon)) ++polygons, corners += polygon.count;
    out.number(polygons, 8);
    for (const SourceModel::Polygon& polygon : model.polygons) {
        if (!drawable(model, polygon)) continue;
        out.number(polygon.count, 4);
        for (float c : {polygon.colour.r, polygon.colour.g, polygon.colour.b}) out.real(unitClamp(c));
    }
    out.number(corners, 8);
    for (const SourceModel::Polygon& polygon : model.polygons)
        if (drawable(model, polygon))
            for (std::size_t k = 0; k < polygon.count; ++k) out.number(model.indices[polygon.first + k], 4);
}

// A fitted model: name, vertices (count, then x, y, z as 4 bytes each, two's complement), polygons
// (count, then each its colour and its corner count as a byte each and its corners as 4 bytes).
void writeFitted(const ImportedModel& model, Writer& out)
{
    out.text(model.name);
    out.number(model.vertices.size(), 8);
    for (const TextVertex& v : model.vertices)
        for (int c : {v.x, v.y, v.z}) out.number(static_cast<uint32_t>(c), 4);
    out.number(model.polygons.size(), 8);
    for (const TextPolygon& polygon : model.polygons) {
        out.number(static_cast<uint8_t>(polygon.colour), 1);
        out.number(static_cast<uint8_t>(polygon.indices.size()), 1);
        for (int index : polygon.indices) out.number(static_cast<uint32_t>(index), 4);
    }
}

bool finitePositions(const SourceModel& model)
{
    for (const SourcePoint& p : model.positions)
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
    return true;
}

class Reader {
public:
    Reader(const char* data, std::size_t size) : at_(data), end_(data + size) {}

    std::size_t left() const { return static_cast<std::size_t>(end_ - at_); }
    bool number(uint64_t& value, int size)
    {
        if (left() < static_cast<std::size_t>(size)) return false;
        value = littleEndian(at_, 0, static_cast<std::size_t>(size));
        at_ += size;
        return true;
    }
    bool real(double& value)
    {
        uint64_t bits;
        if (!number(bits, 8)) return false;
        std::memcpy(&value, &bits, sizeof value);
        return std::isfinite(value);
    }
    bool real(float& value)
    {
        uint64_t bits;
        if (!number(bits, 4)) return false;
        const uint32_t narrow = static_cast<uint32_t>(bits);
        std::memcpy(&value, &narrow, sizeof value);
        return std::isfinite(value);
    }
    bool text(std::string& value)
    {
        uint64_t size;
        if (!number(size, 4) || size > left() || !isPrintableText(at_, size)) return false;
        value.assign(at_, size);
        at_ += size;
        return true;
    }
    // A count of items of itemBytes each, which the bytes left must be able to hold.
    bool count(uint64_t& value, std::size_t itemBytes, int size = 8)
    {
        return number(value, size) && value <= left() / itemBytes;
    }
    bool magic()
    {
        if (left() < sizeof kMagic || std::memcmp(at_, kMagic, sizeof kMagic) != 0) return false;
        at_ += sizeof kMagic;
        return true;
    }

private:
    const char* at_;
    const char* end_;
};

bool fail(std::string& error, const char* what)
{
    error = what;
    return false;
}

bool readPositions(Reader& in, SourceModel& model, std::string& error)
{
    uint64_t count;
    if (!in.count(count, kPositionBytes)) return fail(error, "more positions than bytes");
    model.positions.resize(count);
    for (SourcePoint& p : model.positions)
        if (!in.real(p.x) || !in.real(p.y) || !in.real(p.z)) return fail(error, "a position is not a finite number");
    return true;
}

bool readPolygons(Reader& in, SourceModel& model, uint64_t& corners, std::string& error)
{
    uint64_t count;
    if (!in.count(count, kPolygonBytes)) return fail(error, "more polygons than bytes");
    model.polygons.resize(count);
    corners = 0;
    for (SourceModel::Polygon& polygon : model.polygons) {
        uint64_t size;
        if (!in.number(size, 4) || size < 2) return fail(error, "a polygon of fewer than 2 corners");
        polygon.first = corners;
        polygon.count = size;
        corners += size;
        // The indices come after the polygons: their bytes are still to come.
        if (corners > in.left() / kIndexBytes) return fail(error, "more corners than bytes");
        SourceColour& c = polygon.colour;
        if (!in.real(c.r) || !in.real(c.g) || !in.real(c.b) || c.r > 1 || c.g > 1 || c.b > 1 || c.r < 0 || c.g < 0 ||
            c.b < 0)
            return fail(error, "a colour outside 0 to 1");
    }
    return true;
}

bool readIndices(Reader& in, SourceModel& model, uint64_t corners, std::string& error)
{
    uint64_t count;
    if (!in.count(count, kIndexBytes)) return fail(error, "more indices than bytes");
    if (count != corners) return fail(error, "the polygons' corners and the indices differ in number");
    model.indices.resize(count);
    for (uint32_t& index : model.indices) {
        uint64_t value;
        if (!in.number(value, 4) || value >= model.positions.size()) return fail(error, "an index past the positions");
        index = static_cast<uint32_t>(value);
    }
    return true;
}

bool readModel(Reader& in, SourceModel& model, std::string& error)
{
    uint64_t dropped, corners;
    if (!in.text(model.name)) return fail(error, "the name is not printable text");
    if (!in.number(dropped, 8)) return fail(error, "cut short");
    model.pointsDropped = dropped;
    return readPositions(in, model, error) && readPolygons(in, model, corners, error) &&
           readIndices(in, model, corners, error);
}

bool readFittedVertices(Reader& in, ImportedModel& model, std::string& error)
{
    uint64_t count;
    if (!in.count(count, 12)) return fail(error, "more fitted vertices than bytes");
    if (count > static_cast<uint64_t>(kImportMaxVertices))
        return fail(error, "more fitted vertices than the format holds");
    model.vertices.resize(count);
    for (TextVertex& v : model.vertices) {
        for (int* c : {&v.x, &v.y, &v.z}) {
            uint64_t bits = 0;
            if (!in.number(bits, 4)) return fail(error, "cut short");
            *c = static_cast<int32_t>(static_cast<uint32_t>(bits));
            if (*c < -32768 || *c > 32767) return fail(error, "a fitted coordinate outside -32768 to 32767");
        }
    }
    return true;
}

bool readFittedPolygons(Reader& in, ImportedModel& model, std::string& error)
{
    uint64_t count;
    // Each polygon takes its two bytes and two corners at least.
    if (!in.count(count, 10)) return fail(error, "more fitted polygons than bytes");
    // Each decoded polygon costs several times its ten bytes: the format's count is checked first.
    if (count > static_cast<uint64_t>(kImportMaxPolygons))
        return fail(error, "more fitted polygons than the format holds");
    model.polygons.resize(count);
    for (TextPolygon& polygon : model.polygons) {
        uint64_t colour, corners;
        if (!in.number(colour, 1) || !in.number(corners, 1) || corners < 2 || corners > 5 || corners * 4 > in.left())
            return fail(error, "a fitted polygon of other than 2 to 5 corners");
        polygon.colour = static_cast<int>(colour);
        polygon.indices.resize(corners);
        for (int& index : polygon.indices) {
            uint64_t value = 0;
            if (!in.number(value, 4)) return fail(error, "cut short");
            if (value >= model.vertices.size()) return fail(error, "a fitted corner past the vertices");
            index = static_cast<int>(value);
        }
    }
    return true;
}

bool readFitted(Reader& in, ImportedModel& model, std::string& error)
{
    if (!in.text(model.name)) return fail(error, "the name is not printable text");
    return readFittedVertices(in, model, error) && readFittedPolygons(in, model, error);
}

bool readNotes(Reader& in, std::vector<std::string>& notes, std::string& error)
{
    uint64_t count;
    if (!in.number(count, 4) || count > kMaxAnswerNotes) return fail(error, "too many notes");
    notes.resize(count);
    for (std::string& note : notes)
        if (!in.text(note)) return fail(error, "a note is not printable text");
    return true;
}

bool readBody(Reader& in, ReadAnswer& answer, std::string& error)
{
    uint64_t kind, failure;
    if (!in.magic()) return fail(error, "no answer's magic word");
    if (!in.number(kind, 1)) return fail(error, "cut short");
    if (!readNotes(in, answer.notes, error)) return false;
    switch (static_cast<ReadAnswer::Kind>(kind)) {
    case ReadAnswer::Kind::model:
        answer.kind = ReadAnswer::Kind::model;
        return readModel(in, answer.model, error);
    case ReadAnswer::Kind::refused:
        answer.kind = ReadAnswer::Kind::refused;
        return in.text(answer.refusal) || fail(error, "the refusal is not printable text");
    case ReadAnswer::Kind::failed:
        answer.kind = ReadAnswer::Kind::failed;
        if (!in.number(failure, 1) || failure < 1 || failure > kLastReaderFailure)
            return fail(error, "no such failure");
        answer.failure = static_cast<ReaderFailure>(failure);
        return true;
    case ReadAnswer::Kind::fitted:
        answer.kind = ReadAnswer::Kind::fitted;
        return readFitted(in, answer.fitted, error);
    }
    return fail(error, "no such kind of answer");
}

}  // namespace

std::string encodeReadAnswer(const ReadAnswer& answer)
{
    Writer out;
    out.raw(kMagic, sizeof kMagic);
    const bool finite = answer.kind != ReadAnswer::Kind::model || finitePositions(answer.model);
    out.number(static_cast<uint8_t>(finite ? answer.kind : ReadAnswer::Kind::refused), 1);
    const std::size_t notes = answer.notes.size() > kMaxAnswerNotes ? kMaxAnswerNotes : answer.notes.size();
    out.number(notes, 4);
    for (std::size_t k = 0; k < notes; ++k)
        out.text(k + 1 < notes || notes == answer.notes.size()
                     ? answer.notes[k]
                     : std::to_string(answer.notes.size() - k) + " more notes like the ones above");
    if (!finite)
        out.text("a vertex position is not a finite number");
    else if (answer.kind == ReadAnswer::Kind::refused)
        out.text(answer.refusal);
    else if (answer.kind == ReadAnswer::Kind::failed)
        out.number(static_cast<uint8_t>(answer.failure), 1);
    else if (answer.kind == ReadAnswer::Kind::fitted)
        writeFitted(answer.fitted, out);
    else
        writeModel(answer.model, out);
    return std::move(out.bytes());
}

bool decodeReadAnswer(const char* data, std::size_t size, ReadAnswer& answer, std::string& error)
{
    answer = ReadAnswer();
    Reader in(data, size);
    if (!readBody(in, answer, error)) return false;
    if (in.left() != 0) return fail(error, "bytes after the answer");
    return true;
}
