// Parser tests: the cursor rules on the tetrahedron sample and its odd variants, and every refusal.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace {

const std::string kTetraHeader = "SHAPE tetra_shape = { 0, 4, 5 };\n";
const std::string kTetraVectors =
    "VECTOR tetra_vector[] = {\n{ 0, 100, 0 },\n{ -100, -100, 100 },\n{ 100, -100, 100 },\n{ 0, -100, -100 }\n};\n";
const std::string kTetraPolygons =
    "SPOLY tetra_spoly[] = {\n{ 4, 3, { 0, 1, 2 } },\n{ 9, 3, { 0, 2, 3 } },\n{ 12, 3, { 0, 3, 1 } },\n"
    "{ 14, 3, { 1, 3, 2 } },\n{ 31, 2, { 0, 3 } }\n};\n";
const std::string kTetra = kTetraHeader + kTetraVectors + kTetraPolygons;

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

void expectVertex(const Shape& shape, int i, int x, int y, int z)
{
    EXPECT_EQ(shape.vertices[i].x, x) << "vertex " << i;
    EXPECT_EQ(shape.vertices[i].y, y) << "vertex " << i;
    EXPECT_EQ(shape.vertices[i].z, z) << "vertex " << i;
}

void expectPolygon(const Shape& shape, int p, int colour, std::vector<int> indices)
{
    const ShapePolygon& polygon = shape.polygons[p];
    EXPECT_EQ(polygon.colourIndex, colour) << "polygon " << p;
    ASSERT_EQ(polygon.count, indices.size()) << "polygon " << p;
    for (std::size_t k = 0; k < indices.size(); ++k) EXPECT_EQ(polygon.indices[k], indices[k]) << "polygon " << p;
    for (std::size_t k = indices.size(); k < kMaxPolygonIndices; ++k) EXPECT_EQ(polygon.indices[k], 0);
}

void expectTetrahedron(const Parsed& r)
{
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_EQ(r.messages, "");
    EXPECT_STREQ(r.shape.name, "tetra");
    ASSERT_EQ(r.shape.vertexCount, 4);
    ASSERT_EQ(r.shape.polygonCount, 5);
    expectVertex(r.shape, 0, 0, -100, 0);
    expectVertex(r.shape, 1, -100, 100, 100);
    expectVertex(r.shape, 2, 100, 100, 100);
    expectVertex(r.shape, 3, 0, 100, -100);
    expectPolygon(r.shape, 0, 4, {0, 1, 2});
    expectPolygon(r.shape, 1, 9, {0, 2, 3});
    expectPolygon(r.shape, 2, 12, {0, 3, 1});
    expectPolygon(r.shape, 3, 14, {1, 3, 2});
    expectPolygon(r.shape, 4, 31, {0, 3});
    for (int p = 0; p < 5; ++p) EXPECT_EQ(r.shape.polygons[p].faceNormal.length(), 0.0);
    EXPECT_EQ(r.shape.vertexNormals, nullptr);
}

TEST(Parse, theTetrahedronAndItsEquivalents)
{
    expectTetrahedron(parseText(kTetra));
    expectTetrahedron(parseText(kTetraPolygons + kTetraVectors + kTetraHeader));
    expectTetrahedron(parseText(replaced(kTetra, "{ 0, 1, 2 } }", "{ 0, 1, 2 }}")));
    std::string crlf;
    for (char c : kTetra) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    expectTetrahedron(parseText(crlf));
    // The text ends at its first zero byte: what follows is never seen.
    expectTetrahedron(parseText(kTetra + std::string(1, '\0') + "SHAPE other_shape = { 0, 1, 1 };"));
    // More entries than the counts say are not read.
    expectTetrahedron(parseText(replaced(kTetra, "{ 0, -100, -100 }\n", "{ 0, -100, -100 },\n{ 9, 9, 9 }\n")));
}

TEST(Parse, keywordsAreFoundAnywhereButOnlyWithTheirCase)
{
    Parsed inWord = parseText(replaced(kTetra, "SHAPE tetra", "MYSHAPES tetra"));
    ASSERT_TRUE(inWord.ok);
    EXPECT_STREQ(inWord.shape.name, "S tetra");

    std::string lower = kTetra;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    Parsed r = parseText(lower);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.messages, "not a valid ZEM model\n");
    EXPECT_EQ(parseText("").messages, "not a valid ZEM model\n");
}

TEST(Parse, nameKeepsInnerBlanksAndSkipsLeadingBlanksAndHighBytes)
{
    EXPECT_STREQ(parseText(replaced(kTetra, "SHAPE tetra_shape", "SHAPE  my tetra _shape")).shape.name, "my tetra ");
    EXPECT_STREQ(parseText(replaced(kTetra, "SHAPE tetra", "SHAPE\t\r\n\x80\xff\x7ftetra")).shape.name, "\x7ftetra");
    EXPECT_STREQ(parseText(replaced(kTetra, "SHAPE tetra_shape", "SHAPE _shape")).shape.name, "");
    // A name longer than the buffer is cut to 203 characters.
    Parsed longName = parseText(replaced(kTetra, "tetra_shape", std::string(10000, 'n') + "_shape"));
    ASSERT_TRUE(longName.ok);
    EXPECT_EQ(std::string(longName.shape.name), std::string(kNameSize - 1, 'n'));
}

TEST(Parse, headerSeparatorIsPassedUnseen)
{
    Parsed r = parseText(replaced(kTetra, "{ 0, 4, 5 }", "{ 0, 4 , 5 }"));
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_EQ(r.shape.vertexCount, 4);
    EXPECT_EQ(r.shape.polygonCount, 0);
    EXPECT_NE(r.shape.polygons, nullptr);

    Parsed empty = parseText("SHAPE e_shape = { 0, 0, 0 }; VECTOR {} SPOLY {}");
    ASSERT_TRUE(empty.ok) << empty.messages;
    EXPECT_NE(empty.shape.vertices, nullptr);
    EXPECT_NE(empty.shape.polygons, nullptr);

    // A count cut to 32 bits: 4294967297 is 1.
    Parsed cut = parseText("SHAPE c_shape = { 0, 4294967297, 0 }; VECTOR { { 1, 2, 3 } } SPOLY {");
    ASSERT_TRUE(cut.ok) << cut.messages;
    EXPECT_EQ(cut.shape.vertexCount, 1);
}

TEST(Parse, vertexEntriesFollowTheCursorRules)
{
    const std::string header = "SHAPE v_shape = { 0, 1, 0 }; SPOLY {} VECTOR { ";
    Parsed negated = parseText(header + "{ 7, -5, 3 } }");
    ASSERT_TRUE(negated.ok);
    expectVertex(negated.shape, 0, 7, 5, 3);

    Parsed missing = parseText(header + "{ 7, , 3 } }");
    ASSERT_TRUE(missing.ok);
    expectVertex(missing.shape, 0, 7, 0, 0);

    // Cut to 16 bits, and -32768 negated in 16-bit arithmetic stays -32768.
    Parsed extremes = parseText(header + "{ 65537, -32768, 99999999999999999999 } }");
    ASSERT_TRUE(extremes.ok);
    expectVertex(extremes.shape, 0, 1, -32768, -1);
    Parsed plus = parseText(header + "{ +12, 32767, \v-0 } }");
    ASSERT_TRUE(plus.ok);
    expectVertex(plus.shape, 0, 12, -32767, 0);
}

TEST(Parse, braceRightAfterTheLastNumberSwallowsTheNextEntry)
{
    Parsed r = parseText(replaced(kTetra, "{ 0, 100, 0 }", "{0,100,0}"));
    ASSERT_TRUE(r.ok) << r.messages;
    expectVertex(r.shape, 0, 0, -100, 0);
    expectVertex(r.shape, 1, 100, 100, 100);
    expectVertex(r.shape, 2, 0, 100, -100);
    // The fourth entry starts at the polygon table's brace, "{\n{ 4, 3, ...": x reads 4 from the
    // next line, y reads from the comma, z from the blank after it.
    expectVertex(r.shape, 3, 0, 0, 4);
    expectPolygon(r.shape, 0, 4, {0, 1, 2});
    expectPolygon(r.shape, 4, 31, {0, 3});
}

TEST(Parse, polygonEntriesOfEveryCount)
{
    const std::string head = "SHAPE p_shape = { 0, 3, 3 }; VECTOR { {0, 0, 0 } {1, 0, 0 } {0, 1, 0 } } SPOLY { ";
    Parsed r = parseText(head + "{ 1, 0, { } } { 2, 1, { 2 } } { 300, 5, { 0, 1, 2, 1, 0 } } }");
    ASSERT_TRUE(r.ok) << r.messages;
    expectPolygon(r.shape, 0, 1, {});
    expectPolygon(r.shape, 1, 2, {2});
    expectPolygon(r.shape, 2, 44, {0, 1, 2, 1, 0});  // colour 300 keeps its low 8 bits
}

TEST(Parse, colourAbove31Loads)
{
    Parsed r = parseText(replaced(kTetra, "{ 31, 2,", "{ 255, 2,"));
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_EQ(r.shape.polygons[4].colourIndex, 255);
}

struct Refusal {
    std::string text;
    std::string message;
};

TEST(Parse, missingPartsAndTheStateTheyLeave)
{
    Parsed noSuffix = parseText("SHAPE tetra = { 0, 4, 5 };");
    EXPECT_EQ(noSuffix.messages, "error in SHAPE description\n");
    EXPECT_STREQ(noSuffix.shape.name, "");

    Parsed noBrace = parseText("SHAPE tetra_shape");
    EXPECT_EQ(noBrace.messages, "error in SHAPE description\n");
    EXPECT_STREQ(noBrace.shape.name, "tetra");

    Parsed noVector = parseText(kTetraHeader + kTetraPolygons);
    EXPECT_EQ(noVector.messages, "VECTOR description missing\n");
    EXPECT_EQ(noVector.shape.vertexCount, 4);
    EXPECT_EQ(noVector.shape.polygonCount, 5);
    EXPECT_EQ(noVector.shape.vertices, nullptr);

    Parsed noVectorBrace = parseText(kTetraHeader + "VECTOR");
    EXPECT_EQ(noVectorBrace.messages, "error in VECTOR description\n");

    Parsed noPolygons = parseText(kTetraHeader + kTetraVectors);
    EXPECT_EQ(noPolygons.messages, "SPOLY description missing\n");
    ASSERT_NE(noPolygons.shape.vertices, nullptr);
    expectVertex(noPolygons.shape, 3, 0, 100, -100);
    EXPECT_EQ(noPolygons.shape.polygons, nullptr);

    Parsed noPolygonBrace = parseText(kTetraHeader + kTetraVectors + "SPOLY");
    EXPECT_EQ(noPolygonBrace.messages, "error in SPOLY description\n");
    EXPECT_EQ(noPolygonBrace.shape.polygons, nullptr);

    EXPECT_EQ(parseText("SHAPE e_shape = { 0, 0, 0 }; SPOLY {}").messages, "VECTOR description missing\n");
}

TEST(Parse, textThatEndsInsideEveryKindOfEntry)
{
    const std::vector<std::pair<std::string, std::string>> cuts = {
        {"SHAPE tetra_shape = { 0", "error in SHAPE description\n"},
        {"SHAPE tetra_shape = { 0, 4", "error in SHAPE description\n"},
        {kTetraHeader + "VECTOR tetra_vector[] = {\n{ 0, 100", "error in VECTOR description\n"},
        {kTetraHeader + "VECTOR tetra_vector[] = {\n{ 0, 100, 0", "error in VECTOR description\n"},
        {kTetraHeader + kTetraVectors + "SPOLY tetra_spoly[] = {\n{ 4, 3, { 0, 1", "error in SPOLY description\n"},
        {kTetraHeader + kTetraVectors + "SPOLY tetra_spoly[] = {\n{ 4, 3, { 0, 1, 2 }", "error in SPOLY description\n"},
        {kTetraHeader + kTetraVectors + "SPOLY tetra_spoly[] = {\n{ 4", "error in SPOLY description\n"},
    };
    for (const auto& [text, message] : cuts) {
        Parsed r = parseText(text);
        EXPECT_FALSE(r.ok) << text;
        EXPECT_EQ(r.messages, message) << text;
    }
    // The polygon count is the last thing read, so it may stand right at the end of the text.
    Parsed atEnd = parseText("VECTOR { } SPOLY { } SHAPE e_shape = { 0, 0,");
    EXPECT_TRUE(atEnd.ok) << atEnd.messages;
}

TEST(Parse, countsOutsideWhatTheTextCanHoldAreRefused)
{
    const std::vector<Refusal> refusals = {
        {"SHAPE n_shape = { 0, -1, 0 }; VECTOR {} SPOLY {}", "error in SHAPE description\n"},
        {"SHAPE n_shape = { 0, 0, -1 }; VECTOR {} SPOLY {}", "error in SHAPE description\n"},
        {"SHAPE n_shape = { 0, 2147483648, 0 }; VECTOR {} SPOLY {}", "error in SHAPE description\n"},
        {"SHAPE n_shape = { 0, 2147483647, 0 }; VECTOR { {1,2,3} } SPOLY {}", "error in VECTOR description\n"},
        {"SHAPE n_shape = { 0, 0, 2147483647 }; VECTOR { } SPOLY { { 1, 0, { } } }", "error in SPOLY description\n"},
    };
    for (const Refusal& refusal : refusals) {
        Parsed r = parseText(refusal.text);
        EXPECT_FALSE(r.ok) << refusal.text;
        EXPECT_EQ(r.messages, refusal.message) << refusal.text;
        EXPECT_EQ(r.shape.vertices == nullptr, refusal.message != "error in SPOLY description\n") << refusal.text;
        EXPECT_EQ(r.shape.polygons, nullptr) << refusal.text;
    }
}

TEST(Parse, polygonsOutsideTheRecordsBoundsAreRefusedAfterTheTable)
{
    const std::string head =
        "SHAPE b_shape = { 0, 3, 3 }; VECTOR { {0,0,0 } {1,0,0 } {0,1,0 } } SPOLY { { 1, 3, { 0, 1, 2 } } ";
    Parsed six = parseText(head + "{ 2, 6, { 0, 1, 2, 0, 1, 2 } } { 3, 3, { 2, 1, 0 } } }");
    EXPECT_FALSE(six.ok);
    EXPECT_EQ(six.messages, "error in SPOLY description: polygon 1 has 6 vertex indices, at most 5 are allowed\n");
    // The six numbers were read, so the entry after it parsed where it stands.
    expectPolygon(six.shape, 2, 3, {2, 1, 0});
    expectPolygon(six.shape, 1, 0, {});

    Parsed negative = parseText(head + "{ 2, 3, { 0, -1, 2 } } { 3, 3, { 2, 1, 3 } } }");
    EXPECT_EQ(negative.messages,
              "error in SPOLY description: polygon 1 names vertex -1, but the vertex table has 3 entries\n");
    expectPolygon(negative.shape, 2, 0, {});

    Parsed pastEnd = parseText(head + "{ 2, 2, { 0, 3 } } { 3, 3, { 2, 1, 0 } } }");
    EXPECT_EQ(pastEnd.messages,
              "error in SPOLY description: polygon 1 names vertex 3, but the vertex table has 3 entries\n");

    // The index as the file wrote it, not its 16-bit cut -25536.
    Parsed large = parseText(head + "{ 2, 3, { 0, 40000, 2 } } { 3, 3, { 2, 1, 0 } } }");
    EXPECT_EQ(large.messages,
              "error in SPOLY description: polygon 1 names vertex 40000, but the vertex table has 3 entries\n");

    // A fault is reported once the table has been read; a text that runs out first says so instead.
    Parsed runsOut = parseText(head + "{ 2, 6, { 0, 1, 2, 0, 1, 2 } } { 3, 3, { 2,");
    EXPECT_EQ(runsOut.messages, "error in SPOLY description\n");
}

}  // namespace

namespace {

TEST(Parse, keywordsAloneFailCleanly)
{
    for (const std::string& text :
         {std::string("SHAPE"), std::string("SHAPE VECTOR SPOLY"), std::string("SHAPE_shape"),
          std::string("SHAPE_shape{,VECTOR{SPOLY{"), std::string("SPOLY{VECTOR{SHAPE_shape{,")}) {
        Parsed r = parseText(text);
        EXPECT_FALSE(r.ok && r.shape.vertexCount + r.shape.polygonCount != 0) << text;
        EXPECT_EQ(r.messages.empty(), r.ok) << text;
    }
    EXPECT_EQ(parseText("SHAPE VECTOR SPOLY").messages, "error in SHAPE description\n");
    EXPECT_EQ(parseText("SHAPE_shape").messages, "error in SHAPE description\n");
}

TEST(Parse, aPolygonOf255MissingIndicesInTwentyMillionBlanks)
{
    // Each read of a missing index moves one character on; the blanks once took a scan per index.
    const std::string blanks = "SHAPE a_shape = {0,1,2}; VECTOR { {0,0,0} } SPOLY { { 1, 255, {" +
                               std::string(20000000, ' ') + "} } { 2, 2, { 0, 0 } } }";
    Parsed r = parseText(blanks);
    EXPECT_EQ(r.messages, "error in SPOLY description: polygon 0 has 255 vertex indices, at most 5 are allowed\n");
    expectPolygon(r.shape, 1, 2, {0, 0});
}

}  // namespace
