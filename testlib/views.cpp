// The compared views: their flags, list compilation and frames, by the oracle or the viewer's drawing.
#include "testlib/views.h"

#include "model/shape.h"
#include "render/scene.h"
#include "testlib/draw_oracle.h"

const char* viewName(View view)
{
    static const char* const names[] = {"lit_smooth", "lit_flat", "unlit", "outline"};
    return names[static_cast<int>(view)];
}

void setViewFlags(SceneView& scene, View view)
{
    scene.lighting = view != View::unlit;
    scene.smooth = view != View::litFlat;
    scene.wireframe = view == View::outline;
}

void compileView(SceneView& scene, View view, bool oracle)
{
    setViewFlags(scene, view);
    if (view == View::outline) return;
    if (oracle)
        oracleCompileList(gShape, kShapeList, scene.lighting, scene.smooth);
    else
        gShape.compileList(kShapeList, scene.lighting, scene.smooth);
}

void drawView(const SceneView& scene, View view, bool oracle)
{
    if (view == View::outline && oracle)
        oracleOutlineFrame(scene);
    else
        drawFrame(scene);
}
