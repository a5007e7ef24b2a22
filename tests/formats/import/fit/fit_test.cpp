// The import's fitting on models built here: the palette match, names, and each step of the fit on
// its own and together.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/import/fit/fit_steps.h"
#include "formats/import/fit/fit.h"
#include "formats/import/import.h"
#include "render/palette.h"
#include "testlib/foreign_files.h"
#include "tests/support/test_support.h"

namespace {

SourceColour sourceColour(const Rgb& c) { return SourceColour{c[0], c[1], c[2]}; }

int nearestByRgbDistance(const Rgb& c)
{
    int best = 0;
    double bestDistance = INFINITY;
    for (int i = 0; i < Palette::kSize; ++i) {
        double d = 0;
        for (int k = 0; k < 3; ++k) d += (Palette::colours[i][k] - c[k]) * (Palette::colours[i][k] - c[k]);
        if (d < bestDistance) bestDistance = d, best = i;
    }
    return best;
}

// ---- the palette match ----

TEST(ImportPalette, EveryEntryAndColoursNearItComeBackAsThatEntry)
{
    for (int i = 0; i < Palette::kSize; ++i) {
        const double* c = Palette::colours[i];
        const int expected = i == 16 ? 0 : i;  // 16 repeats 0, black; the first is taken
        EXPECT_EQ(nearestPaletteEntry(SourceColour{float(c[0]), float(c[1]), float(c[2])}), expected) << i;
        // Three hundredths towards mid grey is still nearer this entry than any other.
        const auto near = [&](int k) { return float(c[k] + (0.5 - c[k]) * 0.03); };
        EXPECT_EQ(nearestPaletteEntry(SourceColour{near(0), near(1), near(2)}), expected) << i;
    }
}

TEST(ImportPalette, DistanceIsPerceptualNotPlainRgb)
{
    // Each of these lies nearer another entry in plain RGB: the match must be the perceptual one.
    const std::pair<Rgb, int> cases[] = {{kObjWarm, 6}, {kObjCool, 3}, {kGlbRoof, 30}, {kDaeWall, 21}};
    for (const auto& c : cases) {
        EXPECT_NE(nearestByRgbDistance(c.first), c.second);
        EXPECT_EQ(nearestPaletteEntry(sourceColour(c.first)), c.second);
    }
    // Mid grey is as far from 0.4 as from 0.6 in RGB, but lighter 0.6 is perceptually farther.
    EXPECT_EQ(nearestPaletteEntry(SourceColour{0.5f, 0.5f, 0.5f}), 7);
}

TEST(ImportPalette, ColourDifferenceIsCiede2000AndADarkMutedBlueStaysBlue)
{
    // Pairs from the published CIEDE2000 test data (Sharma, Wu and Dalal, 2005), with their
    // differences to four places: hue wrapping round 0 and 180 degrees, greys, the blue region's
    // rotation term.
    const struct {
        double l1, a1, b1, l2, a2, b2, difference;
    } pairs[] = {
        {50, 2.6772, -79.7751, 50, 0, -82.7485, 2.0425},
        {50, 3.1571, -77.2803, 50, 0, -82.7485, 2.8615},
        {50, 0, 0, 50, -1, 2, 2.3669},
        {50, 2.49, -0.001, 50, -2.49, 0.0009, 7.1792},
        {50, 2.49, -0.001, 50, -2.49, 0.0011, 7.2195},
        {50, -0.001, 2.49, 50, 0.0009, -2.49, 4.8045},
        {50, 2.5, 0, 73, 25, -18, 27.1492},
        {50, 2.5, 0, 56, -27, -3, 31.9030},
        {50, 2.5, 0, 50, 3.1736, 0.5854, 1.0000},
        {60.2574, -34.0099, 36.2677, 60.4626, -34.1751, 39.4387, 1.2644},
        {22.7233, 20.0904, -46.694, 23.0331, 14.973, -42.5619, 2.0373},
        {2.0776, 0.0795, -1.135, 0.9033, -0.0636, -0.5514, 0.9082},
    };
    for (const auto& p : pairs) {
        EXPECT_NEAR(colourDifference2000(p.l1, p.a1, p.b1, p.l2, p.a2, p.b2), p.difference, 5e-5) << p.difference;
        EXPECT_NEAR(colourDifference2000(p.l2, p.a2, p.b2, p.l1, p.a1, p.b1), p.difference, 5e-5) << p.difference;
    }
    // A photograph's sea, sRGB (30, 40, 74): nearer black and dark grey than any blue in CIELAB, but
    // a blue to the eye.
    EXPECT_EQ(nearestPaletteEntry(SourceColour{30 / 255.f, 40 / 255.f, 74 / 255.f}), 17);
}

TEST(ImportPalette, AColourWithAHueTakesAColourWithOne)
{
    const auto byte = [](int r, int g, int b) { return SourceColour{r / 255.f, g / 255.f, b / 255.f}; };
    // Land of a photograph, sRGB (60, 70, 45), CIELAB chroma 16.6: by CIEDE2000 nearest the dark
    // greys 8 (13.96) and 24 (14.46), then the olive 22 (17.43).
    EXPECT_EQ(nearestPaletteEntry(byte(60, 70, 45)), 22);
    // Near neutral, chroma 4.3 and 8.1: the nearest, a grey.
    EXPECT_EQ(nearestPaletteEntry(byte(70, 66, 60)), 8);
    EXPECT_EQ(nearestPaletteEntry(byte(96, 100, 113)), 23);
}

// ---- names ----

TEST(ImportName, EveryNameParsesBackExactlyAsItIsWritten)
{
    const std::string hostile[] = {"Workshop", "my model.v2",    "  leading blanks",          "a_shape_b",
                                   "SPOLY",    "xVECTORy_shape", std::string(300, 'n'),       "\xC3\xA9t\xC3\xA9",
                                   "{braces}", "semi;colon=1",   std::string("zero\0byte", 9)};
    for (const std::string& name : hostile) {
        const std::string safe = modelName(name, "fallback");
        ASSERT_FALSE(safe.empty());
        EXPECT_LE(safe.size(), kNameSize - 1);
        const Parsed parsed = parseText(formatModel(safe, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{3, {0, 1, 2}}}));
        ASSERT_TRUE(parsed.ok) << name << ": " << parsed.messages;
        EXPECT_EQ(std::string(parsed.shape.name), safe);
        EXPECT_EQ(parsed.shape.vertexCount, 3);
        EXPECT_EQ(parsed.shape.polygonCount, 1);
    }
    EXPECT_EQ(modelName("my model.v2", "x"), "my_model_v2");
    EXPECT_EQ(modelName("", "painted-cube"), "painted_cube");
    EXPECT_EQ(modelName("...", ""), "model");
}

// ---- fitting, on models built here ----

SourceModel squareAndLine(double x0, double y0, double z0, double size)
{
    SourceModel source;
    source.positions = {{x0, y0, z0},
                        {x0 + size, y0, z0},
                        {x0 + size, y0 + size / 2, z0},
                        {x0, y0 + size / 2, z0},
                        {x0, y0, z0 + size / 4}};
    const uint32_t quad[] = {0, 1, 2, 3};
    const uint32_t line[] = {0, 4};
    source.addPolygon(quad, 4, SourceColour{1, 1, 1});
    source.addPolygon(line, 2, SourceColour{0, 0, 0.6f});
    return source;
}

TEST(ImportFit, LargestExtentFillsTheViewCentredWithYNegated)
{
    ImportedModel model;
    std::vector<std::string> notes;
    std::string error;
    ASSERT_TRUE(fitModel(squareAndLine(1000, 2000, 3000, 4), ImportOptions(), model, notes, error)) << error;
    // Extent 4 along x becomes kFitExtent; the box's centre (1002, 2001, 3000.5) the origin.
    const std::vector<TextVertex> expected = {
        {-150, 75, -38}, {150, 75, -38}, {150, -75, -38}, {-150, -75, -38}, {-150, 75, 38}};
    ASSERT_EQ(model.vertices.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(model.vertices[i].x, expected[i].x) << i;
        EXPECT_EQ(model.vertices[i].y, expected[i].y) << i;
        EXPECT_EQ(model.vertices[i].z, expected[i].z) << i;
    }
    ASSERT_EQ(model.polygons.size(), 2u);
    EXPECT_EQ(model.polygons[0].indices, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(model.polygons[0].colour, 15);
    EXPECT_EQ(model.polygons[1].indices, (std::vector<int>{0, 4}));
    EXPECT_EQ(model.polygons[1].colour, 1);
    EXPECT_EQ(notes, (std::vector<std::string>{
                         "scaled by 75 and moved by (-75150, -150075, -225037.5) to fit the viewer's first view"}));
}

TEST(ImportFit, ScaleAndNoCenterKeepTheUsersUnitsAndColourOverridesMaterials)
{
    ImportOptions options;
    options.scale = 2.5;
    options.center = false;
    options.colour = 13;
    ImportedModel model;
    std::vector<std::string> notes;
    std::string error;
    ASSERT_TRUE(fitModel(squareAndLine(10, -20, 4, 8), options, model, notes, error)) << error;
    EXPECT_EQ(model.vertices[0].x, 25);
    EXPECT_EQ(model.vertices[0].y, 50);  // -(-20 * 2.5)
    EXPECT_EQ(model.vertices[0].z, 10);
    EXPECT_EQ(model.vertices[2].x, 45);
    EXPECT_EQ(model.vertices[2].y, 40);
    EXPECT_EQ(model.vertices[4].z, 15);
    for (const TextPolygon& polygon : model.polygons) EXPECT_EQ(polygon.colour, 13);
    EXPECT_EQ(notes, (std::vector<std::string>{"scaled by 2.5"}));
    options.colour = 256;  // more than a polygon's colour byte holds
    EXPECT_FALSE(fitModel(squareAndLine(10, -20, 4, 8), options, model, notes, error));
}

// Every change is a note: the scale in the shortest form that --scale reads back as the same
// number, and the move in model units along the input's own axes; nothing when nothing changes.
TEST(ImportFit, ScaleAndMoveAreNotedWithNumbersTheOptionsTakeBack)
{
    const auto notesFor = [](const SourceModel& source, double scale, bool center) {
        ImportOptions options;
        options.scale = scale;
        options.center = center;
        ImportedModel model;
        std::vector<std::string> notes;
        std::string error;
        EXPECT_TRUE(fitModel(source, options, model, notes, error)) << error;
        return notes;
    };
    using Notes = std::vector<std::string>;
    // Extent 7 along x: 300 / 7 has no short decimal form, and must read back exactly.
    const Notes fitted = notesFor(squareAndLine(-3.5, 0, 1, 7), 0, false);
    ASSERT_EQ(fitted.size(), 1u);
    const std::string prefix = "scaled by ", suffix = " to fit the viewer's first view";
    ASSERT_EQ(fitted[0].rfind(prefix, 0), 0u) << fitted[0];
    ASSERT_GT(fitted[0].size(), prefix.size() + suffix.size());
    const std::string factor = fitted[0].substr(prefix.size(), fitted[0].size() - prefix.size() - suffix.size());
    EXPECT_EQ(std::strtod(factor.c_str(), nullptr), 300.0 / 7) << factor;
    EXPECT_EQ(fitted[0], prefix + factor + suffix);
    // A given scale, and the box's centre (-3.5 + 3.5, 1.75, 1 + 0.875) moved to the origin.
    EXPECT_EQ(notesFor(squareAndLine(-3.5, 0, 1, 7), 2, true),
              (Notes{"scaled by 2, and moved by (0, -3.5, -3.75) to centre it"}));
    EXPECT_EQ(notesFor(squareAndLine(-3.5, -1.75, -0.875, 7), 1, true), Notes{}) << "centred already";
    EXPECT_EQ(notesFor(squareAndLine(-3.5, 0, 1, 7), 1, false), Notes{});
    EXPECT_EQ(notesFor(squareAndLine(0, 0, 0, 300), 0, true),
              (Notes{"moved by (-150, -75, -37.5) to fit the viewer's first view"}));
}

TEST(ImportFit, PositionsThatRoundTogetherAreWeldedAndWhatCollapsesIsDropped)
{
    SourceModel source;
    // Two meshes' triangles sharing an edge whose copies differ by less than half a unit, and a
    // sliver whose corners all round to two positions.
    source.positions = {{0, 0, 0},   {10, 0, 0},  {0, 10, 0},    {10.3, 0.2, 0}, {-0.4, 0.1, 0},
                        {10, 10, 0}, {50, 50, 0}, {50.2, 50, 0}, {50.1, 50.6, 0}};
    const uint32_t a[] = {0, 1, 2};
    const uint32_t b[] = {4, 3, 5};
    const uint32_t sliver[] = {6, 7, 8};
    source.addPolygon(a, 3, {});
    source.addPolygon(b, 3, {});
    source.addPolygon(sliver, 3, {});
    ImportOptions options;
    options.scale = 1;
    options.center = false;
    ImportedModel model;
    std::vector<std::string> notes;
    std::string error;
    ASSERT_TRUE(fitModel(source, options, model, notes, error)) << error;
    EXPECT_EQ(model.vertices.size(), 4u);
    ASSERT_EQ(model.polygons.size(), 2u);
    EXPECT_EQ(model.polygons[1].indices[0], model.polygons[0].indices[0]);
    EXPECT_EQ(model.polygons[1].indices[1], model.polygons[0].indices[1]);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], "1 polygon dropped that rounding to whole units left without area or length");
}

// A face on one line is the source's own and the viewer takes it (drawing nothing); one that
// welding leaves with fewer than 3 different corners is not a face any more.
TEST(ImportFit, FacesThatWeldingCollapsesAndLinesWithoutLengthAreDroppedWithNotes)
{
    SourceModel source;
    source.positions = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}, {0, 0, 0}};
    const uint32_t collinear[] = {0, 1, 2};
    const uint32_t repeated[] = {0, 1, 4};  // 4 is where 0 is
    const uint32_t good[] = {0, 1, 3};
    const uint32_t noLength[] = {0, 4};
    source.addPolygon(collinear, 3, {});
    source.addPolygon(repeated, 3, {});
    source.addPolygon(good, 3, {});
    source.addPolygon(noLength, 2, {});
    ImportedModel model;
    std::vector<std::string> notes;
    std::string error;
    ASSERT_TRUE(fitModel(source, ImportOptions(), model, notes, error)) << error;
    ASSERT_EQ(model.polygons.size(), 2u);
    EXPECT_EQ(model.polygons[0].indices, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(model.vertices[2].x, 150) << "on its line, scaled";
    EXPECT_EQ(notes, (std::vector<std::string>{
                         "1 face of fewer than 3 different corners dropped", "1 line of no length dropped",
                         "scaled by 150 and moved by (-150, -75, 0) to fit the viewer's first view"}));

    SourceModel nothing;
    nothing.positions = {{0, 0, 0}, {1, 1, 1}};
    const uint32_t same[] = {0, 0, 0};
    nothing.addPolygon(same, 3, {});
    EXPECT_FALSE(fitModel(nothing, ImportOptions(), model, notes, error));
    EXPECT_EQ(error, "no faces or lines to convert");
}

TEST(ImportFit, CoordinatesBeyondTheRangeAreRefusedNotWrapped)
{
    ImportOptions options;
    options.center = false;  // fitted to 300 units, but 300,000 units from the origin
    ImportedModel model;
    std::vector<std::string> notes;
    std::string error;
    EXPECT_FALSE(fitModel(squareAndLine(4000, 0, 0, 4), options, model, notes, error));
    EXPECT_NE(error.find("coordinate range"), std::string::npos) << error;
    // y is written negated: -32768 would read back as itself, so 32768 is refused too.
    options.scale = 1;
    EXPECT_FALSE(fitModel(squareAndLine(0, 32768 - 2, 0, 4), options, model, notes, error));
    EXPECT_TRUE(fitModel(squareAndLine(0, -32767, 0, 4), options, model, notes, error)) << error;
}

// A grid of n x n squares, each as two triangles, in colours by row.
SourceModel grid(int n)
{
    SourceModel source;
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) source.positions.push_back({double(x), double(y), std::sin(x * 0.3) * 3});
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const uint32_t a = uint32_t(y * (n + 1) + x), b = a + 1, c = a + uint32_t(n) + 1, d = c + 1;
            const uint32_t first[] = {a, b, d};
            const uint32_t second[] = {a, d, c};
            const SourceColour colour = y < n / 2 ? SourceColour{1, 0.3f, 0.3f} : SourceColour{0.3f, 0.3f, 1};
            source.addPolygon(first, 3, colour);
            source.addPolygon(second, 3, colour);
        }
    return source;
}

TEST(ImportFit, BeyondTheLimitsIsSimplifiedUnderThemOrRefused)
{
    ImportOptions options;
    options.maxVertices = 300;
    options.maxPolygons = 400;
    ImportedModel model;
    std::vector<std::string> notes;
    std::string error;
    ASSERT_TRUE(fitModel(grid(40), options, model, notes, error)) << error;  // 1681 vertices, 3200 triangles
    EXPECT_LE(model.vertices.size(), 300u);
    EXPECT_LE(model.polygons.size(), 400u);
    EXPECT_GT(model.polygons.size(), 100u);  // simplified, not emptied
    // Both colours stay, on their own halves.
    std::map<int, int> colours;
    for (const TextPolygon& polygon : model.polygons) ++colours[polygon.colour];
    EXPECT_EQ(colours.size(), 2u);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].rfind("scaled by 7.5 and moved by (-150, -150, ", 0), 0u) << notes[0];
    EXPECT_EQ(notes[1].rfind("simplified from 1681 vertices and 3200 polygons to ", 0), 0u) << notes[1];

    options.simplify = false;
    notes.clear();
    EXPECT_FALSE(fitModel(grid(40), options, model, notes, error));
    EXPECT_EQ(error, "1681 vertices and 3200 polygons are more than the format's 300 vertices and 400 polygons "
                     "(not simplified: --no-simplify)");
}

// Faces without area are no part of the surface that the simplifier reduces: they come through
// it as the source had them, a large one as the triangles of its fan.
TEST(ImportFit, FacesWithoutAreaComeThroughSimplifying)
{
    SourceModel source = grid(40);  // 1681 vertices, 3200 triangles, on z within 3 of 0
    const uint32_t first = static_cast<uint32_t>(source.positions.size());
    for (const double x : {5, 10, 20, 24, 26, 30}) source.positions.push_back({x, 50, 4});
    const uint32_t onALine[] = {first, first + 1, first + 2};
    const uint32_t hexagon[] = {first, first + 1, first + 2, first + 3, first + 4, first + 5};
    source.addPolygon(onALine, 3, SourceColour{0, 0, 0.6f});
    source.addPolygon(hexagon, 6, SourceColour{0, 0, 0.6f});
    ImportOptions options;
    options.scale = 1;
    options.center = false;
    options.maxVertices = 300;
    options.maxPolygons = 400;
    ImportedModel model;
    std::vector<std::string> notes;
    std::string error;
    ASSERT_TRUE(fitModel(source, options, model, notes, error)) << error;
    ASSERT_LE(model.polygons.size(), 400u);
    std::vector<std::vector<int>> flat;  // the x of each corner, for the faces at y = -50
    for (const TextPolygon& polygon : model.polygons) {
        if (model.vertices[polygon.indices[0]].y != -50) continue;
        EXPECT_EQ(polygon.colour, 1);
        flat.emplace_back();
        for (const int index : polygon.indices) flat.back().push_back(model.vertices[index].x);
    }
    EXPECT_EQ(flat, (std::vector<std::vector<int>>{{5, 10, 20}, {5, 10, 20}, {5, 20, 24}, {5, 24, 26}, {5, 26, 30}}));
    ASSERT_GE(notes.size(), 2u);
    EXPECT_EQ(notes[0], "1 face of more than 5 corners triangulated into 4 triangles");
    EXPECT_EQ(notes[1].rfind("simplified from 1687 vertices and 3205 polygons to ", 0), 0u) << notes[1];
}

// Faces on the same corners made the simplifier's time grow with the square of their number, and
// it then left nothing of them after a note that said it had simplified them.
TEST(ImportFit, RepeatedFacesGoBeforeSimplifyingAndEveryColourKeepsAFace)
{
    SourceModel source;
    source.positions = {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}, {0, 0, 100}};
    const uint32_t turned[2][3] = {{1, 2, 0}, {2, 0, 1}}, other[] = {0, 2, 1}, lone[] = {0, 1, 3};
    for (int k = 0; k < 35000; ++k) {
        source.addPolygon(turned[k % 2], 3, SourceColour{1, 0, 0});  // the same face from another corner
        source.addPolygon(other, 3, SourceColour{1, 0, 0});          // the same corners turned the other way
    }
    source.addPolygon(lone, 3, SourceColour{0, 0, 1});
    ImportOptions options;
    options.scale = 1;
    options.center = false;
    ImportedModel model;
    std::vector<std::string> notes;
    std::string error;
    ASSERT_TRUE(fitModel(source, options, model, notes, error)) << error;
    // One face each way round in red (each is a side of its own), and the blue one.
    EXPECT_EQ(model.polygons.size(), 3u);
    EXPECT_EQ(notes, std::vector<std::string>{"simplified from 4 vertices and 70001 polygons to 4 vertices and 3 "
                                              "polygons, within the format's 32768 vertices and 65534 polygons"});

    // Two colours where one polygon is allowed: neither gives way, and no note claims a simplification.
    options.maxPolygons = 1;
    notes.clear();
    EXPECT_FALSE(fitModel(source, options, model, notes, error));
    EXPECT_EQ(error, "4 vertices and 70001 polygons could not be simplified to the format's 32768 vertices and 1 "
                     "polygons");
    EXPECT_TRUE(notes.empty());
}

// ---- the steps on their own ----

double twiceArea(const std::vector<SourcePoint>& p, const uint32_t* t)
{
    return (p[t[1]].x - p[t[0]].x) * (p[t[2]].y - p[t[0]].y) - (p[t[1]].y - p[t[0]].y) * (p[t[2]].x - p[t[0]].x);
}

TEST(ImportSteps, ConcaveFacesBecomeTrianglesThatCoverThemExactly)
{
    // An L of six corners, counter-clockwise seen from +z: a fan from corner 0 would leave it.
    const std::vector<SourcePoint> positions = {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}};
    std::vector<uint32_t> triangles;
    triangulate(positions, {0, 1, 2, 3, 4, 5}, triangles);
    ASSERT_EQ(triangles.size(), 12u);
    double covered = 0;
    for (std::size_t t = 0; t < triangles.size(); t += 3) {
        EXPECT_GT(twiceArea(positions, &triangles[t]), 0) << "triangle " << t / 3 << " keeps the face's winding";
        covered += twiceArea(positions, &triangles[t]);
    }
    EXPECT_EQ(covered, 2 * 3.0);  // the L's area is 3
}

TEST(ImportSteps, CleaningWeldsEqualPositionsAndCountsWhatItDropsOrSplits)
{
    SourceModel source;
    // Corner 4 is corner 0 with a negative zero.
    source.positions = {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}, {-0.0, 0, 0}, {2, -1, 0}, {2, 5, 0}};
    const uint32_t quad[] = {0, 1, 2, 3};
    const uint32_t repeated[] = {0, 1, 1, 4};           // repeated corners leave a line's worth: no face
    const uint32_t heptagon[] = {0, 5, 1, 2, 6, 3, 4};  // a hexagon once 4 is welded onto 0
    const uint32_t noLength[] = {4, 0};
    source.addPolygon(quad, 4, {});
    source.addPolygon(repeated, 4, {});
    source.addPolygon(heptagon, 7, {});
    source.addPolygon(noLength, 2, {});
    WorkMesh work;
    CleanCounts counts;
    cleanSource(source, 7, work, counts);
    EXPECT_EQ(work.positions.size(), 6u) << "-0 and +0 are one position";
    EXPECT_EQ(counts.faces, 1u);
    EXPECT_EQ(counts.lines, 1u);
    EXPECT_EQ(counts.largeFaces, 1u);
    EXPECT_EQ(counts.largeFaceTriangles, 4u);
    ASSERT_EQ(work.polygons.size(), 5u);
    EXPECT_EQ(work.polygons[0].count, 4);
    for (const WorkMesh::Polygon& polygon : work.polygons) EXPECT_EQ(polygon.colour, 7);
}

TEST(ImportSteps, CleaningKeepsFacesWithoutAreaAndSplitsTheLargeOnesAsFans)
{
    SourceModel source;
    source.positions = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {4, 4, 4}, {5, 5, 5}, {6, 0, 0}};
    const uint32_t onALine[] = {0, 2, 4};
    const uint32_t hexagon[] = {0, 1, 2, 3, 4, 5};
    const uint32_t backAndForth[] = {0, 1, 2, 1, 0, 3};  // no area, and corners repeated apart
    const uint32_t withArea[] = {0, 5, 6};
    source.addPolygon(onALine, 3, {});
    source.addPolygon(hexagon, 6, {});
    source.addPolygon(backAndForth, 6, {});
    source.addPolygon(withArea, 3, {});
    WorkMesh work;
    CleanCounts counts;
    cleanSource(source, 4, work, counts);
    EXPECT_EQ(counts.faces, 0u);
    EXPECT_EQ(counts.largeFaces, 2u);
    // The hexagon's fan of 4 triangles; of the other's fan, those of 3 different corners.
    EXPECT_EQ(counts.largeFaceTriangles, 6u);
    std::vector<std::vector<double>> faces;  // the x of each corner
    for (const WorkMesh::Polygon& polygon : work.polygons) {
        faces.emplace_back();
        for (int k = 0; k < polygon.count; ++k)
            faces.back().push_back(work.positions[work.indices[polygon.first + k]].x);
        EXPECT_EQ(polygon.flat, faces.size() < 8) << faces.size();
    }
    EXPECT_EQ(faces, (std::vector<std::vector<double>>{
                         {0, 2, 4}, {0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 5}, {0, 1, 2}, {0, 2, 1}, {0, 5, 6}}));
}

// Rounding drops what it brings down to fewer than 3 corners, and what it takes the area of; a
// face without area in the source is kept, as it was.
TEST(ImportSteps, RoundingKeepsFacesThatHadNoAreaAndDropsThoseItFlattens)
{
    WorkMesh mesh;
    mesh.positions = {{0, 0, 0},  {10, 0.4, 0}, {20, 0, 0},   {0, 5, 0},   {10, 5, 0},
                      {20, 5, 0}, {40, 5, 0},   {40.2, 5, 0}, {40.4, 5, 0}};
    const uint32_t sliver[] = {0, 1, 2};      // area 4, none once rounded
    const uint32_t onALine[] = {3, 4, 5};     // none to lose
    const uint32_t collapsing[] = {6, 7, 8};  // one corner once rounded
    mesh.add(sliver, 3, 1);
    mesh.add(onALine, 3, 1, true);
    mesh.add(collapsing, 3, 1, true);
    std::vector<TextVertex> vertices;
    std::vector<TextPolygon> polygons;
    EXPECT_EQ(roundAndWeld(mesh, vertices, polygons), 2u);
    ASSERT_EQ(polygons.size(), 1u);
    ASSERT_EQ(vertices.size(), 3u);
    EXPECT_EQ(vertices[polygons[0].indices[2]].x, 20);
    EXPECT_EQ(vertices[polygons[0].indices[2]].y, -5);
}

TEST(ImportSteps, RoundingNegatesYWeldsAndDropsWhatLosesItsArea)
{
    WorkMesh mesh;
    mesh.positions = {{0.4, 0, 0}, {-0.4, 0, 0}, {10, 0, 0}, {0, 10.6, 0}, {0.2, 0.3, 0}, {10.4, 0.4, 0}};
    const uint32_t face[] = {0, 2, 3};
    const uint32_t sliver[] = {1, 4, 5};  // rounds to (0,0) (0,0) (10,0): no area
    mesh.add(face, 3, 2);
    mesh.add(sliver, 3, 2);
    std::vector<TextVertex> vertices;
    std::vector<TextPolygon> polygons;
    EXPECT_EQ(roundAndWeld(mesh, vertices, polygons), 1u);
    ASSERT_EQ(polygons.size(), 1u);
    ASSERT_EQ(vertices.size(), 3u);
    EXPECT_EQ(vertices[2].y, -11) << "y is written negated";
    EXPECT_EQ(usedVertexCount(mesh), 6u);
}

}  // namespace
