// The views in which the batched drawing is compared with (and timed against) the per-polygon oracle.
#pragma once

#include "render/scene.h"

enum class View { litSmooth, litFlat, unlit, outline };
constexpr View kViews[] = {View::litSmooth, View::litFlat, View::unlit, View::outline};

const char* viewName(View view);  // "lit_smooth", "lit_flat", "unlit", "outline"

// Sets scene's flags for view, leaving the turn and the distance as they are.
void setViewFlags(SceneView& scene, View view);

// Sets scene's flags for view, then compiles display list 1 of gShape for them, with the oracle or
// with the viewer's drawing; the outline view has no list.
void compileView(SceneView& scene, View view, bool oracle);

// One frame of gShape in scene, with the oracle's outlines or the viewer's frame.
void drawView(const SceneView& scene, View view, bool oracle);
