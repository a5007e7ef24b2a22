// fitModel: an imported model checked, cleaned, scaled and centred, rounded and welded, and brought
// within the format's limits, with a note for every change.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/words.h"
#include "formats/import/fit/fit_steps.h"

namespace {

struct Box {
    SourcePoint low{INFINITY, INFINITY, INFINITY};
    SourcePoint high{-INFINITY, -INFINITY, -INFINITY};
};

Box usedBox(const WorkMesh& mesh)
{
    Box box;
    for (const uint32_t i : mesh.indices) {
        const SourcePoint& p = mesh.positions[i];
        box.low = SourcePoint{std::min(box.low.x, p.x), std::min(box.low.y, p.y), std::min(box.low.z, p.z)};
        box.high = SourcePoint{std::max(box.high.x, p.x), std::max(box.high.y, p.y), std::max(box.high.z, p.z)};
    }
    return box;
}

bool checkInput(const SourceModel& source, const ImportOptions& options, std::string& error)
{
    for (const SourcePoint& p : source.positions) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            error = "a vertex position is not a finite number";
            return false;
        }
    }
    if (!(options.scale >= 0) || !std::isfinite(options.scale)) {
        error = "the scale must be a positive number";
        return false;
    }
    if (options.colour < -1 || options.colour > 255) {
        error = "a colour index runs from 0 to 255";
        return false;
    }
    if (source.indices.size() >= UINT32_MAX || source.positions.size() >= UINT32_MAX) {
        error = "more vertices than can be counted";
        return false;
    }
    return true;
}

void noteCleaning(const SourceModel& source, const CleanCounts& counts, std::vector<std::string>& notes)
{
    if (source.pointsDropped > 0)
        notes.push_back(counted(source.pointsDropped, "point", "points") + " dropped: the format has no points");
    if (counts.faces > 0)
        notes.push_back(counted(counts.faces, "face", "faces") + " of fewer than 3 different corners dropped");
    if (counts.lines > 0) notes.push_back(counted(counts.lines, "line", "lines") + " of no length dropped");
    if (counts.largeFaces > 0)
        notes.push_back(counted(counts.largeFaces, "face", "faces") + " of more than 5 corners triangulated into " +
                        counted(counts.largeFaceTriangles, "triangle", "triangles"));
}

// The shortest text that reads back as the same number, as --scale reads it.
std::string numberText(double value)
{
    char buffer[32];
    const std::to_chars_result written = std::to_chars(buffer, buffer + sizeof buffer, value + 0.0);  // no -0
    return std::string(buffer, written.ptr);
}

// The scale, exact, and the move, in model units along the input's own axes, to a thousandth of
// the whole units the model is rounded to, as one note; none when neither changes anything.
void noteScaleAndMove(double scale, SourcePoint move, const ImportOptions& options, std::vector<std::string>& notes)
{
    for (double* axis : {&move.x, &move.y, &move.z}) *axis = std::round(*axis * 1000) / 1000;
    const bool moved = move.x != 0 || move.y != 0 || move.z != 0;
    std::vector<std::string> changes;
    if (scale != 1) changes.push_back("scaled by " + numberText(scale));
    if (moved)
        changes.push_back("moved by (" + numberText(move.x) + ", " + numberText(move.y) + ", " + numberText(move.z) +
                          ")");
    if (changes.empty()) return;
    // The centring is why the model moves; a scale given on the command line is no part of it.
    std::string note = changes[0];
    if (changes.size() == 2) note += (options.scale > 0 ? ", and " : " and ") + changes[1];
    if (options.scale == 0)
        note += " to fit the viewer's first view";
    else if (moved)
        note += " to centre it";
    notes.push_back(note);
}

// Scales and centres work in place; false when the result would leave the coordinate range.
bool scaleAndCentre(WorkMesh& work, const ImportOptions& options, std::vector<std::string>& notes, std::string& error)
{
    const Box box = usedBox(work);
    const double extent = std::max({box.high.x - box.low.x, box.high.y - box.low.y, box.high.z - box.low.z});
    const double scale = options.scale > 0 ? options.scale : kFitExtent / extent;
    const SourcePoint centre = options.center ? SourcePoint{(box.low.x + box.high.x) / 2, (box.low.y + box.high.y) / 2,
                                                            (box.low.z + box.high.z) / 2}
                                              : SourcePoint{};
    for (SourcePoint& p : work.positions)
        p = SourcePoint{(p.x - centre.x) * scale, (p.y - centre.y) * scale, (p.z - centre.z) * scale};
    // y is written negated, and -32768 would read back as itself: it stays within +-32767.
    const auto fits = [&](double low, double high, double middle, double least) {
        return std::round((low - middle) * scale) >= least && std::round((high - middle) * scale) <= 32767;
    };
    if (fits(box.low.x, box.high.x, centre.x, -32768) && fits(box.low.y, box.high.y, centre.y, -32767) &&
        fits(box.low.z, box.high.z, centre.z, -32768)) {
        noteScaleAndMove(scale, SourcePoint{-centre.x * scale, -centre.y * scale, -centre.z * scale}, options, notes);
        return true;
    }
    error = "the model does not fit the coordinate range of -32767 to 32767 at this scale and position";
    return false;
}

// Rounds work into result, simplifying it first where it is beyond the limits.
bool roundIntoLimits(const WorkMesh& work, const ImportOptions& options, ImportedModel& result,
                     std::vector<std::string>& notes, std::string& error)
{
    std::size_t droppedByRounding = roundAndWeld(work, result.vertices, result.polygons);
    if (!withinLimits(result, options)) {
        // The counts the user knows: the source's, before rounding welded or dropped anything.
        const std::string before = counted(usedVertexCount(work), "vertex", "vertices") + " and " +
                                   counted(work.polygons.size(), "polygon", "polygons");
        const std::string limits =
            std::to_string(options.maxVertices) + " vertices and " + std::to_string(options.maxPolygons) + " polygons";
        if (!options.simplify) {
            error = before + " are more than the format's " + limits + " (not simplified: --no-simplify)";
            return false;
        }
        if (!simplifyIntoLimits(work, options, result, droppedByRounding)) {
            error = before + " could not be simplified to the format's " + limits;
            return false;
        }
        notes.push_back("simplified from " + before + " to " + counted(result.vertices.size(), "vertex", "vertices") +
                        " and " + counted(result.polygons.size(), "polygon", "polygons") + ", within the format's " +
                        limits);
    }
    if (droppedByRounding > 0)
        notes.push_back(counted(droppedByRounding, "polygon", "polygons") +
                        " dropped that rounding to whole units left without area or length");
    return true;
}

}  // namespace

bool fitModel(const SourceModel& source, const ImportOptions& options, ImportedModel& result,
              std::vector<std::string>& notes, std::string& error)
{
    if (!checkInput(source, options, error)) return false;
    WorkMesh work;
    CleanCounts counts;
    cleanSource(source, options.colour, work, counts);
    noteCleaning(source, counts, notes);
    if (work.polygons.empty()) {
        error = "no faces or lines to convert";
        return false;
    }
    if (!scaleAndCentre(work, options, notes, error) || !roundIntoLimits(work, options, result, notes, error))
        return false;
    if (result.polygons.empty()) {
        error = "nothing is left of the model once rounded to whole units";
        return false;
    }
    return true;
}
