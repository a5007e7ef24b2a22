// zemrender test support: the real program run with no display, and its pictures read back with libpng.
#pragma once

#include <string>
#include <vector>

#include "image/png.h"
#include "tests/support/test_support.h"

// Runs zemrender with DISPLAY unset and the given NAME=value words added to its environment.
RunResult runZemrender(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {});

// A path in a fresh folder of its own in the test's temporary folder, so that the folder's
// listing shows exactly what a run left in it.
std::string freshOutput(const std::string& folderName, const std::string& fileName = "out.png");

// The names in a folder, "." and ".." left out, sorted.
std::vector<std::string> folderEntries(const std::string& folder);

// Decodes with libpng; a failed decode fails the test and gives an empty picture.
DecodedPng readPng(const std::string& path);

struct Box {
    int left = -1, top = -1, right = -1, bottom = -1;  // inclusive; all -1 when nothing is found
    bool empty() const { return left < 0; }
};

// The smallest box around the pixels whose RGBA differs from the top left pixel's.
Box modelBox(const DecodedPng& picture);
