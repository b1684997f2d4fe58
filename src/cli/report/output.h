// What the command line writes: rows for people, JSON Lines for scripts,
// and paths written so that each file stays on one line.
#pragma once

#include <string>
#include <string_view>

#include "c_rules.h"
#include "counting.h"

namespace cli {

// A file's figures as the table and the JSON rows give them, under either
// rules: the menu's fit in them too.
using Figures = crules::Figures;

// True when `text` is well-formed UTF-8: no stray continuation bytes, no
// overlong forms, no surrogates, nothing above U+10FFFF.
bool isUtf8(std::string_view text);

// A path or other value for a table row or a message: a backslash is
// doubled; \n, \t and \r are written so; every other byte of a control
// character (C0, DEL or C1), of a Unicode format character or separator
// (Cf, Zl, Zp: U+200B, U+202E, U+2028, ...) or of anything that is not
// well-formed UTF-8 is \x and two hex digits. Printable characters stay as
// they are.
std::string printablePath(std::string_view path);

// A path as a JSON value: a string when it is UTF-8; otherwise an array of
// its byte values, so that its exact bytes can be recovered.
void appendJsonPath(std::string &out, std::string_view path);

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

void appendJsonRow(std::string &out, std::string_view path, const Figures &figures);
void appendJsonTotal(std::string &out, const Totals &totals);
void appendJsonDirectory(std::string &out, const DirectoryRow &row);

// Column widths of the table, wide enough for the header and every value.
struct Widths {
    int lines = 5;
    int densest = 12;
    int symbols = 11;
    int identifiers = 11;

    void fit(const Figures &figures);
    // Room in the columns of sums for a total `digits` digits wider than
    // `totals`, which are those of the rows the table was sized on.
    void reserve(const Totals &totals, int digits);
};

void appendTableHeader(std::string &out, const Widths &widths);
void appendTableRow(std::string &out, const Widths &widths, std::string_view path, const Figures &figures);
void appendTableTotal(std::string &out, const Widths &widths, const Totals &totals);
void appendTableDirectory(std::string &out, const Widths &widths, const DirectoryRow &row);

// The report of --max-symbols on one file's lines (or, under the menu's
// rules, pieces) over the limit, in the form compilers give diagnostics,
// which editors and CI annotations parse: "PATH:LINE:COLUMN: S symbols
// (limit N)", or with --json one object per line. The path is written once, escaped as in the table or encoded as in
// the JSON rows, for all the file's diagnostics.
class Diagnostics {
public:
    Diagnostics(std::string_view path, Count limit, bool json);
    void append(std::string &out, const PieceOverLimit &piece) const;

private:
    std::string path_;
    Count limit_;
    bool json_;
};

} // namespace cli
