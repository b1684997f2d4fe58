// What the figures of a run add up to: the figures of a file, the totals of
// many, the sums of a directory. The formats (format.h) write them.
#pragma once

#include <string>
#include <string_view>

#include "c_rules.h"
#include "counting.h"
#include "report/escaping.h"

namespace cli {

// A file's figures as the table and the JSON rows give them, under either
// rules: the menu's fit in them too.
using Figures = crules::Figures;

// The figures of a row by the names of their JSON keys, which --sort takes
// too: a figure joins every use of the list by its line here.
struct FigureKey {
    std::string_view name;
    Count Figures::*member;
};
inline constexpr FigureKey FIGURE_KEYS[] = {
    {"lines", &Figures::lines},
    {"line_with_max_symbols", &Figures::densestLine},
    {"max_symbols", &Figures::maxSymbols},
    {"identifiers", &Figures::identifiers},
    {"code_lines", &Figures::codeLines},
    {"comment_lines", &Figures::commentLines},
    {"blank_lines", &Figures::blankLines},
};

// The figures of every file measured, and where the line with the most
// symbols of all stands: the first file in output order that holds it.
struct Totals {
    Count files = 0;
    Count lines = 0;
    Count identifiers = 0;
    Count codeLines = 0;
    Count commentLines = 0;
    Count blankLines = 0;
    Count maxSymbols = 0;
    std::string densestPath; // meaningful once files > 0
    Count densestLine = 0;

    void add(std::string_view path, const Figures &figures);
    void add(const Totals &later); // the totals of files that follow these in output order
    Figures figures() const; // the total as one row of figures
};

// The code, comment and blank lines of C's rules, in the order every
// format writes them, after the other figures.
inline constexpr Count Figures::*LINE_CLASSES[] = {&Figures::codeLines, &Figures::commentLines,
                                                    &Figures::blankLines};

// The sums of the files below a directory.
struct DirectoryRow {
    std::string directory;
    Totals sums;
};

// What the total row says besides its sums.
struct TotalNote {
    // A row before it already gave the same sums: the row of the one
    // directory argument, say. The table leaves such a total out.
    bool repeatsRow = false;
    // With --new-from-rev: the revision the files measured changed since.
    std::string_view changedSince = {};
    // "code" or "mixed" when the files measured counted the symbols of code
    // alone, all or some of them; "" when none did.
    std::string_view symbols = {};
};

} // namespace cli
