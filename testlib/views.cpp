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

void setViewFlags(View view)
{
    gLighting = view != View::unlit;
    gSmooth = view != View::litFlat;
    gWireframe = view == View::outline;
}

void compileView(View view, bool oracle)
{
    setViewFlags(view);
    if (view == View::outline) return;
    if (oracle)
        oracleCompileList(gShape, kShapeList, gLighting, gSmooth);
    else
        gShape.compileList(kShapeList, gLighting, gSmooth);
}

void drawView(View view, bool oracle)
{
    if (view == View::outline && oracle)
        oracleOutlineFrame();
    else
        drawFrame();
}
