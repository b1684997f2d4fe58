// The histogram for people: its tables, and a horizontal bar chart of the
// lines per bucket of symbols, fitted to the terminal's width.
#pragma once

#include <optional>
#include <string>

namespace cli {

struct Distribution;

struct PlotStyle {
    // The width of the terminal, in columns: every row of the chart is
    // shorter, so that none wraps.
    int width = 80;
    // Bars of block characters, in eighths of a column; otherwise of '#'.
    bool blocks = false;
};

// The style for standard output, as ls finds its width: COLUMNS when it is
// a positive number, else the terminal's (TIOCGWINSZ), else 80. Block
// characters when standard output is a terminal whose locale is UTF-8
// (the first of LC_ALL, LC_CTYPE and LANG that is set says so);
// CMEASURE_BARS=blocks or CMEASURE_BARS=hash chooses either whatever the
// terminal. Empty, with `refusal` saying why, for any other CMEASURE_BARS.
std::optional<PlotStyle> plotStyleOfOutput(std::string &refusal);

// The percentiles and the densest line, the ladder, then the chart, after
// a line that says how many lines and files they are of.
void appendTextDistribution(std::string &out, const Distribution &distribution, const PlotStyle &style);

} // namespace cli
