// Declared sizes against what files hold, on small files the tests write: hangs, blow-ups and files that pass.
#include "formats/import/checks/declared_sizes.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

#include "formats/import/checks/declared_formats.h"
#include "testlib/foreign_files.h"
#include "testlib/temp_dir.h"

namespace {

std::string writeFile(const std::string& name, const std::string& bytes)
{
    const std::string path = privateTempDir("zem-declared") + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

// The refusal, or "" when the file passes.
std::string refusalOf(const std::string& name, const std::string& bytes)
{
    std::string refusal;
    const bool passed = checkDeclaredSizes(writeFile(name, bytes), refusal);
    EXPECT_EQ(passed, refusal.empty()) << refusal;
    return refusal;
}

std::string le32(uint32_t value) { return std::string(reinterpret_cast<const char*>(&value), 4); }
std::string f32(float value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

const char kTriangleHeader[] = "element vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
                               "element face 1\nproperty list uchar int vertex_indices\n";

TEST(DeclaredPly, headersThatNeverEndAreRefused)
{
    // Each of these once kept the reader looking for the end of its header for ever.
    const std::string hangs[] = {
        "ply\nformat ascii end_header\n",
        std::string("ply\nformat ascii 1.0\n") + kTriangleHeader + "end_headerx\n0 0 0\n",
        std::string("ply\nformat ascii 1.0\ncomment end_header\n") + kTriangleHeader,
        "ply\nformat ascii 1.0\nelement vertex 1\nproperty float end_header\n0\n",
        std::string("ply\nformat ascii 1.0\n") + kTriangleHeader + "END_HEADER\n0 0 0\n",
        "ply\n",
    };
    for (const std::string& file : hangs)
        EXPECT_EQ(refusalOf("hang.ply", file), "its PLY header has no end_header line");
}

TEST(DeclaredPly, wellFormedHeadersPass)
{
    const std::string body = "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";
    const std::string header = std::string("ply\nformat ascii 1.0\n") + kTriangleHeader;
    EXPECT_EQ(refusalOf("a.ply", header + "end_header\n" + body), "");
    EXPECT_EQ(refusalOf("b.ply", header + "comment end_header\n  end_header \t\n" + body), "");
    // Lines ended as other systems end them.
    std::string crlf, cr;
    for (char c : header + "end_header\n" + body) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (char c : header + "end_header\n" + body) cr += c == '\n' ? '\r' : c;
    EXPECT_EQ(refusalOf("crlf.ply", crlf), "");
    EXPECT_EQ(refusalOf("cr.ply", cr), "");
    // Past a megabyte of comments, where a header once counted as cut short.
    std::string comments;
    for (int k = 0; k < 30000; ++k) comments += "comment a long header is still a header\n";
    EXPECT_EQ(refusalOf("long.ply", "ply\nformat ascii 1.0\n" + comments + kTriangleHeader + "end_header\n" + body),
              "");
}

TEST(DeclaredPly, binaryCountsAgainstTheBytesAfterTheHeader)
{
    // 500 million vertices of 12 bytes in a file of a few hundred.
    std::string file = "ply\nformat binary_little_endian 1.0\nelement vertex 500000000\nproperty float x\n"
                       "property float y\nproperty float z\nelement face 0\nproperty list uchar int vertex_indices\n"
                       "end_header\n";
    file += std::string(226 - file.size(), '\0');
    ASSERT_EQ(file.size(), 226u);
    EXPECT_EQ(refusalOf("big.ply", file), "declares 500000000 vertices, more than its 226 bytes can hold");

    // Exactly enough bytes pass, one fewer does not: 2 vertices of 3 floats, 1 face of a count alone.
    const std::string header = "ply\nformat binary_big_endian 1.0\nelement vertex 2\nproperty float x\n"
                               "property double y\nproperty uchar z\nelement face 1\n"
                               "property list uchar int vertex_indices\nend_header\n";
    const std::string exact = header + std::string(2 * 13 + 1, '\0');
    EXPECT_EQ(refusalOf("exact.ply", exact), "");
    EXPECT_EQ(refusalOf("short.ply", exact.substr(0, exact.size() - 1)),
              "declares 2 vertices and 1 face, more than its " + std::to_string(exact.size() - 1) + " bytes can hold");
}

TEST(DeclaredPly, textCountsAgainstTheLeastTextTheyTake)
{
    // Three values and their separators at least, but the last separator may be missing.
    const std::string header = "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                               "property float z\nend_header\n";
    EXPECT_EQ(refusalOf("least.ply", header + "0 0 0 0 0 0 0 0 0"), "");
    EXPECT_EQ(refusalOf("less.ply", header + "0 0 0 0 0 0 0 00"),
              "declares 3 vertices, more than its " + std::to_string(header.size() + 16) + " bytes can hold");
    // Elements with nothing in them count too, and counts too long for any number saturate.
    const std::string empty = "ply\nformat ascii 1.0\nelement nothing 1000\nend_header\n";
    EXPECT_EQ(refusalOf("empty.ply", empty),
              "declares 1000 'nothing' elements, more than its " + std::to_string(empty.size()) + " bytes can hold");
    EXPECT_NE(refusalOf("huge.ply", "ply\nformat ascii 1.0\nelement vertex 99999999999999999999999999\n"
                                    "property float x\nend_header\n0\n"),
              "");
}

TEST(DeclaredOff, countsAgainstTheFileSize)
{
    std::string file = "OFF\n3500000000 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";
    file += "# " + std::string(309 - file.size() - 3, 'x') + "\n";
    ASSERT_EQ(file.size(), 309u);
    EXPECT_EQ(refusalOf("big.off", file), "declares 3500000000 vertices, more than its 309 bytes can hold");
    const std::string faces = "OFF\n3 90000000 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";
    EXPECT_EQ(refusalOf("faces.off", faces),
              "declares 90000000 faces, more than its " + std::to_string(faces.size()) + " bytes can hold");
    EXPECT_EQ(refusalOf("ok.off", "# a comment\nOFF\n\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"), "");
    EXPECT_EQ(refusalOf("inline.off", "COFF 3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"), "");
    // Told by its first word whatever its name, as the reader tells it.
    EXPECT_NE(refusalOf("named.txt", "OFF\n3500000000 1 0\n"), "");
}

TEST(DeclaredStl, binaryTriangleCountAgainstTheFileSize)
{
    std::string triangle;
    for (int k = 0; k < 12; ++k) triangle += f32(k % 3 == 2 ? 1.0f : 0.0f);
    triangle += std::string(2, '\0');
    const std::string header(80, ' ');
    EXPECT_EQ(refusalOf("one.stl", header + le32(1) + triangle), "");
    EXPECT_EQ(refusalOf("many.stl", header + le32(100000000) + triangle + triangle),
              "declares 100000000 triangles, more than its 184 bytes can hold");
    // A binary header may begin with "solid" too: its zeros tell it from text.
    EXPECT_NE(refusalOf("solid.stl", "solid x" + std::string(73, '\0') + le32(100000000) + triangle), "");
    EXPECT_EQ(refusalOf("text.stl", "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
                                    "vertex 0 1 0\nendloop\nendfacet\nendsolid t\n"),
              "");
}

// A GLB 2: header, a JSON chunk padded with spaces, and a binary chunk.
std::string glb(const std::string& json, const std::string& binary, uint32_t jsonLength = 0)
{
    std::string padded = json + std::string((4 - json.size() % 4) % 4, ' ');
    std::string body = le32(jsonLength ? jsonLength : uint32_t(padded.size())) + "JSON" + padded;
    if (!binary.empty()) body += le32(uint32_t(binary.size())) + std::string("BIN\0", 4) + binary;
    return "glTF" + le32(2) + le32(uint32_t(12 + body.size())) + body;
}

TEST(DeclaredGlb, lengthsAgainstTheFileSize)
{
    const std::string json = R"({"asset":{"version":"2.0"},"buffers":[{"byteLength":12}]})";
    const std::string good = glb(json, std::string(12, '\0'));
    EXPECT_EQ(refusalOf("good.glb", good), "");

    std::string hostile = glb(json, std::string(12, '\0'), 0xffffffff);
    hostile += std::string(424 - hostile.size(), '\0');
    hostile.replace(8, 4, le32(424));
    EXPECT_EQ(refusalOf("chunk.glb", hostile),
              "its JSON chunk declares 4294967295 bytes, more than its 424 bytes can hold");

    std::string longer = good;
    longer.replace(8, 4, le32(1 << 30));
    EXPECT_EQ(refusalOf("length.glb", longer),
              "its header declares 1073741824 bytes, more than its " + std::to_string(good.size()) + " bytes can hold");
    std::string binary = good;
    binary.replace(binary.size() - 20, 4, le32(1000));
    EXPECT_NE(refusalOf("binary.glb", binary).find("its binary chunk declares 1000 bytes"), std::string::npos);
    // The buffer's length against the binary chunk it stands for.
    EXPECT_EQ(refusalOf("buffer.glb", glb(json, std::string(8, '\0'))),
              "buffer 0 declares 12 bytes, more than the 8 of its data");
}

TEST(DeclaredGltf, buffersViewsAndAccessorsAgainstEachOther)
{
    const std::string uri = R"("uri":"data:application/octet-stream;base64,AAAAAAAAAAAAAAAA")";  // 12 bytes
    const auto gltf = [&](const std::string& buffer, const std::string& view, const std::string& accessor) {
        return R"({"asset":{"version":"2.0"},"buffers":[{)" + buffer + R"(}],"bufferViews":[{"buffer":0,)" + view +
               R"(}],"accessors":[{"componentType":5126,"type":"VEC3",)" + accessor + "}]}";
    };
    EXPECT_EQ(
        refusalOf("ok.gltf", gltf(uri + R"(,"byteLength":12)", R"("byteLength":12)", R"("bufferView":0,"count":1)")),
        "");
    EXPECT_EQ(refusalOf("buffer.gltf", gltf(uri + R"(,"byteLength":4000000000)", R"("byteLength":12)", R"("count":1)")),
              "buffer 0 declares 4000000000 bytes, more than the 12 of its data");
    EXPECT_EQ(
        refusalOf("view.gltf", gltf(uri + R"(,"byteLength":12)", R"("byteOffset":4,"byteLength":12)", R"("count":1)")),
        "buffer view 0 reaches past the end of its buffer");
    // Strided values: the last starts a stride after the one before and is 12 bytes long.
    const std::string strided = R"("byteLength":48,"byteStride":16)";
    EXPECT_EQ(refusalOf("fits.gltf", gltf(R"("byteLength":48)", strided, R"("bufferView":0,"count":3)")),
              "buffer 0 declares 48 bytes but has no data");
    const std::string file48 = writeFile("data48.bin", std::string(48, '\0'));
    const std::string external = R"("uri":"data48.bin","byteLength":48)";
    EXPECT_EQ(refusalOf("fits.gltf", gltf(external, strided, R"("bufferView":0,"count":3)")), "");
    EXPECT_EQ(refusalOf("past.gltf", gltf(external, strided, R"("bufferView":0,"byteOffset":5,"count":3)")),
              "accessor 0 declares 3 elements, more than its buffer view holds");
    EXPECT_EQ(refusalOf("many.gltf", gltf(external, strided, R"("bufferView":0,"count":1000000000)")),
              "accessor 0 declares 1000000000 elements, more than its buffer view holds");
    EXPECT_EQ(refusalOf("zeros.gltf", gltf(external, strided, R"("count":1000000000)")),
              "accessor 0 declares 1000000000 elements with no buffer view, more than all its buffers hold");
    EXPECT_EQ(refusalOf("sparse.gltf", gltf(external, strided, R"("count":1,"sparse":{"count":5})")),
              "accessor 0 declares more sparse elements than elements");
    EXPECT_EQ(refusalOf("file.gltf", gltf(R"("uri":"data48.bin","byteLength":49)", strided, R"("count":1)")),
              "buffer 0 declares 49 bytes, more than the 48 of its data");
    // A file that is not there is the reader's to report.
    EXPECT_EQ(refusalOf("absent.gltf", gltf(R"("uri":"absent.bin","byteLength":49)", strided, R"("count":1)")), "");
}

std::string nodesGltf(const std::string& nodes) { return R"({"asset":{"version":"2.0"},"nodes":)" + nodes + "}"; }

std::string chain(int depth)
{
    std::string nodes = "[";
    for (int k = 0; k < depth; ++k) nodes += k + 1 < depth ? R"({"children":[)" + std::to_string(k + 1) + "]}," : "{}";
    return nodes + "]";
}

TEST(DeclaredGltf, nodeTreeMustBeATree)
{
    EXPECT_EQ(refusalOf("tree.gltf", nodesGltf(R"([{"children":[1,2]},{},{"children":[3]},{}])")), "");
    EXPECT_EQ(refusalOf("twice.gltf", nodesGltf(R"([{"children":[1,1]},{}])")),
              "node 1 is named as a child more than once");
    EXPECT_EQ(refusalOf("parents.gltf", nodesGltf(R"([{"children":[2]},{"children":[2]},{}])")),
              "node 2 is named as a child more than once");
    EXPECT_EQ(refusalOf("self.gltf", nodesGltf(R"([{"children":[0]}])")),
              "its nodes are their own ancestors (a cycle)");
    EXPECT_EQ(refusalOf("cycle.gltf", nodesGltf(R"([{},{"children":[2]},{"children":[1]}])")),
              "its nodes are their own ancestors (a cycle)");
    EXPECT_EQ(refusalOf("deep.gltf", nodesGltf(chain(1000))), "");
    EXPECT_EQ(refusalOf("deeper.gltf", nodesGltf(chain(1001))), "its node tree nests deeper than 1000 levels");

    // About 1.4 KB: each node names the next one twice, so that a reader that copies makes 2^60 nodes.
    std::string doubling = "[";
    for (int k = 0; k < 60; ++k)
        doubling += R"({"children":[)" + std::to_string(k + 1) + "," + std::to_string(k + 1) + "]},";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(refusalOf("doubling.gltf", nodesGltf(doubling + "{}]")), "node 1 is named as a child more than once");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5);

    // glTF 1 names its nodes by key.
    EXPECT_EQ(refusalOf("keyed.gltf", R"({"nodes":{"a":{"children":["b","b"]},"b":{}}})"),
              "node 'b' is named as a child more than once");
    EXPECT_EQ(refusalOf("keyed-tree.gltf", R"({"nodes":{"a":{"children":["b"]},"b":{}}})"), "");
}

TEST(DeclaredGltf, jsonNestingAndGrammar)
{
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_EQ(refusalOf("nested.gltf", R"({"asset":{},"extras":)" + deep + "}"),
              "its JSON nests deeper than 1000 levels");
    EXPECT_EQ(refusalOf("fine.gltf", std::string(999, '[') + std::string(999, ']')), "");
    const std::string malformed[] = {R"({"a":1,})",      R"({"a" 1})",   R"([1 2])",    R"({"a":01})",   R"({"a":"b)",
                                     "{\"a\":\"\x01\"}", R"({"a":tru})", R"({"a":1}x)", R"({"a":"\q"})", ""};
    for (const std::string& text : malformed)
        EXPECT_EQ(refusalOf("bad.gltf", text).compare(0, 23, "its JSON is malformed a"), 0) << text;
    EXPECT_EQ(refusalOf("escapes.gltf", "\xef\xbb\xbf {\"k\\u00e8\\ud83d\\ude00\":[true,false,null,-1.5e+3,\"\\/\"]} "),
              "");
}

std::string nestedXml(int depth, const std::string& inner)
{
    std::string text = "<?xml version=\"1.0\"?>\n<!-- <a><a><a> in a comment -->";
    for (int k = 0; k < depth; ++k) text += "<node id=\"n>" + std::to_string(k) + "\" name='/>'>";
    text += inner;
    for (int k = 0; k < depth; ++k) text += "</node>";
    return text;
}

TEST(DeclaredXml, nestingIsBounded)
{
    // Tags that open nothing, and text that looks like tags, do not count.
    const std::string flat = "<empty/><![CDATA[<a><a>]]><?pi <a>?><!DOCTYPE x>";
    EXPECT_EQ(refusalOf("fine.dae", nestedXml(1000, flat)), "");
    EXPECT_EQ(refusalOf("deep.dae", nestedXml(1001, flat)), "its XML nests deeper than 1000 levels");
    EXPECT_EQ(refusalOf("deeper.dae", nestedXml(100000, "")), "its XML nests deeper than 1000 levels");
}

TEST(DeclaredXml, nestingIsCountedAcrossPieces)
{
    // Every mark split at every place: a comment's or a section's end, a quote, a "/>".
    const std::string flat = "<empty/><![CDATA[<a>]]]><!--<a>--><?pi <a>?><!DOCTYPE x><b attr='>'/>";
    for (std::size_t piece : {1, 2, 3, 7}) {
        for (int depth : {1000, 1001}) {
            const std::string text = nestedXml(depth, flat);
            declared::XmlNesting nesting;
            bool passed = true;
            for (std::size_t at = 0; at < text.size() && passed; at += piece)
                passed = nesting.feed(text.data() + at, std::min(piece, text.size() - at));
            EXPECT_EQ(passed, depth == 1000) << piece << " " << depth;
        }
    }
}

std::string hostilePly(const std::string& magic)
{
    return magic +
           "\nformat binary_little_endian 1.0\nelement vertex 100000000\nproperty float x\n"
           "property float y\nproperty float z\nend_header\n" +
           std::string(64, '\0');
}

TEST(DeclaredContent, toldByItsBytesWhateverItsName)
{
    // The PLY reader takes its word in any case; a file that another names is read by that name.
    for (const char* magic : {"ply", "PLY", "Ply", "pLy"}) {
        const std::string ply = hostilePly(magic);
        const std::string why =
            "declares 100000000 vertices, more than its " + std::to_string(ply.size()) + " bytes can hold";
        for (const char* name : {"scan.ply", "scan.obj", "scan", "layer.lwo"})
            EXPECT_EQ(refusalOf(name, ply), why) << magic;
    }
    // Bytes that carry no signature are told by a name in any case.
    std::string stl = std::string(80, 'x');
    stl += std::string("\x00\xe1\xf5\x05", 4) + std::string(50, '\0');  // 100000000 triangles
    EXPECT_NE(refusalOf("PART.STL", stl), "");
    EXPECT_EQ(refusalOf("part.bin", stl), "");
    // Named so, the bytes are read as that format even where they show another.
    EXPECT_NE(refusalOf("xml.stl", "<" + stl.substr(1)), "");
    EXPECT_EQ(refusalOf("xml.fbx", "<a>" + std::string(2000, '{')), "its FBX nodes nest deeper than 1000 levels");
    EXPECT_EQ(refusalOf("Headerless.Off", "2000000000 1 0\n0 0 0\n3 0 0 0\n"),
              "declares 2000000000 vertices, more than its 29 bytes can hold");
    EXPECT_EQ(refusalOf("headerless.off", "3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"), "");
    // A top-level array is JSON to the glTF readers' parser, whatever the name.
    EXPECT_EQ(refusalOf("deep.bin", std::string(5000, '[') + std::string(5000, ']')),
              "its JSON nests deeper than 1000 levels");
    // Binary data that only starts with a brace, as a glTF buffer may, is no JSON; named glTF, it is.
    const std::string brace = "{" + std::string("\x00\x00\x80\x3f\x00\x00\x00\x40", 8);
    EXPECT_EQ(refusalOf("buffer.bin", brace), "");
    EXPECT_EQ(refusalOf("scene.GLTF", brace), "its JSON is malformed at byte 1");
}

TEST(DeclaredContent, byDescriptorAsHandedOver)
{
    const std::string path = writeFile("handed.ply", hostilePly("Ply"));
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::string refusal;
    EXPECT_FALSE(checkDeclaredContent(fd, "nested.lwo", refusal));
    EXPECT_EQ(refusal.compare(0, 30, "declares 100000000 vertices, m"), 0) << refusal;
    // The descriptor is the caller's, where it was: still open and at its start.
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0);
    char first = 0;
    EXPECT_EQ(read(fd, &first, 1), 1);
    EXPECT_EQ(first, 'P');
    close(fd);

    const std::string fifo = privateTempDir("zem-declared") + "/handed.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int pipe = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(pipe, 0);
    EXPECT_FALSE(checkDeclaredContent(pipe, "handed.ply", refusal));
    EXPECT_EQ(refusal, "not a regular file");
    close(pipe);
}

std::string withField(std::string bytes, std::size_t at, uint32_t value)
{
    bytes.replace(at, 4, le32(value));
    return bytes;
}

TEST(DeclaredZip, entriesAgainstTheirSizesAndTheirXml)
{
    const std::string png = "\x89PNG\r\n\x1a\n" + std::string(3000, '\x7f');
    EXPECT_EQ(refusalOf("fine.zae", zipArchive({{"scene.dae", nestedXml(1000, "")}, {"wood.png", png}})), "");
    EXPECT_EQ(refusalOf("deep.zae", zipArchive({{"wood.png", png}, {"scene.dae", nestedXml(1001, "")}})),
              "its zip entry 'scene.dae': its XML nests deeper than 1000 levels");
    EXPECT_EQ(refusalOf("stored.3mf", zipArchive({{"3D/model.model", nestedXml(1001, ""), false}})),
              "its zip entry '3D/model.model': its XML nests deeper than 1000 levels");

    // Sizes: more than deflate can make of its bytes, more than it holds, stored unlike its bytes.
    const std::string text(100000, 'a');
    const std::string lie = zipArchive({{"a.xml", text, true, 4000000000u}});
    EXPECT_NE(refusalOf("lie.zip", lie).find("its zip entry 'a.xml' declares 4000000000 bytes from "),
              std::string::npos);
    EXPECT_EQ(refusalOf("more.zip", zipArchive({{"a.xml", "<a>" + text + "</a>", true, 50000}})),
              "its zip entry 'a.xml' holds more than the 50000 bytes it declares");
    EXPECT_EQ(refusalOf("stored.zip", zipArchive({{"a.bin", text, false, 100001}})),
              "its zip entry 'a.bin' declares 100001 bytes from 100000, stored as they are");

    // The directory and the entries' bytes within the file.
    const std::string zip = zipArchive({{"a.bin", text, false}});
    const std::size_t central = zip.find("PK\x01\x02");
    EXPECT_EQ(refusalOf("compressed.zip", withField(zip, central + 20, 0x7fffffff)),
              "its zip entry 'a.bin' declares 2147483647 compressed bytes, more than its " +
                  std::to_string(zip.size()) + " bytes can hold");
    EXPECT_EQ(refusalOf("header.zip", withField(zip, central + 42, 7)),
              "its zip entry 'a.bin' has no header where the directory says");
    EXPECT_EQ(refusalOf("directory.zip", withField(zip, zip.size() - 6, 0x7fffff00))
                  .compare(0, 26, "its zip directory declares"),
              0);
}

TEST(DeclaredFbx, nodesWithinTheirParentsAndNestingBounded)
{
    EXPECT_EQ(refusalOf("fine.fbx", binaryFbxChain(1000)), "");
    EXPECT_EQ(refusalOf("deep.bin", binaryFbxChain(1001)), "its FBX nodes nest deeper than 1000 levels");
    const std::string fbx = binaryFbxChain(3);
    EXPECT_EQ(refusalOf("past.fbx", withField(fbx, 27, 0x7fffffff)),
              "its FBX node at byte 27 declares its end at byte 2147483647, outside the file");
    // The child at 44 ends where its parent does, over the zeros that end the parent's children.
    const uint32_t parentEnd = uint32_t(fbx.size() - 13);
    EXPECT_EQ(refusalOf("child.fbx", withField(fbx, 44, parentEnd)),
              "its FBX node at byte 44 declares its end at byte " + std::to_string(parentEnd) + ", outside its parent");
    EXPECT_EQ(refusalOf("properties.fbx", withField(fbx, 27 + 8, 1000)),
              "its FBX node at byte 27 declares 1000 bytes of properties, past its end");
}

std::string textFbx(int depth)
{
    // Braces in comments and strings open nothing.
    std::string text = "; FBX 7.4.0 project file\n; {{{{\nCreator: \"{{{{\"\n";
    for (int k = 0; k < depth; ++k) text += "Node: {\n";
    return text + std::string(depth, '}');
}

TEST(DeclaredFbx, textBracesNestingBounded)
{
    EXPECT_EQ(refusalOf("fine.fbx", textFbx(1000)), "");
    EXPECT_EQ(refusalOf("deep.txt", textFbx(1001)), "its FBX nodes nest deeper than 1000 levels");
    EXPECT_EQ(refusalOf("Deep.FBX", "Node: {" + std::string(2000, '{')), "its FBX nodes nest deeper than 1000 levels");
    // Other text that nests braces is no FBX to its reader.
    EXPECT_EQ(refusalOf("braces.txt", "text " + std::string(2000, '{')), "");
}

TEST(DeclaredSizes, onlyRegularFilesAndNeverWaited)
{
    const std::string fifo = privateTempDir("zem-declared") + "/model.ply";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string refusal;
    EXPECT_FALSE(checkDeclaredSizes(fifo, refusal));
    EXPECT_EQ(refusal, "not a regular file");
    EXPECT_FALSE(checkDeclaredSizes(privateTempDir("zem-declared") + "/absent.ply", refusal));
    EXPECT_EQ(refusal, std::strerror(ENOENT));
    EXPECT_EQ(refusalOf("model.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"), "");
}

}  // namespace
