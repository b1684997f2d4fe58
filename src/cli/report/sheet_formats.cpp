// The figures as CSV, for spreadsheets and data tools, and as a Markdown
// table, for a person to paste into a report or a pull request. A name
// that is not UTF-8 is written as the table prints it: neither form has a
// way to give its bytes.
#include <algorithm>

#include "report/format.h"
#include "report/sum_words.h"

namespace cli {

namespace {

// RFC 4180: a header row, then a record per row, each ended by CRLF; a
// field that holds a comma, a double quote, CR or LF is quoted, its
// double quotes doubled. The fields are those of the JSON rows: a file's
// fill the first five, a directory's and the total's add the count of files
// and what they are the sums of, `path` naming the file that holds the
// densest line.
class Csv : public Format {
public:
    Csv(bool dialects, bool lineClasses) : dialects_(dialects), lineClasses_(lineClasses) {}

    void header(std::string &out) override
    {
        out += "path,lines,line_with_max_symbols,max_symbols,identifiers";
        if (lineClasses_)
            out += ",code_lines,comment_lines,blank_lines";
        out += ",files,directory,total";
        endRecord(out, "dialect");
        headed_ = true;
    }

    void fileRow(std::string &out, std::string_view path, const Figures &figures) override
    {
        appendRecord(out, path, figures);
        out += ",,,";
        endRecord(out, "");
    }

    void directoryRow(std::string &out, const DirectoryRow &row) override
    {
        appendSums(out, row.sums);
        appendField(out, row.directory);
        out += ',';
        endRecord(out, "");
    }

    void dialectRow(std::string &out, std::string_view dialect, const Totals &sums) override
    {
        appendSums(out, sums);
        out += ',';
        endRecord(out, dialect);
    }

    // Always written, with the header when no row came before it, so that
    // a script reads a run that measured nothing.
    bool total(std::string &out, const Totals &totals, const TotalNote & /*note*/) override
    {
        if (!headed_)
            header(out);
        appendSums(out, totals);
        out += ",true";
        endRecord(out, "");
        return true;
    }

private:
    void endRecord(std::string &out, std::string_view dialect) const
    {
        if (dialects_) {
            out += ',';
            out += dialect;
        }
        out += "\r\n";
    }

    static void appendField(std::string &out, std::string_view value)
    {
        const std::string text = utf8OrPrintable(value);
        if (text.find_first_of(",\"\r\n") == std::string::npos) {
            out += text;
            return;
        }
        out += '"';
        for (const char c : text) {
            out += c;
            if (c == '"')
                out += '"';
        }
        out += '"';
    }

    void appendRecord(std::string &out, std::string_view path, const Figures &figures) const
    {
        appendField(out, path);
        for (const Count number : {figures.lines, figures.densestLine, figures.maxSymbols, figures.identifiers}) {
            out += ',';
            appendNumber(out, number);
        }
        for (const Count Figures::*member : LINE_CLASSES) {
            if (!lineClasses_)
                break;
            out += ',';
            appendNumber(out, figures.*member);
        }
    }

    void appendSums(std::string &out, const Totals &sums) const
    {
        appendRecord(out, sums.files > 0 ? std::string_view(sums.densestPath) : std::string_view(),
                     sums.files > 0 ? sums.figures() : Figures{});
        out += ',';
        appendNumber(out, sums.files);
        out += ',';
    }

    bool dialects_;
    bool lineClasses_;
    bool headed_ = false;
};

// A name as a code span, printed as the table prints it, so that nothing
// in it reads as Markdown: fenced by more backticks than it holds in a row,
// a space inside the fence where it starts or ends with one, and '|'
// escaped, as a table cell needs even inside a span.
void appendName(std::string &out, std::string_view path)
{
    const std::string text = printablePath(path);
    std::size_t longest = 0;
    for (std::size_t at = 0, run = 0; at < text.size(); at++) {
        run = text[at] == '`' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    const std::string fence(longest + 1, '`');
    const bool pad = text.empty() || text.front() == '`' || text.back() == '`' || text.front() == ' ';
    out += fence;
    if (pad)
        out += ' ';
    for (const char c : text) {
        if (c == '|')
            out += '\\';
        out += c;
    }
    if (pad)
        out += ' ';
    out += fence;
}

// A pipe table with the table's columns, numbers aligned right; the total
// row written where the table writes it. A table of sums gives its densest
// column as the table does: the file's name, ':' and the line.
class Markdown : public Format {
public:
    Markdown(bool sums, bool lineClasses) : sums_(sums), lineClasses_(lineClasses) {}

    void header(std::string &out) override
    {
        out += sums_ ? "| lines | densest_path:line | max_symbols | identifiers | "
                     : "| lines | densest_line | max_symbols | identifiers | ";
        out += lineClasses_ ? "code | comment | blank | path |\n" : "path |\n";
        out += sums_ ? "| ---: | :--- | ---: | ---: | " : "| ---: | ---: | ---: | ---: | ";
        out += lineClasses_ ? "---: | ---: | ---: | :--- |\n" : ":--- |\n";
    }

    void fileRow(std::string &out, std::string_view path, const Figures &figures) override
    {
        appendFigures(out, figures, path);
        appendName(out, path);
        out += " |\n";
    }

    void directoryRow(std::string &out, const DirectoryRow &row) override
    {
        appendSums(out, row.sums);
        appendDirectoryWords(out, row, WORDS);
    }

    void dialectRow(std::string &out, std::string_view dialect, const Totals &sums) override
    {
        appendSums(out, sums);
        appendDialectWords(out, dialect, sums, WORDS);
    }

    bool total(std::string &out, const Totals &totals, const TotalNote &note) override
    {
        if (leavesOutTotal(totals, note))
            return totals.files > 0;
        appendSums(out, totals);
        appendTotalWords(out, totals, note, !sums_, WORDS);
        return true;
    }

private:
    static constexpr SumWordsForm WORDS = {.appendName = appendName, .beforeCount = " ", .end = " |\n"};

    void appendFigures(std::string &out, const Figures &figures, std::string_view densestPath) const
    {
        out += "| ";
        appendNumber(out, figures.lines);
        out += " | ";
        if (sums_) {
            appendName(out, densestPath);
            out += ':';
        }
        appendNumber(out, figures.densestLine);
        for (const Count number : {figures.maxSymbols, figures.identifiers}) {
            out += " | ";
            appendNumber(out, number);
        }
        for (const Count Figures::*member : LINE_CLASSES) {
            if (!lineClasses_)
                break;
            out += " | ";
            appendNumber(out, figures.*member);
        }
        out += " | ";
    }

    // Sums of no file have no densest line: zeros, and "-" for its place.
    void appendSums(std::string &out, const Totals &sums) const
    {
        if (sums.files > 0)
            appendFigures(out, sums.figures(), sums.densestPath);
        else
            out += std::string(sums_ ? "| 0 | - | 0 | 0 | " : "| 0 | 0 | 0 | 0 | ") + (lineClasses_ ? "0 | 0 | 0 | " : "");
    }

    bool sums_;
    bool lineClasses_;
};

} // namespace

std::unique_ptr<Format> makeCsv(bool dialects, bool lineClasses)
{
    return std::make_unique<Csv>(dialects, lineClasses);
}

std::unique_ptr<Format> makeMarkdown(bool sums, bool lineClasses)
{
    return std::make_unique<Markdown>(sums, lineClasses);
}

} // namespace cli
