// Material names shared by every exporter.
#include "formats/export/materials.h"

std::string materialName(int colour) { return "colour" + std::to_string(colour); }
