#include "report/output.h"

namespace cli {

void Totals::add(std::string_view path, const Figures &figures)
{
    if (files == 0 || figures.maxSymbols > maxSymbols) {
        maxSymbols = figures.maxSymbols;
        densestPath.assign(path);
        densestLine = figures.densestLine;
    }
    files++;
    lines += figures.lines;
    identifiers += figures.identifiers;
}

void Totals::add(const Totals &later)
{
    if (later.files > 0 && (files == 0 || later.maxSymbols > maxSymbols)) {
        maxSymbols = later.maxSymbols;
        densestPath = later.densestPath;
        densestLine = later.densestLine;
    }
    files += later.files;
    lines += later.lines;
    identifiers += later.identifiers;
}

Figures Totals::figures() const
{
    return {lines, densestLine, maxSymbols, identifiers};
}

} // namespace cli
