// The words of the rows of sums (a directory's, a dialect's, the total) in
// the path column of the table and of Markdown. The two forms word them
// alike; they differ only in how a name is written, what comes before the
// count of files and what ends the row.
#pragma once

#include <string>
#include <string_view>

#include "report/output.h"

namespace cli {

struct SumWordsForm {
    void (*appendName)(std::string &out, std::string_view name); // escaped as the form needs
    std::string_view beforeCount;                                // of "(N files)"
    std::string_view end;                                        // of the row
};

// "DIRECTORY/ (N files)": the '/' tells a directory from a file.
void appendDirectoryWords(std::string &out, const DirectoryRow &row, const SumWordsForm &form);

// "dialect C (N files)".
void appendDialectWords(std::string &out, std::string_view dialect, const Totals &sums, const SumWordsForm &form);

// Whether the total row is left out: where a row before it gave the same
// sums, or where it sums no file, but for the files of a change, whose
// total says what they are.
bool leavesOutTotal(const Totals &totals, const TotalNote &note);

// "total of N files", then "changed since REV" for a change, and with
// `namesDensest` the file that holds the densest line, where a table of
// sums gives it in a column instead.
void appendTotalWords(std::string &out, const Totals &totals, const TotalNote &note, bool namesDensest,
                      const SumWordsForm &form);

} // namespace cli
