// The figures as a table for people and as JSON Lines for scripts.
#include <algorithm>
#include <charconv>

#include "report/format.h"
#include "report/sum_words.h"

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
    int classes[3] = {4, 7, 5}; // code, comment, blank
};

constexpr std::string_view CLASS_HEADERS[] = {"code", "comment", "blank"};

void appendPrintable(std::string &out, std::string_view name)
{
    out += printablePath(name);
}

// Where a row's densest line is, as one column of text.
std::string densestAt(std::string_view path, Count line)
{
    std::string at = printablePath(path);
    at += ':';
    appendNumber(at, line);
    return at;
}

// Right-aligned columns of figures, then the path as it prints. A table of
// sums writes its densest column as "path:line", left-aligned.
class Table : public Format {
public:
    Table(bool sums, bool lineClasses) : sums_(sums), lineClasses_(lineClasses)
    {
        if (sums_)
            widths_.densest = static_cast<int>(DENSEST_AT.size());
    }

    bool sizesColumns() const override { return true; }

    void fit(const Figures &figures, std::string_view densestPath) override
    {
        widths_.lines = std::max(widths_.lines, widthOf(figures.lines));
        widths_.densest = std::max(widths_.densest, sums_ ? static_cast<int>(densestAt(densestPath, figures.densestLine).size())
                                                          : widthOf(figures.densestLine));
        widths_.symbols = std::max(widths_.symbols, widthOf(figures.maxSymbols));
        widths_.identifiers = std::max(widths_.identifiers, widthOf(figures.identifiers));
        for (int k = 0; k < 3; k++)
            widths_.classes[k] = std::max(widths_.classes[k], widthOf(figures.*LINE_CLASSES[k]));
    }

    // Room in the columns of sums for a total `digits` digits wider than
    // `totals`, which are those of the rows the table was sized on.
    void reserve(const Totals &totals, int digits) override
    {
        widths_.lines = std::max(widths_.lines, widthOf(totals.lines) + digits);
        widths_.identifiers = std::max(widths_.identifiers, widthOf(totals.identifiers) + digits);
        const Figures sums = totals.figures();
        for (int k = 0; k < 3; k++)
            widths_.classes[k] = std::max(widths_.classes[k], widthOf(sums.*LINE_CLASSES[k]) + digits);
    }

    void header(std::string &out) override
    {
        appendColumn(out, "lines", widths_.lines);
        if (sums_)
            appendText(out, DENSEST_AT);
        else
            appendColumn(out, "densest_line", widths_.densest);
        appendColumn(out, "max_symbols", widths_.symbols);
        appendColumn(out, "identifiers", widths_.identifiers);
        for (int k = 0; lineClasses_ && k < 3; k++)
            appendColumn(out, CLASS_HEADERS[k], widths_.classes[k]);
        out += "path\n";
    }

    void fileRow(std::string &out, std::string_view path, const Figures &figures) override
    {
        appendFigures(out, figures, path);
        out += printablePath(path);
        out += '\n';
    }

    // A directory row names the directory, with a '/' after it so that it
    // cannot be taken for a file, then how many files it sums.
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

    // The total row names in its path column how many files it covers, and
    // out of a table of sums which of them holds its densest line.
    bool total(std::string &out, const Totals &totals, const TotalNote &note) override
    {
        if (leavesOutTotal(totals, note))
            return totals.files > 0;
        appendSums(out, totals);
        appendTotalWords(out, totals, note, !sums_, WORDS);
        return true;
    }

    void listed(std::string &out, std::string_view path) override
    {
        out += printablePath(path);
        out += '\n';
    }

private:
    static constexpr std::string_view DENSEST_AT = "densest_path:line";
    static constexpr SumWordsForm WORDS = {.appendName = appendPrintable, .beforeCount = "  ", .end = "\n"};

    void appendText(std::string &out, std::string_view text) const
    {
        out += text;
        out.append(static_cast<size_t>(std::max(0, widths_.densest - static_cast<int>(text.size()))), ' ');
        out += "  ";
    }

    void appendFigures(std::string &out, const Figures &figures, std::string_view densestPath) const
    {
        appendColumn(out, figures.lines, widths_.lines);
        if (sums_)
            appendText(out, densestAt(densestPath, figures.densestLine));
        else
            appendColumn(out, figures.densestLine, widths_.densest);
        appendColumn(out, figures.maxSymbols, widths_.symbols);
        appendColumn(out, figures.identifiers, widths_.identifiers);
        for (int k = 0; lineClasses_ && k < 3; k++)
            appendColumn(out, figures.*LINE_CLASSES[k], widths_.classes[k]);
    }

    // Sums of no file have no densest line: zeros, and "-" for its place.
    void appendSums(std::string &out, const Totals &sums) const
    {
        if (sums.files > 0) {
            appendFigures(out, sums.figures(), sums.densestPath);
            return;
        }
        appendColumn(out, 0, widths_.lines);
        if (sums_)
            appendText(out, "-");
        else
            appendColumn(out, 0, widths_.densest);
        appendColumn(out, 0, widths_.symbols);
        appendColumn(out, 0, widths_.identifiers);
        for (int k = 0; lineClasses_ && k < 3; k++)
            appendColumn(out, 0, widths_.classes[k]);
    }

    bool sums_;
    bool lineClasses_;
    Widths widths_;
};

void appendLineClasses(std::string &out, const Figures &figures)
{
    appendJsonField(out, "code_lines", figures.codeLines);
    appendJsonField(out, "comment_lines", figures.commentLines);
    appendJsonField(out, "blank_lines", figures.blankLines);
}

// The keys of a total, after the key that says what it is the total of;
// the object stays open for more.
void appendSums(std::string &out, const Totals &totals, bool lineClasses)
{
    appendJsonField(out, "files", totals.files);
    appendJsonField(out, "lines", totals.lines);
    appendJsonField(out, "identifiers", totals.identifiers);
    if (lineClasses)
        appendLineClasses(out, totals.figures());
    appendJsonField(out, "max_symbols", totals.maxSymbols);
    out += ", \"path\": ";
    if (totals.files > 0)
        appendJsonPath(out, totals.densestPath);
    else
        out += "null";
    appendJsonField(out, "line_with_max_symbols", totals.files > 0 ? totals.densestLine : 0);
}

// One JSON object per line: a file's, a directory's, and the total, which
// is always written, so that a script reads a run that measured nothing.
class JsonLines : public Format {
public:
    explicit JsonLines(bool lineClasses) : lineClasses_(lineClasses) {}

    void fileRow(std::string &out, std::string_view path, const Figures &figures) override
    {
        out += "{\"path\": ";
        appendJsonPath(out, path);
        appendJsonField(out, "lines", figures.lines);
        appendJsonField(out, "line_with_max_symbols", figures.densestLine);
        appendJsonField(out, "max_symbols", figures.maxSymbols);
        appendJsonField(out, "identifiers", figures.identifiers);
        if (lineClasses_)
            appendLineClasses(out, figures);
        out += "}\n";
    }

    void directoryRow(std::string &out, const DirectoryRow &row) override
    {
        out += "{\"directory\": ";
        appendJsonPath(out, row.directory);
        appendSums(out, row.sums, lineClasses_);
        out += "}\n";
    }

    void dialectRow(std::string &out, std::string_view dialect, const Totals &sums) override
    {
        out += "{\"dialect\": ";
        appendJsonPath(out, dialect);
        appendSums(out, sums, lineClasses_);
        out += "}\n";
    }

    bool total(std::string &out, const Totals &totals, const TotalNote &note) override
    {
        out += "{\"total\": true";
        appendSums(out, totals, lineClasses_);
        if (!note.changedSince.empty()) {
            out += ", \"changed_since\": ";
            appendJsonPath(out, note.changedSince);
        }
        if (!note.symbols.empty())
            out += ", \"symbols\": \"" + std::string(note.symbols) + "\"";
        out += "}\n";
        return true;
    }

    void listed(std::string &out, std::string_view path) override
    {
        out += "{\"path\": ";
        appendJsonPath(out, path);
        out += "}\n";
    }

private:
    bool lineClasses_;
};

} // namespace

std::unique_ptr<Format> makeTable(bool sums, bool lineClasses)
{
    return std::make_unique<Table>(sums, lineClasses);
}

std::unique_ptr<Format> makeJsonLines(bool lineClasses)
{
    return std::make_unique<JsonLines>(lineClasses);
}

} // namespace cli
