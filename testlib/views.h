// The views in which the batched drawing is compared with (and timed against) the per-polygon oracle.
#pragma once

enum class View { litSmooth, litFlat, unlit, outline };
constexpr View kViews[] = {View::litSmooth, View::litFlat, View::unlit, View::outline};

const char* viewName(View view);  // "lit_smooth", "lit_flat", "unlit", "outline"

// Sets the view state's flags for view, leaving the turn and the distance as they are.
void setViewFlags(View view);

// Compiles display list 1 of gShape for the flags set, with the oracle or with the viewer's drawing;
// the outline view has no list.
void compileView(View view, bool oracle);

// One frame of gShape in the view, with the oracle's outlines or the viewer's frame.
void drawView(View view, bool oracle);
