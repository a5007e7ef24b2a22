// What the viewer draws of a shape: a face's triangles, the segments' normal, the outline edges.
// No OpenGL, so that the window and the web page, whose pictures must be the same pixel for pixel,
// follow one statement of it.
#pragma once

#include "model/shape.h"

// A polygon of three indices or more is a face; one of two is a segment; fewer draw nothing.
inline bool isFace(const ShapePolygon& polygon) { return polygon.count >= 3; }
inline bool isSegment(const ShapePolygon& polygon) { return polygon.count == 2; }

// Triangles a face is split into: none for a segment or less.
inline int triangleCount(const ShapePolygon& polygon) { return isFace(polygon) ? polygon.count - 2 : 0; }

// Calls corner(index) for each corner of the face's triangles in drawing order, with its vertex
// table index: the face split the way the renderer splits a polygon, into the triangles
// (k, k + 1, 0). Nothing for a segment or less.
template <typename Corner>
inline void forEachTriangleCorner(const ShapePolygon& polygon, Corner&& corner)
{
    const int first = polygon.indices[0];
    for (int k = 1; k + 1 < polygon.count; ++k) {
        corner(static_cast<int>(polygon.indices[k]));
        corner(static_cast<int>(polygon.indices[k + 1]));
        corner(first);
    }
}

// The last face of the table, whose normal lights the segments; null when there is none.
inline const ShapePolygon* lastFace(const Shape& shape)
{
    for (int32_t p = shape.polygonCount; p-- > 0;)
        if (isFace(shape.polygons[p])) return &shape.polygons[p];
    return nullptr;
}

// Segments get no normal of their own: with lighting on they are lit by the last normal the faces
// gave, which is that of the last face's last corner, not of the corner its split ends on.
inline const Vector3& segmentNormal(const Shape& shape, const ShapePolygon& lastFace, bool smooth)
{
    return smooth ? shape.vertexNormals[lastFace.indices[lastFace.count - 1]] : lastFace.faceNormal;
}

// Outline lines of a polygon: one for a segment, one per edge of a face, none for less.
inline int outlineEdgeCount(const ShapePolygon& polygon)
{
    return polygon.count < 2 ? 0 : isSegment(polygon) ? 1 : polygon.count;
}

// Calls edge(from, to) with the vertex table indices of each outline line, in the direction the
// polygon's loop runs (a line leaves out its last pixel, so the direction shows).
template <typename Edge>
inline void forEachOutlineEdge(const ShapePolygon& polygon, Edge&& edge)
{
    const int edges = outlineEdgeCount(polygon);
    for (int k = 0; k < edges; ++k)
        edge(static_cast<int>(polygon.indices[k]), static_cast<int>(polygon.indices[(k + 1) % polygon.count]));
}
