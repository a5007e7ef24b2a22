// Material names: every format calls a palette entry's material by the same name.
#pragma once

#include <string>

// "colour4" for palette entry 4, in OBJ, MTL and glTF alike, so that a model's materials read the
// same in every format it is exported to.
inline std::string materialName(int colour) { return "colour" + std::to_string(colour); }
