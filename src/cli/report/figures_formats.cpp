// The figures as a table for people and as JSON Lines for scripts.
#include <algorithm>
#include <charconv>

#include "report/format.h"

namespace cli {

namespace {

int widthOf(Count number)
{
    char digits[24];
    return static_cast<int>(std::to_chars(digits, digits + sizeof digits, number).ptr - digits);
}

void appendColumn(std::string &out, Count number, int width)
{
    out.append(static_cast<size_t>(std::max(0, width - widthOf(number))), ' ');
    appendNumber(out, number);
    out += "  ";
}

void appendColumn(std::string &out, std::string_view text, int width)
{
    out.append(static_cast<size_t>(std::max(0, width - static_cast<int>(text.size()))), ' ');
    out += text;
    out += "  ";
}

// Column widths of the table, wide enough for the header and every value.
struct Widths {
    int lines = 5;
    int densest = 12;
    int symbols = 11;
    int identifiers = 11;
};

void appendFigures(std::string &out, const Widths &widths, const Figures &figures)
{
    appendColumn(out, figures.lines, widths.lines);
    appendColumn(out, figures.densestLine, widths.densest);
    appendColumn(out, figures.maxSymbols, widths.symbols);
    appendColumn(out, figures.identifiers, widths.identifiers);
}

// Right-aligned columns of figures, then the path as it prints.
class Table : public Format {
public:
    bool sizesColumns() const override { return true; }

    void fit(const Figures &figures) override
    {
        widths_.lines = std::max(widths_.lines, widthOf(figures.lines));
        widths_.densest = std::max(widths_.densest, widthOf(figures.densestLine));
        widths_.symbols = std::max(widths_.symbols, widthOf(figures.maxSymbols));
        widths_.identifiers = std::max(widths_.identifiers, widthOf(figures.identifiers));
    }

    // Room in the columns of sums for a total `digits` digits wider than
    // `totals`, which are those of the rows the table was sized on.
    void reserve(const Totals &totals, int digits) override
    {
        widths_.lines = std::max(widths_.lines, widthOf(totals.lines) + digits);
        widths_.identifiers = std::max(widths_.identifiers, widthOf(totals.identifiers) + digits);
    }

    void header(std::string &out) override
    {
        appendColumn(out, "lines", widths_.lines);
        appendColumn(out, "densest_line", widths_.densest);
        appendColumn(out, "max_symbols", widths_.symbols);
        appendColumn(out, "identifiers", widths_.identifiers);
        out += "path\n";
    }

    void fileRow(std::string &out, std::string_view path, const Figures &figures) override
    {
        appendFigures(out, widths_, figures);
        out += printablePath(path);
        out += '\n';
    }

    // A directory row names the directory, with a '/' after it so that it
    // cannot be taken for a file, then how many files it sums and which
    // holds the line in its densest column.
    void directoryRow(std::string &out, const DirectoryRow &row) override
    {
        const Totals &sums = row.sums;
        appendFigures(out, widths_, sums.files > 0 ? sums.figures() : Figures{});
        out += printablePath(row.directory);
        if (!row.directory.ends_with('/'))
            out += '/';
        out += "  (";
        appendNumber(out, sums.files);
        out += sums.files == 1 ? " file" : " files";
        if (sums.files > 0) {
            out += "; densest line in ";
            out += printablePath(sums.densestPath);
        }
        out += ")\n";
    }

    // The total row, only under two rows or more, names in its path column
    // how many files it covers and which of them holds the line in its
    // densest column.
    bool total(std::string &out, const Totals &totals) override
    {
        if (totals.files > 1) {
            appendFigures(out, widths_, totals.figures());
            out += "total of ";
            appendNumber(out, totals.files);
            out += " files; densest line in ";
            out += printablePath(totals.densestPath);
            out += '\n';
        }
        return totals.files > 0;
    }

    void listed(std::string &out, std::string_view path) override
    {
        out += printablePath(path);
        out += '\n';
    }

private:
    Widths widths_;
};

// The keys of a total, after the key that says what it is the total of.
void appendSums(std::string &out, const Totals &totals)
{
    appendJsonField(out, "files", totals.files);
    appendJsonField(out, "lines", totals.lines);
    appendJsonField(out, "identifiers", totals.identifiers);
    appendJsonField(out, "max_symbols", totals.maxSymbols);
    out += ", \"path\": ";
    if (totals.files > 0)
        appendJsonPath(out, totals.densestPath);
    else
        out += "null";
    appendJsonField(out, "line_with_max_symbols", totals.files > 0 ? totals.densestLine : 0);
    out += "}\n";
}

// One JSON object per line: a file's, a directory's, and the total, which
// is always written, so that a script reads a run that measured nothing.
class JsonLines : public Format {
public:
    void fileRow(std::string &out, std::string_view path, const Figures &figures) override
    {
        out += "{\"path\": ";
        appendJsonPath(out, path);
        appendJsonField(out, "lines", figures.lines);
        appendJsonField(out, "line_with_max_symbols", figures.densestLine);
        appendJsonField(out, "max_symbols", figures.maxSymbols);
        appendJsonField(out, "identifiers", figures.identifiers);
        out += "}\n";
    }

    void directoryRow(std::string &out, const DirectoryRow &row) override
    {
        out += "{\"directory\": ";
        appendJsonPath(out, row.directory);
        appendSums(out, row.sums);
    }

    bool total(std::string &out, const Totals &totals) override
    {
        out += "{\"total\": true";
        appendSums(out, totals);
        return true;
    }

    void listed(std::string &out, std::string_view path) override
    {
        out += "{\"path\": ";
        appendJsonPath(out, path);
        out += "}\n";
    }
};

} // namespace

std::unique_ptr<Format> makeTable()
{
    return std::make_unique<Table>();
}

std::unique_ptr<Format> makeJsonLines()
{
    return std::make_unique<JsonLines>();
}

} // namespace cli
