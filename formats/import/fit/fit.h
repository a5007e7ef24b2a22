// The fit of a read model to the format: fitModel, and the palette match it colours faces by.
#pragma once

#include <string>
#include <vector>

#include "formats/import/import.h"

// Drops degenerate polygons, triangulates those of more than 5 indices, picks palette entries,
// scales, centres, rounds and welds, and simplifies what is beyond the limits.
// Each note is one line for the user. False with error set to why.
bool fitModel(const SourceModel& source, const ImportOptions& options, ImportedModel& result,
              std::vector<std::string>& notes, std::string& error);

// The palette entry nearest to colour by colourDifference2000, taking both as sRGB; the first of
// equals. A colour with a hue (CIELAB chroma 10 or more) takes an entry with one: no black, grey or
// white.
int nearestPaletteEntry(SourceColour colour);

// The CIEDE2000 colour difference of two CIELAB colours (lightness, a, b), with unit weights.
double colourDifference2000(double l1, double a1, double b1, double l2, double a2, double b2);
