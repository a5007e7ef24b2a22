// Companion files (an OBJ's MTL, a glTF's buffer) named by a hash of their content, so that an
// output never names a companion that another run changed.
#pragma once

#include <string>

#include "formats/export/export.h"

// The companion's name beside outputPath before its content is known ("model.0000000000000000.mtl"
// for "model.obj" and ".mtl"): its hash digits are zeros until addCompanion stamps them.
std::string unstampedCompanion(const std::string& outputPath, const std::string& extension);

// Adds bytes to result as the companion, its hash stamped into its path and into the reference to
// it in the output (result's first file), which the writer wrote with the unstamped name. False
// with error when the output's reference cannot be found; what names the companion in the line.
bool addCompanion(ExportFormat format, const std::string& unstamped, std::string bytes, const std::string& what,
                  ExportResult& result, std::string& error);

// The companion that earlierText, the start of an earlier output at the same path, refers to, when
// that reference has the form of result's own (the same name but for the hash, so the same folder)
// and names another file than result's companion: the file to remove once the output is replaced.
// Empty when there is none.
std::string earlierCompanion(ExportFormat format, const ExportResult& result, const std::string& earlierText);
