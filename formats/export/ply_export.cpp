// PLY, text or binary little-endian, in the layout most readers share: float positions and
// normals, faces as a uchar-counted int list with uchar red, green and blue, segments as edges.
#include "formats/export/bytes_out.h"
#include "formats/export/writers.h"
#include "render/palette.h"

namespace {

void writeHeader(const MeshView& mesh, bool ascii, TextOut& out)
{
    out << "ply\nformat " << (ascii ? "ascii" : "binary_little_endian") << " 1.0\n";
    out << "comment " << mesh.name << '\n';
    out << "element vertex ";
    out.integer(static_cast<long long>(mesh.positions.size()));
    out << "\nproperty float x\nproperty float y\nproperty float z\n"
           "property float nx\nproperty float ny\nproperty float nz\n";
    out << "element face ";
    out.integer(mesh.faceCount);
    out << "\nproperty list uchar int vertex_indices\n"
           "property uchar red\nproperty uchar green\nproperty uchar blue\n";
    out << "element edge ";
    out.integer(mesh.segmentCount);
    out << "\nproperty int vertex1\nproperty int vertex2\n"
           "property uchar red\nproperty uchar green\nproperty uchar blue\n"
           "end_header\n";
}

struct Rgb {
    uint8_t bytes[3];
};

Rgb rgbOf(int colour)
{
    const double* c = Palette::colours[colour];
    return {{colourByte(c[0]), colourByte(c[1]), colourByte(c[2])}};
}

void writeText(const MeshView& mesh, TextOut& out)
{
    for (std::size_t i = 0; i < mesh.positions.size(); ++i) {
        const ShapeVertex& v = mesh.positions[i];
        const Vector3& n = mesh.normals[i];
        out.integer(v.x) << ' ';
        out.integer(v.y) << ' ';
        out.integer(v.z) << ' ';
        out.fixed6(n.x) << ' ';
        out.fixed6(n.y) << ' ';
        out.fixed6(n.z) << '\n';
    }
    // Faces first, then segments, each in the model's order, as the elements are declared.
    for (int pass = 0; pass < 2; ++pass) {
        for (const MeshPolygon& polygon : mesh.polygons) {
            if ((polygon.count == 2) != (pass == 1)) continue;
            if (pass == 0) out.integer(polygon.count) << ' ';
            for (int k = 0; k < polygon.count; ++k) out.integer(mesh.corners[polygon.first + k]) << ' ';
            const Rgb rgb = rgbOf(polygon.colour);
            out.integer(rgb.bytes[0]) << ' ';
            out.integer(rgb.bytes[1]) << ' ';
            out.integer(rgb.bytes[2]) << '\n';
        }
    }
}

void writeBinary(const MeshView& mesh, std::string& out)
{
    for (std::size_t i = 0; i < mesh.positions.size(); ++i) {
        const ShapeVertex& v = mesh.positions[i];
        const Vector3& n = mesh.normals[i];
        for (const float value : {float(v.x), float(v.y), float(v.z), n.x, n.y, n.z}) appendLittleFloat(out, value);
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (const MeshPolygon& polygon : mesh.polygons) {
            if ((polygon.count == 2) != (pass == 1)) continue;
            if (pass == 0) out.push_back(static_cast<char>(polygon.count));
            for (int k = 0; k < polygon.count; ++k)
                appendLittle32(out, static_cast<uint32_t>(mesh.corners[polygon.first + k]));
            const Rgb rgb = rgbOf(polygon.colour);
            out.append(reinterpret_cast<const char*>(rgb.bytes), 3);
        }
    }
}

}  // namespace

void writePly(const MeshView& mesh, bool ascii, std::string& out)
{
    out.reserve(512 + mesh.positions.size() * (ascii ? 60 : 24) + mesh.corners.size() * (ascii ? 7 : 4) +
                mesh.polygons.size() * (ascii ? 14 : 4));
    TextOut text{out};
    writeHeader(mesh, ascii, text);
    if (ascii)
        writeText(mesh, text);
    else
        writeBinary(mesh, out);
}
