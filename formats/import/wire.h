// What a confined reader answers: a model, or why there is none, with notes; encoded in the child, checked in the
// parent.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "formats/import/checks/printable_text.h"
#include "formats/import/import.h"
#include "formats/import/read_failure.h"

// At most this many notes travel with an answer; the child says how many more there were.
constexpr std::size_t kMaxAnswerNotes = 32;

struct ReadAnswer {
    enum class Kind : uint8_t {
        model = 1,  // model holds what was read
        refused,    // refusal says why there is no model (the file was not given to a reader, or what
                    // was read could not be fitted), in the tool's words
        failed,     // the reader tried and failed; failure says how
        fitted,     // fitted holds what was read, fitted to the format (its name the scene's own)
    };
    Kind kind = Kind::model;
    SourceModel model;
    ImportedModel fitted;
    std::string refusal;
    ReaderFailure failure = ReaderFailure::damaged;
    std::vector<std::string> notes;  // one line each for the user, whatever the kind
};

// The longest answer with a fitted model: its name and notes at their longest, the format's most
// vertices and most polygons of 5 corners. A few megabytes whatever the reader's memory limit: the
// parent reads no more than this of a child that fits.
constexpr std::size_t kMaxFittedAnswerBytes = 4 + 1 + 4 + kMaxAnswerNotes * (4 + kMaxPrintableBytes) + 4 +
                                              kMaxPrintableBytes + 8 + std::size_t(kImportMaxVertices) * 12 + 8 +
                                              std::size_t(kImportMaxPolygons) * (2 + 5 * 4);

// The child's side. Text is made printable and cut to length (printable_text.h), colours are
// clamped to 0 to 1, notes past kMaxAnswerNotes become one note that counts them, and a model with
// a position that is not a finite number is sent as the refusal that says so: what the encoder
// writes, the decoder accepts (a fitted model is sent as fitModel leaves it). Polygons are written in their order, each
// with its own indices.
std::string encodeReadAnswer(const ReadAnswer& answer);

// The parent's side: true only when the size bytes at data are exactly one answer whose every
// count fits the bytes received, whose indices name positions it has, whose polygons of 2 or more
// corners use up its indices, whose numbers are finite (colours 0 to 1) and whose text is
// printable; a fitted model has at most the format's vertices and polygons, its coordinates lie
// within -32768 to 32767, its polygons have 2 to 5 corners naming its vertices and its colours are 0
// to 255. Nothing is allocated before the bytes are known to hold it and, for a fitted model, before
// its counts are known to be the format's: what decoding holds stays within a few times
// kMaxFittedAnswerBytes, whatever the answer claims.
// False with error set (for the developer; the user is told only that the answer was malformed).
bool decodeReadAnswer(const char* data, std::size_t size, ReadAnswer& answer, std::string& error);
