// The per-polygon drawing the batched one replaced, kept as the oracle its pictures must match.
#pragma once

#include "model/shape.h"
#include "render/scene.h"

// One glBegin/glEnd per face with its colour set before it, then every segment in one line batch:
// the solid drawing exactly as display list 1 used to record it.
void oracleDrawSolid(const Shape& shape, bool lighting, bool smooth);
void oracleCompileList(const Shape& shape, unsigned int list, bool lighting, bool smooth);

// One line loop per face and one line pair per segment, in white with lighting off.
void oracleDrawWireframe(const Shape& shape);

// A frame of view as drawFrame draws it, with draw(view) in place of list 1 or the shape's own
// outlines: drawFrame's clear and light with an empty list 1, then draw(view) under the same model
// transform. drawFrame itself draws the outlines with the shape's drawing, so the oracle cannot go
// through it.
void frameDrawnBy(const SceneView& view, void (*draw)(const SceneView& view));

// A frame of the outline view as the viewer drew it before.
void oracleOutlineFrame(const SceneView& view);  // of gShape
