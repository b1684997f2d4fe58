#include "report/output.h"

namespace cli {

namespace {

// Whether the figures of what follows in output order hold the densest line
// of all: more symbols than that so far, or a line at all where there is
// none so far, as an empty file has none, not even one of 0 symbols.
bool holdsTheDensestLine(const Totals &sofar, const Figures &next)
{
    return sofar.files == 0 || next.maxSymbols > sofar.maxSymbols || (sofar.densestLine == 0 && next.densestLine != 0);
}

} // namespace

void Totals::add(std::string_view path, const Figures &figures)
{
    if (holdsTheDensestLine(*this, figures)) {
        maxSymbols = figures.maxSymbols;
        densestPath.assign(path);
        densestLine = figures.densestLine;
    }
    files++;
    lines += figures.lines;
    identifiers += figures.identifiers;
    codeLines += figures.codeLines;
    commentLines += figures.commentLines;
    blankLines += figures.blankLines;
}

void Totals::add(const Totals &later)
{
    if (later.files > 0 && holdsTheDensestLine(*this, later.figures())) {
        maxSymbols = later.maxSymbols;
        densestPath = later.densestPath;
        densestLine = later.densestLine;
    }
    files += later.files;
    lines += later.lines;
    identifiers += later.identifiers;
    codeLines += later.codeLines;
    commentLines += later.commentLines;
    blankLines += later.blankLines;
}

Figures Totals::figures() const
{
    return {.lines = lines,
            .densestLine = densestLine,
            .maxSymbols = maxSymbols,
            .identifiers = identifiers,
            .codeLines = codeLines,
            .commentLines = commentLines,
            .blankLines = blankLines};
}

} // namespace cli
