// The confined reader's answer: what the child encodes comes back whole, and hostile bytes are refused before use.
#include "formats/import/wire.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "formats/import/checks/printable_text.h"

namespace {

SourceModel sampleModel()
{
    SourceModel model;
    model.name = "Mod\xc3\xa8le 3";
    model.positions = {{0, 0, 0}, {-1.5, 2.25, 1e300}, {-0.0, 4.9e-324, -7}, {3, 3, 3}, {5, 6, 7}};
    const uint32_t segment[] = {3, 4};
    const uint32_t triangle[] = {0, 1, 2};
    const uint32_t pentagon[] = {4, 3, 2, 1, 0};
    model.addPolygon(segment, 2, SourceColour{0.25f, 0.5f, 1});
    model.addPolygon(triangle, 3, SourceColour{0, 0, 0});
    model.addPolygon(pentagon, 5, SourceColour{1, 0.125f, 0.75f});
    model.pointsDropped = 7;
    return model;
}

// Decodes from an allocation of exactly the answer's size, so that the sanitizer sees any look past it.
bool decode(const std::string& bytes, ReadAnswer& answer, std::string* why = nullptr)
{
    std::unique_ptr<char[]> exact(new char[bytes.size() + 1]);
    std::memcpy(exact.get(), bytes.data(), bytes.size());
    std::string reason;
    const bool ok = decodeReadAnswer(exact.get(), bytes.size(), answer, reason);
    if (why) *why = reason;
    return ok;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The layout written field by field, independently of the encoder, for hand-made answers.
class Bytes {
public:
    Bytes& raw(const std::string& text)
    {
        bytes += text;
        return *this;
    }
    Bytes& number(uint64_t value, int size)
    {
        for (int k = 0; k < size; ++k) bytes += static_cast<char>(value >> (8 * k));
        return *this;
    }
    Bytes& real(double value)
    {
        uint64_t bits;
        std::memcpy(&bits, &value, 8);
        return number(bits, 8);
    }
    Bytes& real32(float value)
    {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        return number(bits, 4);
    }
    Bytes& text(const std::string& value) { return number(value.size(), 4).raw(value); }
    std::string bytes;
};

// A model answer with no notes: name, then one segment between two positions, built so that each
// part can be replaced.
struct ModelParts {
    std::string name = "n";
    double x = 1;
    uint64_t positions = 2, polygons = 1, corners = 2, indices = 2;
    uint32_t secondIndex = 1;
    float red = 0.5f;
    uint8_t kind = 1;

    std::string build() const
    {
        Bytes b;
        b.raw("ZRA1").number(kind, 1).number(0, 4).text(name).number(0, 8).number(positions, 8);
        b.real(x).real(0).real(0).real(1).real(1).real(1);
        b.number(polygons, 8).number(corners, 4).real32(red).real32(0).real32(0);
        b.number(indices, 8).number(0, 4).number(secondIndex, 4);
        return b.bytes;
    }
};

TEST(Wire, modelComesBackWhole)
{
    ReadAnswer sent;
    sent.model = sampleModel();
    sent.notes = {"ignored material file ../x.mtl: outside the model's folder", "second note"};
    ReadAnswer got;
    std::string why;
    ASSERT_TRUE(decode(encodeReadAnswer(sent), got, &why)) << why;
    EXPECT_EQ(got.kind, ReadAnswer::Kind::model);
    EXPECT_EQ(got.notes, sent.notes);
    EXPECT_EQ(got.model.name, sent.model.name);
    EXPECT_EQ(got.model.pointsDropped, 7u);
    ASSERT_EQ(got.model.positions.size(), sent.model.positions.size());
    for (std::size_t i = 0; i < sent.model.positions.size(); ++i) {
        EXPECT_TRUE(sameBits(got.model.positions[i].x, sent.model.positions[i].x)) << i;
        EXPECT_TRUE(sameBits(got.model.positions[i].y, sent.model.positions[i].y)) << i;
        EXPECT_TRUE(sameBits(got.model.positions[i].z, sent.model.positions[i].z)) << i;
    }
    EXPECT_EQ(got.model.indices, sent.model.indices);
    ASSERT_EQ(got.model.polygons.size(), 3u);
    for (std::size_t p = 0; p < 3; ++p) {
        EXPECT_EQ(got.model.polygons[p].first, sent.model.polygons[p].first);
        EXPECT_EQ(got.model.polygons[p].count, sent.model.polygons[p].count);
        EXPECT_EQ(got.model.polygons[p].colour.r, sent.model.polygons[p].colour.r);
        EXPECT_EQ(got.model.polygons[p].colour.b, sent.model.polygons[p].colour.b);
    }
}

TEST(Wire, refusalsAndFailuresComeBackWithTheirNotes)
{
    ReadAnswer refused;
    refused.kind = ReadAnswer::Kind::refused;
    refused.refusal = "declares 500000000 vertices, more than its 226 bytes can hold";
    refused.notes = {"a note"};
    ReadAnswer got;
    ASSERT_TRUE(decode(encodeReadAnswer(refused), got));
    EXPECT_EQ(got.kind, ReadAnswer::Kind::refused);
    EXPECT_EQ(got.refusal, refused.refusal);
    EXPECT_EQ(got.notes, refused.notes);

    for (ReaderFailure failure : {ReaderFailure::noReader, ReaderFailure::endsEarly, ReaderFailure::damaged}) {
        ReadAnswer failed;
        failed.kind = ReadAnswer::Kind::failed;
        failed.failure = failure;
        ASSERT_TRUE(decode(encodeReadAnswer(failed), got));
        EXPECT_EQ(got.kind, ReadAnswer::Kind::failed);
        EXPECT_EQ(got.failure, failure);
    }
}

// The encoder keeps its promise: whatever an honest child holds, the parent accepts what it sends.
TEST(Wire, encoderSendsOnlyWhatTheDecoderAccepts)
{
    ReadAnswer sent;
    sent.model = sampleModel();
    sent.model.name = "evil\x1b]0;title\x07\n\xc2\x9b"
                      "31m\xe2\x80\xae"
                      "abc\xc0\xaf" +
                      std::string(600, 'x');
    sent.model.polygons[0].colour = SourceColour{2.5f, -1, std::nanf("")};
    for (int k = 0; k < 40; ++k) sent.notes.push_back("note " + std::to_string(k));
    ReadAnswer got;
    std::string why;
    ASSERT_TRUE(decode(encodeReadAnswer(sent), got, &why)) << why;
    const std::string expected = "evil?]0;title????31m???abc??xxxx";
    EXPECT_EQ(got.model.name.compare(0, expected.size(), expected), 0) << got.model.name;
    EXPECT_LE(got.model.name.size(), kMaxPrintableBytes);
    EXPECT_EQ(got.model.polygons[0].colour.r, 1.0f);
    EXPECT_EQ(got.model.polygons[0].colour.g, 0.0f);
    EXPECT_EQ(got.model.polygons[0].colour.b, 0.0f);
    ASSERT_EQ(got.notes.size(), kMaxAnswerNotes);
    EXPECT_EQ(got.notes[30], "note 30");
    EXPECT_EQ(got.notes[31], "9 more notes like the ones above");

    // A position that is not a number cannot be sent; the child says so instead.
    sent.model.positions[1].y = std::numeric_limits<double>::infinity();
    ASSERT_TRUE(decode(encodeReadAnswer(sent), got));
    EXPECT_EQ(got.kind, ReadAnswer::Kind::refused);
    EXPECT_EQ(got.refusal, "a vertex position is not a finite number");

    // A polygon that names what the model does not have is not sent at all.
    sent.model = sampleModel();
    sent.model.indices[0] = 99;
    ASSERT_TRUE(decode(encodeReadAnswer(sent), got, &why)) << why;
    EXPECT_EQ(got.model.polygons.size(), 2u);
}

TEST(Wire, everyCutShortAnswerIsRefused)
{
    ReadAnswer sent;
    sent.model = sampleModel();
    sent.notes = {"note"};
    const std::string bytes = encodeReadAnswer(sent);
    ReadAnswer got;
    for (std::size_t size = 0; size < bytes.size(); ++size) EXPECT_FALSE(decode(bytes.substr(0, size), got)) << size;
    EXPECT_FALSE(decode(bytes + '\0', got));
}

TEST(Wire, countsBeyondTheBytesAreRefusedBeforeAllocating)
{
    ReadAnswer got;
    std::string why;
    // The hand-made answer is one, so that what is refused below is refused for its one change.
    ASSERT_TRUE(decode(ModelParts().build(), got, &why)) << why;
    EXPECT_EQ(got.model.positions.at(1).x, 1.0);
    EXPECT_EQ(got.model.polygons.at(0).colour.r, 0.5f);
    ModelParts parts;
    parts.positions = uint64_t(1) << 61;
    EXPECT_FALSE(decode(parts.build(), got, &why));
    EXPECT_EQ(why, "more positions than bytes");
    parts = ModelParts();
    parts.positions = 3;  // one more than the bytes hold, the rest read as the next fields
    EXPECT_FALSE(decode(parts.build(), got));
    parts = ModelParts();
    parts.polygons = UINT64_MAX;
    EXPECT_FALSE(decode(parts.build(), got, &why));
    EXPECT_EQ(why, "more polygons than bytes");
    parts = ModelParts();
    parts.corners = 0xffffffff;
    EXPECT_FALSE(decode(parts.build(), got, &why));
    EXPECT_EQ(why, "more corners than bytes");
    parts = ModelParts();
    parts.indices = uint64_t(1) << 62;
    EXPECT_FALSE(decode(parts.build(), got, &why));
    EXPECT_EQ(why, "more indices than bytes");
}

TEST(Wire, inconsistentModelsAreRefused)
{
    ReadAnswer got;
    std::string why;
    ModelParts parts;
    parts.secondIndex = 2;  // there are two positions
    EXPECT_FALSE(decode(parts.build(), got, &why));
    EXPECT_EQ(why, "an index past the positions");
    parts = ModelParts();
    parts.corners = 1;
    EXPECT_FALSE(decode(parts.build(), got, &why));
    EXPECT_EQ(why, "a polygon of fewer than 2 corners");
    parts = ModelParts();
    parts.corners = 3;  // and two indices
    EXPECT_FALSE(decode(parts.build(), got, &why));
    parts = ModelParts();
    parts.indices = 1;
    EXPECT_FALSE(decode(parts.build(), got, &why));
    for (double x : {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        parts = ModelParts();
        parts.x = x;
        EXPECT_FALSE(decode(parts.build(), got, &why)) << x;
        EXPECT_EQ(why, "a position is not a finite number");
    }
    for (float red : {1.0001f, -0.0001f, std::nanf(""), std::numeric_limits<float>::infinity()}) {
        parts = ModelParts();
        parts.red = red;
        EXPECT_FALSE(decode(parts.build(), got, &why)) << red;
    }
    parts = ModelParts();
    parts.kind = 5;
    EXPECT_FALSE(decode(parts.build(), got, &why));
    EXPECT_EQ(why, "no such kind of answer");
}

// A fitted answer written field by field: a name, vertices as 4-byte two's complement, then each
// polygon's colour and corner count as a byte and its corners as 4 bytes.
std::string fittedBytes(int32_t x, uint8_t colour, uint8_t corners, uint32_t lastCorner, uint64_t polygons = 1)
{
    Bytes out;
    out.raw("ZRA1").number(4, 1).number(0, 4).text("Yard").number(3, 8);
    for (int32_t c : {x, 0, 0, 1, -32768, 32767, 0, 5, -5}) out.number(static_cast<uint32_t>(c), 4);
    out.number(polygons, 8).number(colour, 1).number(corners, 1);
    for (uint8_t k = 0; k + 1 < corners; ++k) out.number(k % 3, 4);
    out.number(lastCorner, 4);
    return out.bytes;
}

TEST(Wire, fittedModelsComeBackWholeAndOnlyWithinTheFormat)
{
    ReadAnswer got;
    std::string why;
    ASSERT_TRUE(decode(fittedBytes(-7, 31, 3, 2), got, &why)) << why;
    ASSERT_EQ(got.kind, ReadAnswer::Kind::fitted);
    EXPECT_EQ(got.fitted.name, "Yard");
    ASSERT_EQ(got.fitted.vertices.size(), 3u);
    EXPECT_EQ(got.fitted.vertices[0].x, -7);
    EXPECT_EQ(got.fitted.vertices[1].y, -32768);
    EXPECT_EQ(got.fitted.vertices[2].z, -5);
    ASSERT_EQ(got.fitted.polygons.size(), 1u);
    EXPECT_EQ(got.fitted.polygons[0].colour, 31);
    EXPECT_EQ(got.fitted.polygons[0].indices, (std::vector<int>{0, 1, 2}));
    // What the encoder writes is the same bytes.
    EXPECT_EQ(encodeReadAnswer(got), fittedBytes(-7, 31, 3, 2));

    EXPECT_FALSE(decode(fittedBytes(32768, 1, 3, 2), got, &why));
    EXPECT_EQ(why, "a fitted coordinate outside -32768 to 32767");
    EXPECT_FALSE(decode(fittedBytes(-32769, 1, 3, 2), got, &why));
    EXPECT_FALSE(decode(fittedBytes(0, 1, 3, 3), got, &why));
    EXPECT_EQ(why, "a fitted corner past the vertices");
    // (Fewer than 2 corners leave fewer bytes than a polygon's least, which is refused first.)
    for (uint8_t corners : {0, 1, 6}) EXPECT_FALSE(decode(fittedBytes(0, 1, corners, 0), got, &why)) << int(corners);
    EXPECT_EQ(why, "a fitted polygon of other than 2 to 5 corners");
    EXPECT_FALSE(decode(fittedBytes(0, 1, 3, 2, uint64_t(1) << 40), got, &why));
    EXPECT_EQ(why, "more fitted polygons than bytes");
    const std::string whole = fittedBytes(0, 1, 3, 2);
    for (std::size_t cut = 0; cut < whole.size(); ++cut) EXPECT_FALSE(decode(whole.substr(0, cut), got)) << cut;
}

// What decoding an answer adds to a process's peak resident memory, measured in a child of its own
// that makes the answer itself, so that nothing else that this test did counts.
struct DecodeCost {
    bool decoded = false;
    uint64_t answerBytes = 0;
    uint64_t peakGrowthBytes = 0;
};

template <class Make>
DecodeCost decodeCost(Make make)
{
    int ends[2];
    if (pipe(ends) != 0) return DecodeCost();
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        const std::string bytes = make();
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        ReadAnswer answer;
        std::string why;
        DecodeCost cost;
        cost.decoded = decodeReadAnswer(bytes.data(), bytes.size(), answer, why);
        getrusage(RUSAGE_SELF, &after);
        cost.answerBytes = bytes.size();
        cost.peakGrowthBytes = uint64_t(after.ru_maxrss - before.ru_maxrss) * 1024;
        _exit(write(ends[1], &cost, sizeof cost) == sizeof cost ? 0 : 1);
    }
    close(ends[1]);
    DecodeCost cost;
    const bool got = child > 0 && read(ends[0], &cost, sizeof cost) == sizeof cost;
    close(ends[0]);
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    EXPECT_TRUE(got && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return cost;
}

// A fitted answer of the given vertices (at the origin) and polygons of the given corners (all
// naming vertex 0), written field by field; room made at once, so that making it peaks only once.
std::string fittedAnswer(uint64_t vertices, uint64_t polygons, uint8_t corners, const std::string& name = "n",
                         std::size_t notes = 0)
{
    Bytes out;
    out.bytes.reserve(64 + notes * 520 + name.size() + vertices * 12 + polygons * (2 + 4 * corners));
    out.raw("ZRA1").number(4, 1).number(notes, 4);
    for (std::size_t k = 0; k < notes; ++k) out.text(name);
    out.text(name).number(vertices, 8);
    out.bytes.append(vertices * 12, '\0');
    out.number(polygons, 8);
    for (uint64_t k = 0; k < polygons; ++k) {
        out.number(1, 1).number(corners, 1);
        out.bytes.append(4 * corners, '\0');
    }
    return out.bytes;
}

TEST(WireBudget, hostileAnswersCostTheParentLittleWhateverTheyClaim)
{
    constexpr uint64_t kMegabyte = uint64_t(1) << 20;
    // Well formed but for the format's limits: 2 million segments (each decoded costs several times
    // its 10 bytes), and a million vertices.
    const DecodeCost segments = decodeCost([] { return fittedAnswer(3, 2000000, 2); });
    EXPECT_FALSE(segments.decoded);
    EXPECT_GT(segments.answerBytes, 10 * kMaxFittedAnswerBytes);
    EXPECT_LT(segments.peakGrowthBytes, 2 * kMegabyte) << segments.peakGrowthBytes;
    const DecodeCost vertices = decodeCost([] { return fittedAnswer(1000000, 1, 2); });
    EXPECT_FALSE(vertices.decoded);
    EXPECT_LT(vertices.peakGrowthBytes, 2 * kMegabyte) << vertices.peakGrowthBytes;

    // The largest answer a fit can send fits the cap, and costs a few times its bytes to decode.
    const std::string longest(kMaxPrintableBytes, 'n');
    const DecodeCost largest =
        decodeCost([&] { return fittedAnswer(kImportMaxVertices, kImportMaxPolygons, 5, longest, kMaxAnswerNotes); });
    EXPECT_TRUE(largest.decoded);
    EXPECT_EQ(largest.answerBytes, kMaxFittedAnswerBytes);
    EXPECT_LT(kMaxFittedAnswerBytes, 2 * kMegabyte);
    EXPECT_LT(largest.peakGrowthBytes, 4 * kMaxFittedAnswerBytes) << largest.peakGrowthBytes;
}

// Text that would act on a terminal, or is not what it looks like, never gets through.
TEST(Wire, unprintableTextIsRefused)
{
    ReadAnswer got;
    const std::string refused[] = {"a\x1b[2Jb",
                                   "line\nbreak",
                                   "tab\there",
                                   "del\x7f",
                                   "c1 \xc2\x9b"
                                   "31m",
                                   "over\xc0\xaf",
                                   "sur\xed\xa0\x80",
                                   "cut \xe2\x82",
                                   "rtl \xe2\x80\xae",
                                   "bad \xff",
                                   std::string(kMaxPrintableBytes + 1, 'x'),
                                   std::string("nul\0", 4)};
    for (const std::string& name : refused) {
        ModelParts parts;
        parts.name = name;
        EXPECT_FALSE(decode(parts.build(), got)) << name;
        EXPECT_FALSE(decode(Bytes().raw("ZRA1").number(2, 1).number(1, 4).text(name).text("why").bytes, got)) << name;
    }
    ModelParts parts;
    parts.name = std::string(kMaxPrintableBytes - 2, 'x') + "\xc3\xa8";
    EXPECT_TRUE(decode(parts.build(), got));
    EXPECT_TRUE(decode(Bytes().raw("ZRA1").number(2, 1).number(0, 4).text("\xe6\x97\xa5\xe6\x9c\xac").bytes, got));
}

TEST(Wire, envelopeIsChecked)
{
    ReadAnswer got;
    std::string why;
    EXPECT_FALSE(decode("ZRA2" + ModelParts().build().substr(4), got));
    EXPECT_FALSE(decode(Bytes().raw("ZRA1").number(3, 1).number(0, 4).number(0, 1).bytes, got));
    EXPECT_FALSE(decode(Bytes().raw("ZRA1").number(3, 1).number(0, 4).number(7, 1).bytes, got));
    EXPECT_TRUE(decode(Bytes().raw("ZRA1").number(3, 1).number(0, 4).number(6, 1).bytes, got));
    Bytes notes;
    notes.raw("ZRA1").number(3, 1).number(kMaxAnswerNotes + 1, 4);
    for (std::size_t k = 0; k <= kMaxAnswerNotes; ++k) notes.text("n");
    EXPECT_FALSE(decode(notes.number(1, 1).bytes, got, &why));
    EXPECT_EQ(why, "too many notes");
}

TEST(PrintableText, cutsAtACharacterAndMarksTheCut)
{
    EXPECT_EQ(printableText("plain"), "plain");
    EXPECT_EQ(printableText("abcdef", 6), "abcdef");
    EXPECT_EQ(printableText("abcdefg", 6), "abc...");
    // "è" is two bytes: cut before it rather than through it.
    EXPECT_EQ(printableText("ab\xc3\xa8"
                            "defg",
                            6),
              "ab...");
    EXPECT_EQ(printableText("a\x1b"
                            "b\xe2\x80\xae"
                            "c"),
              "a?b???c");
    const std::string cut = printableText(std::string(3000, '\x9b'), 100);
    EXPECT_TRUE(isPrintableText(cut.data(), cut.size(), 100));
    EXPECT_EQ(cut.size(), 100u);
}

}  // namespace
