// The viewer's page as this build made it: the bytes the page export places a model in.
#pragma once

#include <string_view>

// The whole page, with its empty model element once; empty when the build had no emscripten.
std::string_view builtPage();
