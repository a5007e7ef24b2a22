// Textures on their own: decoding under limits, sampling over faces in linear light, the colour choice and its notes.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "formats/import/texture/colour_choice.h"
#include "formats/import/texture/texture_image.h"
#include "formats/import/texture/texture_sample.h"
#include "testlib/texture_files.h"

namespace {

using Rgb8 = std::array<unsigned char, 3>;
constexpr Rgb8 kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255}, kBlack{0, 0, 0};
constexpr Rgb8 kYellow{255, 255, 0}, kCyan{0, 255, 255}, kMagenta{255, 0, 255};
constexpr uint64_t kBudget = uint64_t(1) << 30;

const unsigned char* bytesOf(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

bool decode(const std::string& file, TextureImage& image, std::string& why, bool tga = false, uint64_t budget = kBudget)
{
    return decodeTexture(bytesOf(file), file.size(), tga, budget, image, why);
}

Rgb8 texel(const TextureImage& image, int x, int y)
{
    const unsigned char* t = &image.rgb[(std::size_t(y) * image.width + x) * 3];
    return {t[0], t[1], t[2]};
}

// Blocks of 8 x 8 texels in one colour each, which JPEG keeps within a few levels.
Picture blocks()
{
    Picture picture(32, 16, kBlack);
    const Rgb8 colours[8] = {kRed, kGreen, kBlue, kWhite, kYellow, kCyan, kMagenta, {128, 64, 32}};
    for (int k = 0; k < 8; ++k) picture.paint(8 * (k % 4), 8 * (k / 4), 8 * (k % 4) + 8, 8 * (k / 4) + 8, colours[k]);
    return picture;
}

LinearRgb linear(Rgb8 c)
{
    return LinearRgb{linearFromSrgb(c[0] / 255.0), linearFromSrgb(c[1] / 255.0), linearFromSrgb(c[2] / 255.0)};
}

void expectColour(const LinearRgb& got, double r, double g, double b, double tolerance, const std::string& what)
{
    EXPECT_NEAR(got.r, r, tolerance) << what;
    EXPECT_NEAR(got.g, g, tolerance) << what;
    EXPECT_NEAR(got.b, b, tolerance) << what;
}

TextureImage imageOf(const Picture& picture)
{
    TextureImage image;
    image.width = picture.width;
    image.height = picture.height;
    image.rgb = picture.rgb;
    return image;
}

// A triangle of texture coordinates around (u, v), small enough to stay in one texel of any picture here.
LinearRgb pointSample(const TextureSampler& sampler, double u, double v)
{
    const TexCoord corners[3] = {{u - 0.01, v - 0.01}, {u + 0.01, v - 0.01}, {u, v + 0.01}};
    return averageTexturedPolygon(sampler, corners, nullptr, 3);
}

}  // namespace

TEST(TextureDecode, PngJpegTgaAndBmpGiveTheirTexelsFromTheTopRow)
{
    const Picture picture = blocks();
    struct Case {
        const char* name;
        std::string file;
        bool tga;
        int tolerance;
    } cases[] = {{"png", pngFile(picture), false, 0},
                 {"bmp", bmpFile(picture), false, 0},
                 {"tga", tgaFile(picture), true, 0},
                 {"jpeg", jpegFile(picture, 95), false, 12}};
    for (const Case& c : cases) {
        TextureImage image;
        std::string why;
        ASSERT_TRUE(decode(c.file, image, why, c.tga)) << c.name << ": " << why;
        ASSERT_EQ(image.width, 32) << c.name;
        ASSERT_EQ(image.height, 16) << c.name;
        for (int y = 2; y < 16; y += 8)  // away from block edges, where JPEG blurs
            for (int x = 3; x < 32; x += 8)
                for (int k = 0; k < 3; ++k)
                    EXPECT_NEAR(texel(image, x, y)[k], picture.at(x, y)[k], c.tolerance)
                        << c.name << " at " << x << ", " << y;
    }
}

TEST(TextureDecode, HeadersBeyondTheSideLimitOrTheBudgetAreRefusedBeforeDecoding)
{
    TextureImage image;
    std::string why;
    // 33 bytes that declare 65535 x 65535 RGBA texels: 16 GB to a decoder that trusts them.
    const std::string hostile = pngHeaderOnly(65535, 65535);
    ASSERT_LT(hostile.size(), 40u);
    EXPECT_FALSE(decode(hostile, image, why));
    EXPECT_EQ(why, "its header declares 65535 x 65535 texels, more than 16384 on a side");
    EXPECT_TRUE(image.rgb.empty());

    // Within the side limit but not the budget: the header's size decides, not the data (there is none).
    const uint64_t peak = textureDecodePeak(4096, 4096, 4, false);
    EXPECT_FALSE(decode(pngHeaderOnly(4096, 4096), image, why, false, peak - 1));
    EXPECT_EQ(why,
              "4096 x 4096 texels need 176 MB to decode, more than the 176 MB a texture may use (see --max-memory)");
    // At the budget the decoder gets the bytes, and finds them cut short: said in our words, not its own.
    EXPECT_FALSE(decode(pngHeaderOnly(4096, 4096), image, why, false, peak));
    EXPECT_EQ(why, "the image is damaged: its texels could not be decoded");

    // The default budget takes a 4096 x 4096 RGBA picture and refuses a 16384 x 16384 one.
    const uint64_t reader = uint64_t(2) << 30;
    EXPECT_LE(textureDecodePeak(4096, 4096, 4, false), textureBudgetFor(reader));
    EXPECT_FALSE(decode(pngHeaderOnly(16384, 16384), image, why, false, textureBudgetFor(reader)));
    EXPECT_NE(why.find("more than the 1 GB a texture may use"), std::string::npos) << why;
}

TEST(TextureDecode, UnknownDamagedAndUnnamedTgaBytesAreRefused)
{
    TextureImage image;
    std::string why;
    EXPECT_FALSE(decode("DDS |\x7c\x00\x00\x00 compressed for a graphics card", image, why));
    EXPECT_EQ(why, "not a PNG, JPEG, TGA or BMP image");
    EXPECT_FALSE(decode("", image, why));
    EXPECT_EQ(why, "it is empty");

    // A TGA has no signature: only a name that says TGA lets bytes be taken for one.
    const std::string tga = tgaFile(blocks());
    EXPECT_FALSE(decode(tga, image, why, false));
    EXPECT_EQ(why, "not a PNG, JPEG, TGA or BMP image");
    EXPECT_TRUE(namesTga("textures/Skin.TGA"));
    EXPECT_TRUE(namesTga("tga"));
    EXPECT_FALSE(namesTga("skin.tga.png"));

    // Every prefix of a PNG, each in a buffer of its own size, is refused, or gives the whole
    // picture where only the file's end is missing; never a read past its end.
    const Picture picture = blocks();
    const std::string png = pngFile(picture);
    int refused = 0;
    for (std::size_t size = 1; size < png.size(); ++size) {
        const std::string cut = png.substr(0, size);
        if (!decode(cut, image, why))
            ++refused;
        else
            EXPECT_EQ(image.rgb, picture.rgb) << size;
    }
    EXPECT_GT(refused, int(png.size()) - 20);
    const std::string sideways = pngHeaderOnly(0, 16);
    EXPECT_FALSE(decode(sideways, image, why));
}

// The decoder writes a Huffman table's codes into room for 256 without counting them: a table
// that declares more is refused before it reads a byte, wherever the table stands.
TEST(TextureDecode, JpegHuffmanTablesOfMoreThan256CodesAreRefusedBeforeDecoding)
{
    const std::string jpeg = jpegFile(blocks());
    TextureImage image;
    std::string why;
    ASSERT_TRUE(decode(jpeg, image, why)) << why;

    // A DHT segment of one table: its class and number, 16 counts of codes by length, its codes.
    const auto table = [](unsigned codesOfEachLength) {
        std::string segment = "\xFF\xC4";
        const std::size_t length = 2 + 17 + 16 * codesOfEachLength;
        segment += static_cast<char>(length >> 8);
        segment += static_cast<char>(length & 0xFF);
        segment += '\x00';
        segment.append(16, static_cast<char>(codesOfEachLength));
        segment.append(16 * codesOfEachLength, '\x01');
        return segment;
    };
    const std::string tooMany = table(17);  // 272 codes
    const std::string atTheStart = jpeg.substr(0, 2) + tooMany + jpeg.substr(2);
    const std::string afterTheScan = jpeg.substr(0, jpeg.size() - 2) + tooMany + jpeg.substr(jpeg.size() - 2);
    const std::string withFill = "\xFF" + atTheStart;  // the decoder skips fill bytes before SOI too
    for (const std::string* file : {&atTheStart, &afterTheScan, &withFill}) {
        EXPECT_FALSE(decode(*file, image, why, true));
        EXPECT_EQ(why, "its JPEG Huffman tables declare more codes than JPEG allows");
    }
    // 256 codes is within what the decoder holds: the table is its to judge, not refused here.
    const std::string full = jpeg.substr(0, 2) + table(16) + jpeg.substr(2);
    why.clear();
    decode(full, image, why);
    EXPECT_NE(why, "its JPEG Huffman tables declare more codes than JPEG allows");
}

TEST(TextureDecode, RawBlueGreenRedAlphaTexelsBecomeRgbUnderTheSameLimits)
{
    const unsigned char bgra[] = {1, 2, 3, 255, 4, 5, 6, 0};
    TextureImage image;
    std::string why;
    ASSERT_TRUE(textureFromBgra(bgra, 2, 1, kBudget, image, why)) << why;
    EXPECT_EQ(image.rgb, (std::vector<unsigned char>{3, 2, 1, 6, 5, 4}));
    EXPECT_FALSE(textureFromBgra(bgra, 20000, 1, kBudget, image, why));
    EXPECT_FALSE(textureFromBgra(bgra, 2, 1, 10, image, why));
}

TEST(TextureColour, SrgbEncodingBothWaysAgainstWorkedValues)
{
    // (0.5 + 0.055) / 1.055 = 0.526066, to the power 2.4 = 0.214041; 1.055 * 0.5^(1/2.4) - 0.055 = 0.735357.
    EXPECT_NEAR(linearFromSrgb(0.5), 0.214041, 1e-6);
    EXPECT_NEAR(srgbFromLinear(0.5), 0.735357, 1e-6);
    EXPECT_NEAR(linearFromSrgb(0.04), 0.04 / 12.92, 1e-12);
    EXPECT_EQ(linearFromSrgb(2.0), 1.0);
    EXPECT_EQ(srgbFromLinear(-1.0), 0.0);
    for (int i = 0; i < 256; ++i) EXPECT_NEAR(srgbFromLinear(linearFromSrgb(i / 255.0)) * 255, i, 1e-9);
    // glTF's factors are linear already, an OBJ file's are not.
    expectColour(linearColour(0.5f, 1.5f, NAN, true), 0.5, 1, 0, 0, "linear");
    expectColour(linearColour(0.5f, 0, 1, false), 0.214041, 0, 1, 1e-6, "sRGB");
    const SourceColour shown = shownColour(LinearRgb{1, 0.5, 0}, LinearRgb{0.214041, 1, 1});
    EXPECT_NEAR(shown.r, 0.5, 1e-6);
    EXPECT_NEAR(shown.g, 0.735357, 1e-6);
    EXPECT_EQ(shown.b, 0.0f);
}

TEST(TextureSampling, HalvesOfAPictureSplitAlongTheDiagonalOfAQuad)
{
    // Left half red, right half blue; the quad's diagonal runs down the middle of the picture.
    Picture picture(64, 64, kRed);
    picture.paint(32, 0, 64, 64, kBlue);
    const TextureImage image = imageOf(picture);
    TextureSampler sampler;
    sampler.image = &image;
    const TexCoord left[3] = {{0, 0}, {0.5, 0}, {0.5, 1}};
    const TexCoord right[3] = {{0.5, 0}, {1, 1}, {0.5, 1}};
    expectColour(averageTexturedPolygon(sampler, left, nullptr, 3), 1, 0, 0, 0, "left");
    expectColour(averageTexturedPolygon(sampler, right, nullptr, 3), 0, 0, 1, 0, "right");
}

TEST(TextureSampling, TheMeanIsOverTheFaceAreaInLinearLight)
{
    // A 16 x 16 picture, black on the left, grey 188 on the right: the triangle (0,0) (1,0) (0,1)
    // has a quarter of its area right of the middle. Grey 188 is 0.502886 of the light
    // (((188 / 255 + 0.055) / 1.055) ^ 2.4), so the mean is 0.125722. Its corners alone would say a
    // third of that; a mean of the encoded values, a quarter of 188 / 255 = 0.184314, is 0.028420 of
    // the light.
    Picture picture(16, 16, kBlack);
    picture.paint(8, 0, 16, 16, {188, 188, 188});
    const TextureImage image = imageOf(picture);
    TextureSampler sampler;
    sampler.image = &image;
    const TexCoord corner[3] = {{0, 0}, {1, 0}, {0, 1}};
    expectColour(averageTexturedPolygon(sampler, corner, nullptr, 3), 0.125722, 0.125722, 0.125722, 1e-6, "triangle");

    // A concave quad fanned from a corner whose fan has a triangle turned the other way: the
    // signed areas add up to the quad, where the fan's unsigned areas would not. The part right of
    // the middle is the triangle (0.5, 0) (1, 0) (0.5, 1/6), a sixth of the quad's 0.25.
    Picture fine(64, 64, kBlack);
    fine.paint(32, 0, 64, 64, kWhite);
    const TextureImage fineImage = imageOf(fine);
    sampler.image = &fineImage;
    const TexCoord dart[4] = {{1, 0}, {0.25, 0.25}, {0, 1}, {0, 0}};
    EXPECT_NEAR(averageTexturedPolygon(sampler, dart, nullptr, 4).r, 1.0 / 6, 0.02);

    // A segment averages what lies along it, evenly: half of this one is right of the middle.
    const TexCoord segment[2] = {{0.25, 0.5}, {0.75, 0.5}};
    EXPECT_EQ(averageTexturedPolygon(sampler, segment, nullptr, 2).r, 0.5);
}

TEST(TextureSampling, SamplesFollowTheFaceAreaInTexelsUpToSixtyFour)
{
    EXPECT_EQ(sampleRows(0), 1);
    EXPECT_EQ(sampleRows(NAN), 1);
    EXPECT_EQ(sampleRows(1), 1);
    EXPECT_EQ(sampleRows(4), 2);
    EXPECT_EQ(sampleRows(10), 4);
    EXPECT_EQ(sampleRows(64), 8);
    EXPECT_EQ(sampleRows(1e12), 8);
    // A face of one texel is that texel, though its neighbours differ.
    Picture picture(4, 4, kBlack);
    picture.paint(1, 1, 2, 2, kWhite);
    const TextureImage image = imageOf(picture);
    TextureSampler sampler;
    sampler.image = &image;
    const TexCoord oneTexel[4] = {{0.25, 0.5}, {0.5, 0.5}, {0.5, 0.75}, {0.25, 0.75}};
    expectColour(averageTexturedPolygon(sampler, oneTexel, nullptr, 4), 1, 1, 1, 0, "one texel");
}

TEST(TextureSampling, CoordinatesOutsideZeroToOneRepeatMirrorClampOrLeaveTheFaceAlone)
{
    // Columns red, green, blue, white from the left; rows the same from the top.
    Picture columns(4, 1, kRed), rows(1, 4, kRed);
    const Rgb8 order[4] = {kRed, kGreen, kBlue, kWhite};
    for (int k = 0; k < 4; ++k) columns.paint(k, 0, k + 1, 1, order[k]), rows.paint(0, k, 1, k + 1, order[k]);
    const TextureImage across = imageOf(columns), down = imageOf(rows);
    struct Case {
        TextureWrap wrap;
        double at;
        Rgb8 expected;
    } cases[] = {
        {TextureWrap::repeat, 1.375, kGreen},
        {TextureWrap::mirror, 1.375, kBlue},
        {TextureWrap::clamp, 1.375, kWhite},
        {TextureWrap::repeat, -0.625, kGreen},
        {TextureWrap::mirror, -0.625, kBlue},
        {TextureWrap::clamp, -0.625, kRed},
        {TextureWrap::repeat, 7.125, kRed},
        {TextureWrap::mirror, 3.125, kWhite},
        {TextureWrap::decal, 0.375, kGreen},
        {TextureWrap::decal, 1.375, kWhite},  // outside a decal: the face's other colours alone
    };
    for (const Case& c : cases) {
        const std::string what = "at " + std::to_string(c.at) + " wrap " + std::to_string(int(c.wrap));
        const LinearRgb expected = linear(c.expected);
        TextureSampler sampler;
        sampler.image = &across;
        sampler.wrapU = c.wrap;
        expectColour(pointSample(sampler, c.at, 0.5), expected.r, expected.g, expected.b, 0, "u " + what);
        // v runs up from the picture's bottom row: v = 1 - t finds what t finds down the rows.
        sampler.image = &down;
        sampler.wrapU = TextureWrap::repeat;
        sampler.wrapV = c.wrap;
        expectColour(pointSample(sampler, 0.5, 1 - c.at), expected.r, expected.g, expected.b, 0, "v " + what);
    }
}

TEST(TextureSampling, VertexColoursMultiplyTheTextureWhereEachSampleLies)
{
    // Black left, white right; red rising from 0 at two corners to 1 at (1, 0). The mean of the
    // product over the triangle is the integral of u over its part right of the middle, over its
    // area: (1/8 * 2/3) / (1/2) = 1/6. The product of the two means would be 1/3 * 1/4 = 1/12.
    Picture picture(16, 16, kBlack);
    picture.paint(8, 0, 16, 16, kWhite);
    const TextureImage image = imageOf(picture);
    TextureSampler sampler;
    sampler.image = &image;
    const TexCoord corner[3] = {{0, 0}, {1, 0}, {0, 1}};
    const LinearRgb colours[3] = {{0, 0.5, 0}, {1, 0.5, 0}, {0, 0.5, 0}};
    expectColour(averageTexturedPolygon(sampler, corner, colours, 3), 1.0 / 6, 0.5 * 0.25, 0, 1e-9, "product");
    expectColour(averageCornerColours(colours, 3), 1.0 / 3, 0.5, 0, 1e-12, "corners");
}

namespace {

// A 2 x 2 picture of four colours, and where each quadrant's centre lies in the reader's coordinates.
struct Quadrants {
    TextureImage image;
    Quadrants()
    {
        Picture picture(2, 2, kRed);        // top left
        picture.paint(1, 0, 2, 1, kGreen);  // top right
        picture.paint(0, 1, 1, 2, kBlue);   // bottom left
        picture.paint(1, 1, 2, 2, kWhite);  // bottom right
        image = imageOf(picture);
    }
};

// The point that glTF's transform maps (s, t) to: T(offset) R(rotation) S(scale), 3 x 3 matrices
// written column by column as its shader code writes them, multiplied here as matrices.
std::array<double, 2> gltfMappedPoint(double s, double t, double ou, double ov, double r, double su, double sv)
{
    using M = std::array<std::array<double, 3>, 3>;  // [column][row]
    const M translation{{{1, 0, 0}, {0, 1, 0}, {ou, ov, 1}}};
    const M rotation{{{std::cos(r), std::sin(r), 0}, {-std::sin(r), std::cos(r), 0}, {0, 0, 1}}};
    const M scale{{{su, 0, 0}, {0, sv, 0}, {0, 0, 1}}};
    const auto times = [](const M& a, const M& b) {
        M c{};
        for (int col = 0; col < 3; ++col)
            for (int row = 0; row < 3; ++row)
                for (int k = 0; k < 3; ++k) c[col][row] += a[k][row] * b[col][k];
        return c;
    };
    const M m = times(times(translation, rotation), scale);
    return {m[0][0] * s + m[1][0] * t + m[2][0], m[0][1] * s + m[1][1] * t + m[2][1]};
}

}  // namespace

TEST(TextureTransform, GltfOffsetRotationAndScaleAsGltfDefinesThem)
{
    const Quadrants quadrants;
    TextureSampler sampler;
    sampler.image = &quadrants.image;
    // glTF's (0.1, 0.1) is near the top left; an offset of half a picture to the right makes it top right.
    sampler.transform = gltfUvTransform(0.5, 0, 0, 1, 1);
    const LinearRgb green = linear(kGreen);
    expectColour(pointSample(sampler, 0.1, 0.9), green.r, green.g, green.b, 0, "offset");
    // A quarter turn takes (0.1, 0.3) to (-0.3, 0.1), repeated to (0.7, 0.1): top right again.
    sampler.transform = gltfUvTransform(0, 0, M_PI / 2, 1, 1);
    expectColour(pointSample(sampler, 0.1, 0.7), green.r, green.g, green.b, 0, "rotation");

    const double cases[][5] = {{0.25, 0.1, 0.3, 2, 1.5}, {-0.5, 0.75, -2.1, 0.5, 3}, {0, 0, 1, 1, 1}};
    for (const auto& c : cases) {
        const UvTransform transform = gltfUvTransform(c[0], c[1], c[2], c[3], c[4]);
        for (const auto& st : {std::array<double, 2>{0, 0}, {1, 0}, {0.3, 0.8}}) {
            const std::array<double, 2> expected = gltfMappedPoint(st[0], st[1], c[0], c[1], c[2], c[3], c[4]);
            double u = st[0], v = 1 - st[1];
            transform.apply(u, v);
            EXPECT_NEAR(u, expected[0], 1e-12);
            EXPECT_NEAR(1 - v, expected[1], 1e-12);
        }
    }
}

TEST(TextureTransform, TheLibrarysFormOfAGltfTransformIsTakenBackExactly)
{
    // What the reading library hands over for offset (0.25, 0.1), rotation 0.3 and scale (2, 1.5),
    // as it printed them: translation (0.590184, -0.411857), scaling (2, 1.5), rotation -0.3.
    const UvTransform fromLibrary = gltfUvTransformFromLibrary(0.590184, -0.411857, 2, 1.5, -0.3);
    const UvTransform gltf = gltfUvTransform(0.25, 0.1, 0.3, 2, 1.5);
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col) EXPECT_NEAR(fromLibrary.m[row][col], gltf.m[row][col], 2e-6);
}

TEST(TextureTransform, OtherFormatsTranslateThenRotateAndScaleAboutTheCentre)
{
    const auto mapped = [](const UvTransform& t, double u, double v) {
        t.apply(u, v);
        return std::array<double, 2>{u, v};
    };
    const auto expectAt = [](std::array<double, 2> got, double u, double v) {
        EXPECT_NEAR(got[0], u, 1e-12);
        EXPECT_NEAR(got[1], v, 1e-12);
    };
    expectAt(mapped(libraryUvTransform(0.25, 0, 1, 1, 0), 0.5, 0.5), 0.75, 0.5);
    // A quarter turn counter-clockwise about (0.5, 0.5): the right edge's middle goes to the top's.
    expectAt(mapped(libraryUvTransform(0, 0, 1, 1, M_PI / 2), 1, 0.5), 0.5, 1);
    expectAt(mapped(libraryUvTransform(0, 0, 2, 2, 0), 0.75, 0.5), 1, 0.5);
    // Translated first: (0.75, 0.5) moves to (1, 0.5), which the turn takes to (0.5, 1).
    expectAt(mapped(libraryUvTransform(0.25, 0, 1, 1, M_PI / 2), 0.75, 0.5), 0.5, 1);
}

TEST(ColourChoice, EachChoiceTakesWhatTheFacesHaveAndCountsWhatTheyLack)
{
    ColourSource source = ColourSource::material;
    EXPECT_TRUE(parseColourSource("auto", source) && source == ColourSource::automatic);
    EXPECT_TRUE(parseColourSource("texture", source) && source == ColourSource::texture);
    EXPECT_TRUE(parseColourSource("vertex", source) && source == ColourSource::vertex);
    EXPECT_TRUE(parseColourSource("material", source) && source == ColourSource::material);
    for (const char* word : {"", "Auto", "textures", "automatic"})
        EXPECT_FALSE(parseColourSource(word, source)) << word;

    FaceColourOffer everything;
    everything.textureNamed = everything.textureDecoded = everything.textureCoordinates = everything.vertexColours =
        true;
    FaceColourOffer nothing;
    FaceColourOffer unmapped = everything;  // a texture, but no coordinates to map it by
    unmapped.textureCoordinates = false;
    unmapped.vertexColours = false;
    FaceColourOffer unreadable = everything;  // named, but not read
    unreadable.textureDecoded = false;
    struct Case {
        ColourSource source;
        const FaceColourOffer* offer;
        bool texture, vertex;
        const char* note;
    } cases[] = {
        {ColourSource::automatic, &everything, true, true, nullptr},
        {ColourSource::automatic, &nothing, false, false, nullptr},
        {ColourSource::automatic, &unmapped, false, false,
         "3 faces have a texture but no texture coordinates: they take their material's colour"},
        {ColourSource::automatic, &unreadable, false, true, nullptr},
        {ColourSource::texture, &everything, true, false, nullptr},
        {ColourSource::texture, &nothing, false, false,
         "--colours texture: 3 faces have no texture: they take their material's colour"},
        {ColourSource::texture, &unreadable, false, false, nullptr},
        {ColourSource::material, &everything, false, false, nullptr},
        {ColourSource::vertex, &everything, false, true, nullptr},
        {ColourSource::vertex, &unmapped, false, false,
         "--colours vertex: 3 faces have no vertex colours: they take their material's colour"},
    };
    for (const Case& c : cases) {
        ColourFallbacks fallbacks;
        const FaceColourPlan plan = planFaceColours(c.source, *c.offer, 3, fallbacks);
        const std::string what = "choice " + std::to_string(int(c.source)) + ", case " + std::to_string(&c - cases);
        EXPECT_EQ(plan.texture, c.texture) << what;
        EXPECT_EQ(plan.vertexColours, c.vertex) << what;
        const std::vector<std::string> notes = fallbacks.notes();
        if (c.note) {
            ASSERT_EQ(notes.size(), 1u) << what;
            EXPECT_EQ(notes[0], c.note) << what;
        } else {
            EXPECT_TRUE(notes.empty()) << what << ": " << (notes.empty() ? "" : notes[0]);
        }
    }
    // Counted over every group of faces, and one face said as one.
    ColourFallbacks fallbacks;
    planFaceColours(ColourSource::vertex, nothing, 1, fallbacks);
    EXPECT_EQ(fallbacks.notes(), std::vector<std::string>{
                                     "--colours vertex: 1 face has no vertex colours: it takes its material's colour"});
    planFaceColours(ColourSource::vertex, nothing, 4, fallbacks);
    EXPECT_EQ(fallbacks.notes()[0].find("5 faces have"), std::string("--colours vertex: ").size());
}
