// A JPEG's Huffman tables checked before the decoder reads them: the decoder trusts their counts.
#pragma once

#include <cstddef>

// False when a Huffman table (a DHT segment's, anywhere in the file, progressive scans included)
// declares more than the 256 codes that JPEG allows: the decoder would write them past the end of
// its tables. True for anything else, whether or not it is a sound JPEG: that is the decoder's to
// say.
bool jpegHuffmanTablesFit(const unsigned char* bytes, std::size_t size);
