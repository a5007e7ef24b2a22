// One input of the import's fuzz target, shared by the fuzzer and the test that replays its findings.
#pragma once

#include <cstddef>
#include <cstdint>

// The extension a fuzz input's first byte gives the file made of the rest of it: "ply", "obj"...
const char* importInputExtension(uint8_t first);

// Writes all but the first byte of data to a file of that extension, and imports it as zemconvert
// does: the declared sizes and the PLY extras in this process too, then the read through the
// confined child and the answer's checks; then the fit (which zemconvert runs in the child) here,
// under limits that the input's own bytes choose (small ones half the time, so that the simplifier
// runs on small models), the fitted model through the wire, the text and the loader's reading of
// it back. Aborts where a line for the user is empty, unprintable or in the reading
// library's words, or where the model is not what the fit promises.
void importOnce(const uint8_t* data, std::size_t size);
