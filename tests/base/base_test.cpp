// The ground pieces: sizes worded by the table the page's test reads too, counts, path pieces,
// little-endian numbers and hex digits.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "base/bytes.h"
#include "base/paths.h"
#include "base/words.h"

namespace {

TEST(MemoryWords, asTheSharedTableWordsThem)
{
    std::ifstream table(ZEM_MEMORY_WORDS_TABLE);
    ASSERT_TRUE(table) << ZEM_MEMORY_WORDS_TABLE;
    int rows = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        EXPECT_EQ(memoryWords(std::stoull(line.substr(0, tab))), line.substr(tab + 1));
        ++rows;
    }
    EXPECT_GT(rows, 10);
}

TEST(Counted, agreesWithItsNumber)
{
    EXPECT_EQ(counted(0, "face", "faces"), "0 faces");
    EXPECT_EQ(counted(1, "vertex", "vertices"), "1 vertex");
    EXPECT_EQ(counted(65534, "polygon", "polygons"), "65534 polygons");
}

TEST(PathPieces, ofEveryShapeOfPath)
{
    const struct {
        const char* path;
        const char* last;
        const char* folder;
        const char* withSlash;
        const char* extension;
        const char* stem;
    } paths[] = {
        {"a/b.obj", "b.obj", "a", "a/", "obj", "a/b"},
        {"/b.PLY", "b.PLY", "/", "/", "PLY", "/b"},
        {"b", "b", ".", "", "", "b"},
        {"", "", ".", "", "", ""},
        {"a.d/b", "b", "a.d", "a.d/", "", "a.d/b"},
        {"x/y/", "", "x/y", "x/y/", "", "x/y/"},
        {"a/b.tar.gz", "b.tar.gz", "a", "a/", "gz", "a/b.tar"},
    };
    for (const auto& p : paths) {
        EXPECT_EQ(lastName(p.path), p.last) << p.path;
        EXPECT_EQ(folderOf(p.path), p.folder) << p.path;
        EXPECT_EQ(folderWithSlash(p.path), p.withSlash) << p.path;
        EXPECT_EQ(extensionOf(p.path), p.extension) << p.path;
        EXPECT_EQ(withoutExtension(p.path), p.stem) << p.path;
    }
    // A name from another system: only the last of either separator counts.
    EXPECT_EQ(lastNameOfAnySystem("C:\\maps/old\\Wood.PNG"), "Wood.PNG");
    EXPECT_EQ(lastNameOfAnySystem("a\\b/c"), "c");
    EXPECT_EQ(lastNameOfAnySystem("plain.png"), "plain.png");
    EXPECT_EQ(lastName("a\\b.png"), "a\\b.png");
    EXPECT_TRUE(startsWith("glTF binary", "glTF"));
    EXPECT_TRUE(startsWith("glTF", ""));
    EXPECT_FALSE(startsWith("gl", "glTF"));
}

TEST(LittleEndian, readsEachWidthAtItsPlace)
{
    const std::string bytes("\x01\x02\x03\x04\x05\x06\x07\x08\xff", 9);
    EXPECT_EQ(littleEndian16(bytes, 0), 0x0201u);
    EXPECT_EQ(littleEndian32(bytes, 1), 0x05040302u);
    EXPECT_EQ(littleEndian64(bytes, 1), 0xff08070605040302ull);
    EXPECT_EQ(littleEndian(bytes, 6, 3), 0xff0807u);
    EXPECT_EQ(littleEndian(bytes.data(), 8, 1), 0xffu);
    EXPECT_EQ(littleEndian(bytes, 0, 0), 0u);
}

TEST(HexDigits, bothWays)
{
    for (unsigned v = 0; v < 16; ++v) {
        EXPECT_EQ(hexValue(upperHexDigit(v)), int(v));
        EXPECT_EQ(hexValue(lowerHexDigit(v)), int(v));
    }
    EXPECT_EQ(upperHexDigit(10), 'A');
    EXPECT_EQ(lowerHexDigit(15), 'f');
    EXPECT_EQ(hexValue('g'), -1);
    EXPECT_EQ(hexValue('%'), -1);
}

}  // namespace
