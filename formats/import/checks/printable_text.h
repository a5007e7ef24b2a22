// Text that came from a foreign file or a confined reader, made fit for a terminal: printable UTF-8 on one line.
#pragma once

#include <cstddef>
#include <string>

// Longest line of such text that reaches the user: a model's name, a note, a refusal.
constexpr std::size_t kMaxPrintableBytes = 512;

// Every byte that is not part of printable UTF-8 (control characters, C1 controls, invalid or
// overlong sequences, bidirectional overrides) becomes '?'; text longer than maxBytes is cut at a
// character's boundary and ends in "...". The result passes isPrintableText.
std::string printableText(const std::string& text, std::size_t maxBytes = kMaxPrintableBytes);

// Whether size bytes at data are at most maxBytes of printable UTF-8, as printableText makes them.
bool isPrintableText(const char* data, std::size_t size, std::size_t maxBytes = kMaxPrintableBytes);
