// OBJ and MTL text: positions, normals, faces of 3 to 5 corners as they are, segments as lines,
// and one material per palette entry in use.
#include "formats/export/bytes_out.h"
#include "formats/export/writers.h"
#include "render/palette.h"

void writeObj(const MeshView& mesh, const std::string& mtlName, std::string& obj, std::string& mtl)
{
    // About 24 bytes per position, 30 per normal and 14 per corner.
    obj.reserve(mesh.positions.size() * 54 + mesh.corners.size() * 14 + 256);
    TextOut out{obj};
    if (!mtlName.empty()) out << "mtllib " << mtlName << '\n';
    if (!mesh.name.empty()) out << "o " << mesh.name << '\n';
    for (const ShapeVertex& v : mesh.positions) {
        out << "v ";
        out.integer(v.x) << ' ';
        out.integer(v.y) << ' ';
        out.integer(v.z) << '\n';
    }
    for (const Vector3& n : mesh.normals) {
        out << "vn ";
        out.fixed6(n.x) << ' ';
        out.fixed6(n.y) << ' ';
        out.fixed6(n.z) << '\n';
    }
    // The model's order is kept, so a material is named again whenever the colour changes.
    int current = -1;
    for (const MeshPolygon& polygon : mesh.polygons) {
        if (polygon.colour != current) {
            current = polygon.colour;
            out << "usemtl " << materialName(current) << '\n';
        }
        const int32_t* corners = &mesh.corners[polygon.first];
        if (polygon.count == 2) {
            out << 'l';
            for (int k = 0; k < 2; ++k) out << ' ', out.integer(corners[k] + 1);
        } else {
            out << 'f';
            for (int k = 0; k < polygon.count; ++k) {
                out << ' ';
                out.integer(corners[k] + 1) << "//";
                out.integer(corners[k] + 1);
            }
        }
        out << '\n';
    }

    TextOut materials{mtl};
    for (const uint8_t colour : mesh.colours) {
        const double* rgb = Palette::colours[colour];
        materials << "newmtl " << materialName(colour) << "\nKd ";
        materials.fixed6(rgb[0]) << ' ';
        materials.fixed6(rgb[1]) << ' ';
        materials.fixed6(rgb[2]) << "\nKa ";
        materials.fixed6(rgb[0]) << ' ';
        materials.fixed6(rgb[1]) << ' ';
        materials.fixed6(rgb[2]) << "\nKs 0.000000 0.000000 0.000000\nd 1.000000\nillum 1\n";
    }
}
