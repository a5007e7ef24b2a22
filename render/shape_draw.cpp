// Shape's drawing: the solid drawing recorded into a display list, and the white outline view.
#include <GL/gl.h>

#include "model/shape.h"
#include "render/palette.h"

namespace {

void vertex(const ShapeVertex& v)
{
    glVertex3f(static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z));
}

}  // namespace

bool Shape::compileList(unsigned int list, bool lighting, bool smooth) const
{
    glNewList(list, GL_COMPILE);
    drawSolid(lighting, smooth);
    glEndList();
    return true;
}

// Filled polygons first, then every segment in one line batch. Segments get no normal of their
// own: with lighting on they are lit by the last normal of the filled pass.
void Shape::drawSolid(bool lighting, bool smooth) const
{
    glPushAttrib(GL_LIGHTING_BIT | GL_POLYGON_BIT);
    glDisable(GL_CULL_FACE);  // both windings are drawn, whatever the scene culls
    if (!lighting) glDisable(GL_LIGHTING);
    for (int32_t p = 0; p < polygonCount; ++p) {
        const ShapePolygon& polygon = polygons[p];
        if (polygon.count < 3) continue;
        glColor3dv(Palette::colour(polygon.colourIndex));
        glBegin(GL_POLYGON);
        for (int k = 0; k < polygon.count; ++k) {
            const int i = polygon.indices[k];
            const Vector3& n = smooth ? vertexNormals[i] : polygon.faceNormal;
            glNormal3f(n.x, n.y, n.z);
            vertex(vertices[i]);
        }
        glEnd();
    }
    glBegin(GL_LINES);
    for (int32_t p = 0; p < polygonCount; ++p) {
        const ShapePolygon& polygon = polygons[p];
        if (polygon.count != 2) continue;
        glColor3dv(Palette::colour(polygon.colourIndex));
        vertex(vertices[polygon.indices[0]]);
        vertex(vertices[polygon.indices[1]]);
    }
    glEnd();
    glPopAttrib();
}

void Shape::drawWireframe() const
{
    glPushAttrib(GL_LIGHTING_BIT);
    glDisable(GL_LIGHTING);
    glColor3f(1.0f, 1.0f, 1.0f);
    for (int32_t p = 0; p < polygonCount; ++p) {
        const ShapePolygon& polygon = polygons[p];
        if (polygon.count < 2) continue;
        glBegin(polygon.count == 2 ? GL_LINES : GL_LINE_LOOP);
        for (int k = 0; k < polygon.count; ++k) vertex(vertices[polygon.indices[k]]);
        glEnd();
    }
    glPopAttrib();
}
