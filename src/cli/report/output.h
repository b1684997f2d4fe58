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

// The figures of every file measured, and where the line with the most
// symbols of all stands: the first file in output order that holds it.
struct Totals {
    Count files = 0;
    Count lines = 0;
    Count identifiers = 0;
    Count maxSymbols = 0;
    std::string densestPath; // meaningful once files > 0
    Count densestLine = 0;

    void add(std::string_view path, const Figures &figures);
    void add(const Totals &later); // the totals of files that follow these in output order
    Figures figures() const; // the total as one row of figures
};

// The sums of the files below a directory.
struct DirectoryRow {
    std::string directory;
    Totals sums;
};

} // namespace cli
