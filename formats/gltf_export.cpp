// glTF 2.0 through tinygltf: one primitive per colour for the faces, split as fans, and one LINES
// primitive per colour for the segments.
#include "formats/writers.h"

bool writeGltf(const MeshView&, bool, const std::string&, std::string&, std::string&, std::string& error)
{
    error = "glTF is not written yet";
    return false;
}
