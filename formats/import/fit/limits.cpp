// The format's limits: counting what an imported model uses, and simplifying it until it fits.
#include <algorithm>

#include "formats/import/fit/fit_steps.h"

std::size_t usedVertexCount(const WorkMesh& mesh)
{
    std::vector<char> used(mesh.positions.size(), 0);
    std::size_t count = 0;
    for (const uint32_t i : mesh.indices) count += used[i] ? 0 : (used[i] = 1);
    return count;
}

bool withinLimits(const ImportedModel& model, const ImportOptions& options)
{
    return model.vertices.size() <= static_cast<std::size_t>(options.maxVertices) &&
           model.polygons.size() <= static_cast<std::size_t>(options.maxPolygons);
}

bool simplifyIntoLimits(const WorkMesh& work, const ImportOptions& options, ImportedModel& result,
                        std::size_t& droppedByRounding)
{
    double keep = 0.95 * std::min({1.0, double(options.maxPolygons) / double(result.polygons.size()),
                                   double(options.maxVertices) / double(result.vertices.size())});
    for (int attempt = 0; attempt < 12; ++attempt) {
        const WorkMesh simplified = simplifyFaces(work, keep, attempt >= 6);
        droppedByRounding = roundAndWeld(simplified, result.vertices, result.polygons);
        // Nothing left is no simplification to announce.
        if (result.polygons.empty()) return false;
        if (withinLimits(result, options)) return true;
        keep *= 0.9 * std::min({1.0, double(options.maxPolygons) / double(result.polygons.size()),
                                double(options.maxVertices) / double(result.vertices.size())});
    }
    return false;
}
