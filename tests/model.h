// A second, deliberately plain account of the two line counters and the file
// line scan, written from their rules alone and sharing no code with src/:
// the randomized tests and the fuzz targets check the program against it.
// It is built without the sanitizers (model.cpp), which check the program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace model {

constexpr int WIDTH = 360; // the line buffer, text in front and zero fill behind

int symbols(const char *b);

// Visits every position; a pair test needs position i + 1 to exist.
int identifiers(const char *b, bool &inside);

// Pieces as a limited line read takes them: up to and including a newline,
// at most 359 characters.
std::vector<std::string> pieces(const std::string &text);

struct Figures {
    std::int64_t line;
    std::int64_t identifiers;
    std::int64_t lines = 0;
    int maxSymbols = 0;
    bool operator==(const Figures &) const = default;
};

// Text mode drops a carriage return only where a newline follows it.
std::string textMode(const std::string &file);

Figures scan(const std::string &file);

// A piece with more symbols than a limit: the editor's line (1 plus the
// newlines before it) and the column of its first byte in that line,
// counted in the text as text mode delivers it, and its symbols.
struct OverLimit {
    std::int64_t line;
    std::int64_t column;
    int symbols;
    bool operator==(const OverLimit &) const = default;
};

std::vector<OverLimit> overLimit(const std::string &file, int limit);

} // namespace model
