// The per-polygon drawing, kept word for word as it was before the drawing was batched.
#include "testlib/draw_oracle.h"

#include <GL/gl.h>

#include "render/palette.h"
#include "render/scene.h"

namespace {

void vertex(const ShapeVertex& v)
{
    glVertex3f(static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z));
}

}  // namespace

void oracleCompileList(const Shape& shape, unsigned int list, bool lighting, bool smooth)
{
    glNewList(list, GL_COMPILE);
    oracleDrawSolid(shape, lighting, smooth);
    glEndList();
}

void oracleDrawSolid(const Shape& shape, bool lighting, bool smooth)
{
    glPushAttrib(GL_LIGHTING_BIT | GL_POLYGON_BIT);
    glDisable(GL_CULL_FACE);
    if (!lighting) glDisable(GL_LIGHTING);
    for (int32_t p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& polygon = shape.polygons[p];
        if (polygon.count < 3) continue;
        glColor3dv(Palette::colour(polygon.colourIndex));
        glBegin(GL_POLYGON);
        for (int k = 0; k < polygon.count; ++k) {
            const int i = polygon.indices[k];
            const Vector3& n = smooth ? shape.vertexNormals[i] : polygon.faceNormal;
            glNormal3f(n.x, n.y, n.z);
            vertex(shape.vertices[i]);
        }
        glEnd();
    }
    glBegin(GL_LINES);
    for (int32_t p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& polygon = shape.polygons[p];
        if (polygon.count != 2) continue;
        glColor3dv(Palette::colour(polygon.colourIndex));
        vertex(shape.vertices[polygon.indices[0]]);
        vertex(shape.vertices[polygon.indices[1]]);
    }
    glEnd();
    glPopAttrib();
}

void oracleDrawWireframe(const Shape& shape)
{
    glPushAttrib(GL_LIGHTING_BIT);
    glDisable(GL_LIGHTING);
    glColor3f(1.0f, 1.0f, 1.0f);
    for (int32_t p = 0; p < shape.polygonCount; ++p) {
        const ShapePolygon& polygon = shape.polygons[p];
        if (polygon.count < 2) continue;
        glBegin(polygon.count == 2 ? GL_LINES : GL_LINE_LOOP);
        for (int k = 0; k < polygon.count; ++k) vertex(shape.vertices[polygon.indices[k]]);
        glEnd();
    }
    glPopAttrib();
}

void frameDrawnBy(const SceneView& view, void (*draw)(const SceneView& view))
{
    glNewList(kShapeList, GL_COMPILE);
    glEndList();
    SceneView solid = view;
    solid.wireframe = false;
    drawFrame(solid);
    glPushMatrix();
    glTranslated(0.0, 0.0, view.distance);
    glRotated(static_cast<double>(view.rotX), 1.0, 0.0, 0.0);
    glRotated(static_cast<double>(view.rotY), 0.0, 1.0, 0.0);
    draw(view);
    glPopMatrix();
    glFlush();
}

void oracleOutlineFrame(const SceneView& view)
{
    frameDrawnBy(view, [](const SceneView&) { oracleDrawWireframe(gShape); });
}
