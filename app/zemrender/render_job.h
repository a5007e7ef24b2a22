// zemrender's work: load the model, draw it off-screen with the viewer's code, write the PNG.
#pragma once

#include "app/zemrender/options.h"

// The exit status: 0 written, 1 failed after one line on standard error (the loader's own lines
// come before it). Never leaves a partial file, and never touches an existing one on failure.
int runRender(const RenderOptions& options);
