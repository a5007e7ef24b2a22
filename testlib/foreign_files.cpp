// Foreign model files for the import tests: OBJ, binary PLY, binary STL, GLB and COLLADA, written here.
#include "testlib/foreign_files.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>

#include <zlib.h>

#include "testlib/little_endian.h"

namespace {

// glTF's factors are linear light: the light of the sRGB colour c, written as a factor, shows as c.
std::string linearText(const Rgb& c)
{
    std::ostringstream out;
    out.precision(9);
    for (int k = 0; k < 3; ++k)
        out << (k ? "," : "") << (c[k] <= 0.04045f ? c[k] / 12.92 : std::pow((c[k] + 0.055) / 1.055, 2.4));
    return out.str();
}

std::string colourText(const Rgb& c)
{
    std::ostringstream out;
    out << c[0] << ' ' << c[1] << ' ' << c[2];
    return out.str();
}

void putStlTriangle(std::string& bytes, const Point& a, const Point& b, const Point& c)
{
    for (int k = 0; k < 3; ++k) putLittleEndian(bytes, 0.0f);  // the normal: readers compute their own
    for (const Point* p : {&a, &b, &c})
        for (float v : *p) putLittleEndian(bytes, v);
    putLittleEndian(bytes, uint16_t(0));
}

std::string stlFile(const std::vector<std::array<Point, 3>>& triangles)
{
    std::string bytes(80, ' ');
    std::memcpy(&bytes[0], "binary file of the import tests", 31);
    putLittleEndian(bytes, static_cast<uint32_t>(triangles.size()));
    for (const auto& t : triangles) putStlTriangle(bytes, t[0], t[1], t[2]);
    return bytes;
}

}  // namespace

// Object "Workshop": a quad of material warm; an L-shaped hexagon of material cool that starts at
// a corner whose fan would leave the L; a line through 3 points and a point, both of cool.
std::string objScene()
{
    return "# import test scene\n"
           "mtllib scene.mtl\n"
           "o Workshop\n"
           "v 0 0 0\nv 40 0 0\nv 40 20 0\nv 0 20 0\n"
           "v 0 0 10\nv 30 0 10\nv 30 10 10\nv 10 10 10\nv 10 30 10\nv 0 30 10\n"
           "v 0 0 50\nv 20 0 50\nv 20 20 50\n"
           "v 5 5 5\n"
           "usemtl warm\n"
           "f 1 2 3 4\n"
           "usemtl cool\n"
           "f 7 8 9 10 5 6\n"
           "l 11 12 13\n"
           "p 14\n";
}

std::string objMaterials()
{
    return "newmtl warm\nKd " + colourText(kObjWarm) + "\nnewmtl cool\nKd " + colourText(kObjCool) + "\n";
}

// A cube from -1 to 1 with six quads; the top four vertices (y = 1) are coloured (255, 255, 77),
// the bottom four (0, 0, 153), so the sides take the mean of both.
std::string plyCubeWithVertexColours()
{
    std::string bytes = "ply\nformat binary_little_endian 1.0\ncomment made by the import tests\n"
                        "element vertex 8\nproperty float x\nproperty float y\nproperty float z\n"
                        "property uchar red\nproperty uchar green\nproperty uchar blue\n"
                        "element face 6\nproperty list uchar int vertex_indices\nend_header\n";
    for (int i = 0; i < 8; ++i) {
        const float x = (i & 1) ? 1.f : -1.f, y = (i & 2) ? 1.f : -1.f, z = (i & 4) ? 1.f : -1.f;
        putLittleEndian(bytes, x);
        putLittleEndian(bytes, y);
        putLittleEndian(bytes, z);
        const bool top = y > 0;
        for (uint8_t c : top ? std::array<uint8_t, 3>{255, 255, 77} : std::array<uint8_t, 3>{0, 0, 153})
            putLittleEndian(bytes, c);
    }
    const int faces[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    for (const auto& face : faces) {
        putLittleEndian(bytes, uint8_t(4));
        for (int i : face) putLittleEndian(bytes, int32_t(i));
    }
    return bytes;
}

// Four triangles on the corners (0,0,0), (20,0,0), (0,20,0), (0,0,20); no colours.
std::string stlTetrahedron()
{
    const Point o{0, 0, 0}, x{20, 0, 0}, y{0, 20, 0}, z{0, 0, 20};
    return stlFile({{o, y, x}, {o, x, z}, {o, z, y}, {x, y, z}});
}

// Scene "Village": node House (translation 100, 0, 0) holds RoofNode (scale 2) with mesh Roof, a
// quad of two triangles at z = 0 from (0,0) to (10,10), material roof; and WireNode (translation
// 0, 10, 0) with mesh Wire, lines (0,0,0)-(0,0,10)-(10,0,10) of material wire, and under it
// DotNode with two points.
std::string glbScene()
{
    std::string bin;
    const float roof[] = {0, 0, 0, 10, 0, 0, 10, 10, 0, 0, 10, 0};
    const uint16_t roofIndices[] = {0, 1, 2, 0, 2, 3};
    const float wire[] = {0, 0, 0, 0, 0, 10, 10, 0, 10};
    const uint16_t wireIndices[] = {0, 1, 1, 2};
    const float dots[] = {1, 1, 1, 2, 2, 2};
    struct View {
        std::size_t offset, length;
    };
    std::vector<View> views;
    const auto add = [&](const void* data, std::size_t size) {
        while (bin.size() % 4) bin.push_back('\0');
        views.push_back({bin.size(), size});
        bin.append(static_cast<const char*>(data), size);
    };
    add(roof, sizeof roof);
    add(roofIndices, sizeof roofIndices);
    add(wire, sizeof wire);
    add(wireIndices, sizeof wireIndices);
    add(dots, sizeof dots);
    while (bin.size() % 4) bin.push_back('\0');

    std::ostringstream json;
    json
        << R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"name":"Village","nodes":[0]}],)"
        << R"("nodes":[{"name":"House","translation":[100,0,0],"children":[1,2]},)"
        << R"({"name":"RoofNode","scale":[2,2,2],"mesh":0},)"
        << R"({"name":"WireNode","translation":[0,10,0],"mesh":1,"children":[3]},)"
        << R"({"name":"DotNode","mesh":2}],)"
        << R"("meshes":[{"name":"Roof","primitives":[{"attributes":{"POSITION":0},"indices":1,"material":0,"mode":4}]},)"
        << R"({"name":"Wire","primitives":[{"attributes":{"POSITION":2},"indices":3,"material":1,"mode":1}]},)"
        << R"({"name":"Dots","primitives":[{"attributes":{"POSITION":4},"mode":0}]}],)"
        << R"("materials":[{"name":"roof","pbrMetallicRoughness":{"baseColorFactor":[)" << linearText(kGlbRoof)
        << R"(,1],"metallicFactor":0}},)"
        << R"({"name":"wire","pbrMetallicRoughness":{"baseColorFactor":[)" << linearText(kGlbWire)
        << R"(,1],"metallicFactor":0}}],)"
        << R"("accessors":[)"
        << R"({"bufferView":0,"componentType":5126,"count":4,"type":"VEC3","min":[0,0,0],"max":[10,10,0]},)"
        << R"({"bufferView":1,"componentType":5123,"count":6,"type":"SCALAR"},)"
        << R"({"bufferView":2,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[10,0,10]},)"
        << R"({"bufferView":3,"componentType":5123,"count":4,"type":"SCALAR"},)"
        << R"({"bufferView":4,"componentType":5126,"count":2,"type":"VEC3","min":[1,1,1],"max":[2,2,2]}],)"
        << R"("bufferViews":[)";
    for (std::size_t i = 0; i < views.size(); ++i)
        json << (i ? "," : "") << R"({"buffer":0,"byteOffset":)" << views[i].offset << R"(,"byteLength":)"
             << views[i].length << '}';
    json << R"(],"buffers":[{"byteLength":)" << bin.size() << "}]}";
    std::string text = json.str();
    while (text.size() % 4) text.push_back(' ');

    std::string glb;
    putLittleEndian(glb, uint32_t(0x46546C67));  // "glTF"
    putLittleEndian(glb, uint32_t(2));
    putLittleEndian(glb, static_cast<uint32_t>(12 + 8 + text.size() + 8 + bin.size()));
    putLittleEndian(glb, static_cast<uint32_t>(text.size()));
    putLittleEndian(glb, uint32_t(0x4E4F534A));  // "JSON"
    glb += text;
    putLittleEndian(glb, static_cast<uint32_t>(bin.size()));
    putLittleEndian(glb, uint32_t(0x004E4942));  // "BIN"
    glb += bin;
    return glb;
}

// Scene "Yard": geometry panel, a pentagon (0,0,0) (10,0,0) (10,10,0) (5,15,0) (0,10,0) and the line
// (0,0,0)-(10,10,0), material wall; placed three times: node Left (translate -20, 0, 0), node Right
// (a matrix turning 90 degrees about y, then moving 20 along x), and Chimney under Right (translate
// 0, 20, 0).
std::string colladaScene()
{
    const std::string instance =
        R"(<instance_geometry url="#panel"><bind_material><technique_common>)"
        R"(<instance_material symbol="wallmat" target="#wall"/></technique_common></bind_material></instance_geometry>)";
    return R"(<?xml version="1.0" encoding="utf-8"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
  <asset><unit name="meter" meter="1"/><up_axis>Y_UP</up_axis></asset>
  <library_effects>
    <effect id="wall-fx"><profile_COMMON><technique sid="common"><lambert>
      <diffuse><color>)" +
           colourText(kDaeWall) + R"( 1</color></diffuse>
    </lambert></technique></profile_COMMON></effect>
  </library_effects>
  <library_materials><material id="wall" name="wall"><instance_effect url="#wall-fx"/></material></library_materials>
  <library_geometries>
    <geometry id="panel" name="panel"><mesh>
      <source id="panel-pos">
        <float_array id="panel-pos-array" count="15">0 0 0 10 0 0 10 10 0 0 10 0 5 15 0</float_array>
        <technique_common><accessor source="#panel-pos-array" count="5" stride="3">
          <param name="X" type="float"/><param name="Y" type="float"/><param name="Z" type="float"/>
        </accessor></technique_common>
      </source>
      <vertices id="panel-vtx"><input semantic="POSITION" source="#panel-pos"/></vertices>
      <polylist material="wallmat" count="1">
        <input semantic="VERTEX" source="#panel-vtx" offset="0"/><vcount>5</vcount><p>0 1 2 4 3</p>
      </polylist>
      <lines material="wallmat" count="1"><input semantic="VERTEX" source="#panel-vtx" offset="0"/><p>0 2</p></lines>
    </mesh></geometry>
  </library_geometries>
  <library_visual_scenes>
    <visual_scene id="yard" name="Yard">
      <node id="left" name="Left"><translate>-20 0 0</translate>)" +
           instance + R"(</node>
      <node id="right" name="Right"><matrix>0 0 1 20  0 1 0 0  -1 0 0 0  0 0 0 1</matrix>)" +
           instance + R"(
        <node id="chimney" name="Chimney"><translate>0 20 0</translate>)" +
           instance + R"(</node>
      </node>
    </visual_scene>
  </library_visual_scenes>
  <scene><instance_visual_scene url="#yard"/></scene>
</COLLADA>
)";
}

TriangleMesh torusKnot(int along, int around)
{
    const double pi = std::acos(-1.0);
    const auto centre = [](double t) {
        return std::array<double, 3>{(2 + 0.8 * std::cos(3 * t)) * std::cos(2 * t),
                                     (2 + 0.8 * std::cos(3 * t)) * std::sin(2 * t), 0.8 * std::sin(3 * t)};
    };
    TriangleMesh mesh;
    for (int i = 0; i < along; ++i) {
        const double t = 2 * pi * i / along;
        const std::array<double, 3> c = centre(t), ahead = centre(t + 1e-4);
        std::array<double, 3> tangent{}, side{}, normal{};
        for (int k = 0; k < 3; ++k) tangent[k] = ahead[k] - c[k];
        // side = tangent x z, normal = side x tangent: a frame around the tube, never degenerate
        // since the knot never runs along z.
        side = {tangent[1], -tangent[0], 0};
        const double sideLength = std::hypot(side[0], side[1]);
        for (double& v : side) v /= sideLength;
        normal = {side[1] * tangent[2] - side[2] * tangent[1], side[2] * tangent[0] - side[0] * tangent[2],
                  side[0] * tangent[1] - side[1] * tangent[0]};
        const double normalLength = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
        for (double& v : normal) v /= normalLength;
        // The hue turns once along the knot: red, yellow, green, cyan, blue, magenta.
        const double h = 6.0 * i / along;
        const auto channel = [&](double offset) {
            const double x = std::fmod(h + offset, 6.0);
            return static_cast<float>(x < 1 ? x : x < 3 ? 1 : x < 4 ? 4 - x : 0);
        };
        const Rgb colour{channel(2), channel(0), channel(4)};
        for (int j = 0; j < around; ++j) {
            const double a = 2 * pi * j / around;
            Point p;
            for (int k = 0; k < 3; ++k)
                p[k] = static_cast<float>(c[k] + 0.35 * (std::cos(a) * side[k] + std::sin(a) * normal[k]));
            mesh.positions.push_back(p);
            mesh.colours.push_back(colour);
        }
    }
    for (int i = 0; i < along; ++i)
        for (int j = 0; j < around; ++j) {
            const uint32_t a = uint32_t(i * around + j), b = uint32_t(i * around + (j + 1) % around);
            const uint32_t c = uint32_t((i + 1) % along * around + j),
                           d = uint32_t((i + 1) % along * around + (j + 1) % around);
            mesh.triangles.push_back({a, c, d});
            mesh.triangles.push_back({a, d, b});
        }
    return mesh;
}

std::string binaryPly(const TriangleMesh& mesh)
{
    std::string bytes =
        "ply\nformat binary_little_endian 1.0\nelement vertex " + std::to_string(mesh.positions.size()) +
        "\nproperty float x\nproperty float y\nproperty float z\n"
        "property uchar red\nproperty uchar green\nproperty uchar blue\n"
        "element face " +
        std::to_string(mesh.triangles.size()) + "\nproperty list uchar int vertex_indices\nend_header\n";
    for (std::size_t i = 0; i < mesh.positions.size(); ++i) {
        for (float v : mesh.positions[i]) putLittleEndian(bytes, v);
        for (float c : mesh.colours[i]) putLittleEndian(bytes, static_cast<uint8_t>(std::lround(c * 255)));
    }
    for (const auto& t : mesh.triangles) {
        putLittleEndian(bytes, uint8_t(3));
        for (uint32_t i : t) putLittleEndian(bytes, static_cast<int32_t>(i));
    }
    return bytes;
}

namespace {

std::string deflated(const std::string& bytes)
{
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, bytes.size()) + 16, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(out.size() - stream.avail_out);
    deflateEnd(&stream);
    return out;
}

}  // namespace

std::string zipArchive(const std::vector<ZipEntry>& entries)
{
    std::string local, central;
    for (const ZipEntry& e : entries) {
        const std::string data = e.deflated ? deflated(e.bytes) : e.bytes;
        std::string common;
        putLittleEndian(common, uint16_t(20));  // version needed
        putLittleEndian(common, uint16_t(0));   // flags
        putLittleEndian(common, uint16_t(e.deflated ? 8 : 0));
        putLittleEndian(common, uint32_t(0));  // time and date
        putLittleEndian(common, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(e.bytes.data()),
                                                            static_cast<uInt>(e.bytes.size()))));
        putLittleEndian(common, static_cast<uint32_t>(data.size()));
        putLittleEndian(common, e.declaredSize ? e.declaredSize : static_cast<uint32_t>(e.bytes.size()));
        putLittleEndian(common, static_cast<uint16_t>(e.name.size()));
        putLittleEndian(common, uint16_t(0));  // extra field
        putLittleEndian(central, uint32_t(0x02014b50));
        putLittleEndian(central, uint16_t(20));
        central += common;
        for (int k = 0; k < 3; ++k) putLittleEndian(central, uint16_t(0));  // comment, disk, internal attributes
        putLittleEndian(central, uint32_t(0));                              // external attributes
        putLittleEndian(central, static_cast<uint32_t>(local.size()));
        central += e.name;
        putLittleEndian(local, uint32_t(0x04034b50));
        local += common + e.name + data;
    }
    std::string end;
    putLittleEndian(end, uint32_t(0x06054b50));
    putLittleEndian(end, uint32_t(0));  // disks
    putLittleEndian(end, static_cast<uint16_t>(entries.size()));
    putLittleEndian(end, static_cast<uint16_t>(entries.size()));
    putLittleEndian(end, static_cast<uint32_t>(central.size()));
    putLittleEndian(end, static_cast<uint32_t>(local.size()));
    putLittleEndian(end, uint16_t(0));
    return local + central + end;
}

std::string binaryFbxChain(int depth)
{
    // Each record: its end (an offset in the file), its properties' count and bytes, its name; the
    // innermost has one property (an 'I' and 4 bytes), each other one its child and the 13 zeros
    // that end the children. Written in a loop: a chain may be far deeper than a stack.
    const std::string name = "Node", property = std::string("I") + std::string(4, '\1');
    const uint64_t header = 13 + name.size(), first = 27;
    std::string bytes("Kaydara FBX Binary  \0\x1a\0", 23);
    putLittleEndian(bytes, uint32_t(7400));
    for (int k = 0; k < depth; ++k) {
        const uint64_t innermostEnd = first + header * depth + property.size();
        const bool innermost = k + 1 == depth;
        putLittleEndian(bytes, static_cast<uint32_t>(innermostEnd + 13 * (depth - 1 - k)));
        putLittleEndian(bytes, uint32_t(innermost ? 1 : 0));
        putLittleEndian(bytes, static_cast<uint32_t>(innermost ? property.size() : 0));
        putLittleEndian(bytes, static_cast<uint8_t>(name.size()));
        bytes += name;
    }
    bytes += property + std::string(13 * (depth - 1), '\0');
    return bytes + std::string(13, '\0');  // the list's end
}
