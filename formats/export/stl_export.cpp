// Binary STL: a header that never starts as the text form does, then each face's fan of triangles
// with the polygon's own face normal, the one flat shading shows.
#include "formats/export/bytes_out.h"
#include "formats/export/writers.h"

void writeStl(const MeshView& mesh, std::string& out)
{
    uint32_t triangles = 0;
    for (const MeshPolygon& polygon : mesh.polygons)
        if (polygon.count >= 3) triangles += polygon.count - 2u;
    out.reserve(84 + std::size_t(triangles) * 50);

    // Readers take a file whose first bytes are "solid" for the text form.
    std::string header = "zemconvert " + mesh.name;
    header.resize(80, '\0');
    out.append(header);
    appendLittle32(out, triangles);
    for (const MeshPolygon& polygon : mesh.polygons) {
        if (polygon.count < 3) continue;
        const int32_t* corners = &mesh.corners[polygon.first];
        for (int k = 1; k + 1 < polygon.count; ++k) {
            appendLittleFloat(out, polygon.faceNormal.x);
            appendLittleFloat(out, polygon.faceNormal.y);
            appendLittleFloat(out, polygon.faceNormal.z);
            for (const int32_t corner : {corners[0], corners[k], corners[k + 1]}) {
                const ShapeVertex& v = mesh.positions[static_cast<std::size_t>(corner)];
                appendLittleFloat(out, v.x);
                appendLittleFloat(out, v.y);
                appendLittleFloat(out, v.z);
            }
            out.append(2, '\0');  // the attribute byte count, unused
        }
    }
}
