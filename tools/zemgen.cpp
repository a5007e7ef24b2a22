// zemgen: writes generated model files to standard output, the samples and large benchmark models.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "tools/sample_models.h"

namespace {

int usage()
{
    std::fputs(
        "usage: zemgen random <vertices> <polygons> [seed] | terrain [seed] | sphere | cube | dodecahedron | torus | segments\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return usage();
    try {
        const std::string kind = argv[1];
        std::string text;
        if (kind == "random" && argc >= 4)
            text = randomModel(std::atoi(argv[2]), std::atoi(argv[3]),
                               argc > 4 ? static_cast<uint32_t>(std::atol(argv[4])) : 1);
        else if (kind == "terrain")
            text = terrainModel(178, argc > 2 ? static_cast<uint32_t>(std::atol(argv[2])) : 1);
        else if (kind == "sphere")
            text = sphereModel();
        else if (kind == "cube")
            text = cubeModel();
        else if (kind == "dodecahedron")
            text = dodecahedronModel();
        else if (kind == "torus")
            text = torusModel(36, 18);
        else if (kind == "segments")
            text = segmentsModel();
        else
            return usage();
        return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zemgen: %s\n", e.what());
        return 1;
    }
}
