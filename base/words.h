// Sizes and counts as the programs' lines word them, one rule for every line (the page's included).
#pragma once

#include <cstdint>
#include <string>

// A number of bytes as a user writes a budget: "2 GB", "1.5 GB", "20.5 GB", "512 MB", "1000 bytes".
// Units are powers of 1024; one decimal, rounded, where the amount is below 100 and not whole, else
// the whole units, cut. The page's web/js/words.js words sizes by the same rule.
std::string memoryWords(uint64_t bytes);

// "1 polygon", "3 polygons": n with the word that agrees with it.
std::string counted(uint64_t n, const char* one, const char* many);
