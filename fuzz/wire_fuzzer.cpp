// libFuzzer target: the confined reader's answer decoded from any bytes; what is accepted is consistent and encodes
// back the same.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "formats/import/checks/printable_text.h"
#include "formats/import/wire.h"

namespace {

bool printable(const std::string& text) { return isPrintableText(text.data(), text.size()); }

bool unit(float c) { return c >= 0 && c <= 1; }

// What the parent relies on once an answer is accepted.
void checkModel(const SourceModel& model)
{
    if (!printable(model.name)) std::abort();
    for (const SourcePoint& p : model.positions)
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) std::abort();
    std::size_t corners = 0;
    for (const SourceModel::Polygon& polygon : model.polygons) {
        if (polygon.first != corners || polygon.count < 2) std::abort();
        if (!unit(polygon.colour.r) || !unit(polygon.colour.g) || !unit(polygon.colour.b)) std::abort();
        corners += polygon.count;
    }
    if (corners != model.indices.size()) std::abort();
    for (uint32_t index : model.indices)
        if (index >= model.positions.size()) std::abort();
}

void checkAnswer(const ReadAnswer& answer)
{
    if (answer.notes.size() > kMaxAnswerNotes) std::abort();
    for (const std::string& note : answer.notes)
        if (!printable(note)) std::abort();
    if (answer.kind == ReadAnswer::Kind::model) checkModel(answer.model);
    if (answer.kind == ReadAnswer::Kind::refused && !printable(answer.refusal)) std::abort();
    const auto failure = static_cast<uint8_t>(answer.failure);
    if (answer.kind == ReadAnswer::Kind::failed && (failure < 1 || failure > kLastReaderFailure)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    // An allocation of exactly the input's size, so that a look past its end is caught.
    std::unique_ptr<char[]> bytes(new char[size]);
    if (size > 0) std::memcpy(bytes.get(), data, size);
    ReadAnswer answer;
    std::string why;
    if (!decodeReadAnswer(bytes.get(), size, answer, why)) return 0;
    checkAnswer(answer);
    // The encoding is the one way to write an answer: what was accepted is written back byte for byte.
    if (encodeReadAnswer(answer) != std::string(bytes.get(), size)) std::abort();
    return 0;
}
