#include "report/sum_words.h"

#include "report/escaping.h"

namespace cli {

namespace {

void appendFileCount(std::string &out, Count files, const SumWordsForm &form)
{
    out += form.beforeCount;
    out += '(';
    appendNumber(out, files);
    out += files == 1 ? " file)" : " files)";
    out += form.end;
}

} // namespace

void appendDirectoryWords(std::string &out, const DirectoryRow &row, const SumWordsForm &form)
{
    form.appendName(out, row.directory.ends_with('/') ? row.directory : row.directory + '/');
    appendFileCount(out, row.sums.files, form);
}

void appendDialectWords(std::string &out, std::string_view dialect, const Totals &sums, const SumWordsForm &form)
{
    out += "dialect ";
    out += dialect;
    appendFileCount(out, sums.files, form);
}

bool leavesOutTotal(const Totals &totals, const TotalNote &note)
{
    return note.changedSince.empty() && (totals.files == 0 || note.repeatsRow);
}

void appendTotalWords(std::string &out, const Totals &totals, const TotalNote &note, bool namesDensest,
                      const SumWordsForm &form)
{
    out += "total of ";
    appendNumber(out, totals.files);
    out += totals.files == 1 ? " file" : " files";
    if (!note.changedSince.empty()) {
        out += " changed since ";
        form.appendName(out, note.changedSince);
    }
    if (namesDensest && totals.files > 0) {
        out += "; densest line in ";
        form.appendName(out, totals.densestPath);
    }
    out += form.end;
}

} // namespace cli
