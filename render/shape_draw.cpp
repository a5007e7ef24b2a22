// Shape's drawing: the solid drawing recorded into a display list, and the white outline view.
#include <GL/gl.h>

#include <cassert>

#include "model/shape.h"
#include "render/palette.h"
#include "render/shape_drawing.h"

namespace {

void vertex(const ShapeVertex& v)
{
    glVertex3f(static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z));
}

void normal(const Vector3& n) { glNormal3f(n.x, n.y, n.z); }

// The drawing indexes the tables without checks, on the loader's word.
void assertWellFormed(const Shape& shape, const ShapePolygon& polygon)
{
    assert(polygon.count <= kMaxPolygonIndices);
    for (int k = 0; k < polygon.count; ++k) assert(polygon.indices[k] >= 0 && polygon.indices[k] < shape.vertexCount);
    (void)shape;
    (void)polygon;
}

// Line ends for the outline view, drawn whenever full: a fixed buffer, so that a frame never
// allocates, with room for at least one more face of five edges after each check.
constexpr int kOutlineEnds = 1 << 17;
GLushort gOutlineEnds[kOutlineEnds];

}  // namespace

bool Shape::compileList(unsigned int list, bool lighting, bool smooth) const
{
    glNewList(list, GL_COMPILE);
    drawSolid(lighting, smooth);
    glEndList();
    return true;
}

// Every face goes into one triangle batch instead of a primitive of its own, in table order, so
// that at equal depth the earlier face still wins. The pictures stay those of one GL_POLYGON per
// face because each face is split the way the renderer splits a polygon (render/shape_drawing.h).
// Then every segment in one line batch.
void Shape::drawSolid(bool lighting, bool smooth) const
{
    glPushAttrib(GL_LIGHTING_BIT | GL_POLYGON_BIT);
    glDisable(GL_CULL_FACE);  // both windings are drawn, whatever the scene culls
    if (!lighting) glDisable(GL_LIGHTING);
    // A colour set once per face stays exact across it; in a batch the colour comes with every
    // corner, and interpolating three equal corner colours can miss the value by one step. With
    // lighting off, flat shading takes the colour from one corner as it is. Lit colours differ
    // from corner to corner and are interpolated either way.
    glPushAttrib(GL_LIGHTING_BIT);
    if (!lighting) glShadeModel(GL_FLAT);
    const ShapePolygon* previous = nullptr;
    glBegin(GL_TRIANGLES);
    for (int32_t p = 0; p < polygonCount; ++p) {
        const ShapePolygon& polygon = polygons[p];
        if (!isFace(polygon)) continue;
        assertWellFormed(*this, polygon);
        // Entries that wrap to the same palette row are the same colour.
        if (!previous || Palette::colour(previous->colourIndex) != Palette::colour(polygon.colourIndex))
            glColor3dv(Palette::colour(polygon.colourIndex));
        previous = &polygon;
        forEachTriangleCorner(polygon, [&](int i) {
            normal(smooth ? vertexNormals[i] : polygon.faceNormal);
            vertex(vertices[i]);
        });
    }
    glEnd();
    glPopAttrib();
    if (const ShapePolygon* last = lastFace(*this)) normal(segmentNormal(*this, *last, smooth));
    glBegin(GL_LINES);
    for (int32_t p = 0; p < polygonCount; ++p) {
        const ShapePolygon& polygon = polygons[p];
        if (!isSegment(polygon)) continue;
        assertWellFormed(*this, polygon);
        glColor3dv(Palette::colour(polygon.colourIndex));
        vertex(vertices[polygon.indices[0]]);
        vertex(vertices[polygon.indices[1]]);
    }
    glEnd();
    glPopAttrib();
}

// Every edge as a line of its own, in the order and direction render/shape_drawing.h gives, drawn
// from the vertex table as it is, in batches.
void Shape::drawWireframe() const
{
    glPushAttrib(GL_LIGHTING_BIT);
    glDisable(GL_LIGHTING);
    glColor3f(1.0f, 1.0f, 1.0f);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_SHORT, sizeof(ShapeVertex), vertices.get());
    int used = 0;
    for (int32_t p = 0; p < polygonCount; ++p) {
        const ShapePolygon& polygon = polygons[p];
        if (outlineEdgeCount(polygon) == 0) continue;
        assertWellFormed(*this, polygon);
        if (used > kOutlineEnds - 2 * kMaxPolygonIndices) {
            glDrawElements(GL_LINES, used, GL_UNSIGNED_SHORT, gOutlineEnds);
            used = 0;
        }
        forEachOutlineEdge(polygon, [&](int from, int to) {
            gOutlineEnds[used++] = static_cast<GLushort>(from);
            gOutlineEnds[used++] = static_cast<GLushort>(to);
        });
    }
    if (used > 0) glDrawElements(GL_LINES, used, GL_UNSIGNED_SHORT, gOutlineEnds);
    glPopClientAttrib();
    glPopAttrib();
}
