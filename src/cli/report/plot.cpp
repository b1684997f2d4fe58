#include "report/plot.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

#include "report/histogram.h"
#include "report/output.h"

namespace cli {

namespace {

// Rows shorter than this never leave a bar room to show anything.
constexpr int NARROWEST = 40;
constexpr int WIDEST = 1 << 12;
constexpr int LEAST_BAR = 10;
// Counts are on a log scale once the largest is more than this many times
// the smallest that is not 0: two decades and more.
constexpr Count LOG_FROM = 100;

int widthOfOutput()
{
    if (const char *columns = std::getenv("COLUMNS"); columns != nullptr && *columns != '\0') {
        char *end = nullptr;
        const long width = std::strtol(columns, &end, 10);
        if (*end == '\0' && width > 0)
            return static_cast<int>(std::clamp<long>(width, NARROWEST, WIDEST));
    }
    winsize size = {};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return std::clamp<int>(size.ws_col, NARROWEST, WIDEST);
    return 80;
}

bool localeIsUtf8()
{
    for (const char *name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char *value = std::getenv(name);
        if (value == nullptr || *value == '\0')
            continue;
        std::string lower(value);
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        return lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos;
    }
    return false;
}

// The characters of one style of chart.
struct Pen {
    const char *axis;   // the vertical axis, left of the bars
    const char *corner; // where the axes meet
    const char *rule;   // the horizontal axis
    const char *tick;   // a mark on it
    int units;          // a bar's units per column
};

constexpr Pen HASH = {"|", "+", "-", "+", 1};
constexpr Pen BLOCKS = {"\u2502", "\u2514", "\u2500", "\u252c", 8};

// A bar of `units`: whole columns, then the eighths that remain.
void appendBar(std::string &out, int units, bool blocks)
{
    if (!blocks) {
        out.append(static_cast<std::size_t>(units), '#');
        return;
    }
    for (int k = 0; k < units / 8; k++)
        out += "\u2588";
    if (const int eighths = units % 8; eighths > 0) {
        // U+2589 (7 eighths) down to U+258F (1 eighth).
        out += "\xe2\x96";
        out += static_cast<char>(0x90 - eighths);
    }
}

void pad(std::string &out, std::string_view text, std::size_t width)
{
    out.append(width - std::min(width, text.size()), ' ');
    out += text;
}

// Rows of cells, each column right-aligned under the widest of its cells,
// two spaces apart; a row's `tail` follows its last cell.
struct Table {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> tails;

    void add(std::vector<std::string> row, std::string tail = {})
    {
        rows.push_back(std::move(row));
        tails.push_back(std::move(tail));
    }

    void appendTo(std::string &out) const
    {
        std::vector<std::size_t> widths(rows.front().size());
        for (const auto &row : rows)
            for (std::size_t k = 0; k < row.size(); k++)
                widths[k] = std::max(widths[k], row[k].size());
        for (std::size_t r = 0; r < rows.size(); r++) {
            for (std::size_t k = 0; k < rows[r].size(); k++) {
                out.append(k > 0 ? 2 : 0, ' ');
                pad(out, rows[r][k], widths[k]);
            }
            out += tails[r] + "\n";
        }
    }
};

void appendPercentiles(std::string &out, const Distribution &d)
{
    const char *const names[] = {"50", "90", "99", "99.9"};
    Table table;
    table.add({"percentile", "symbols"});
    for (std::size_t k = 0; k < PERMILLES.size(); k++)
        table.add({names[k], std::to_string(d.percentiles[k])});
    table.add({"max", std::to_string(d.densest.symbols)},
              "  " + printablePath(d.densest.path) + ":" + std::to_string(d.densest.line));
    table.appendTo(out);
}

// The lines the marker allows have a column only when there are any.
void appendLadder(std::string &out, const Distribution &d)
{
    const bool allowed = std::any_of(d.ladder.begin(), d.ladder.end(), [](const Rung &r) { return r.over.allowed > 0; });
    Table table;
    std::vector<std::string> header = {"limit", "lines over", "files over"};
    if (allowed)
        header.emplace_back("allowed");
    table.add(header);
    for (const Rung &rung : d.ladder) {
        std::vector<std::string> row = {std::to_string(rung.limit), std::to_string(rung.over.lines),
                                        std::to_string(rung.over.files)};
        if (allowed)
            row.push_back(std::to_string(rung.over.allowed));
        table.add(row);
    }
    table.appendTo(out);
}

// Where counts fall along a bar of `columns`: a share of the largest
// count, or of its logarithm.
struct Scale {
    bool log;
    Count most;
    int columns;

    double share(Count count) const
    {
        if (count <= 0)
            return 0;
        if (!log)
            return static_cast<double>(count) / static_cast<double>(most);
        return std::log10(static_cast<double>(count)) / std::log10(static_cast<double>(most));
    }

    // A count that is not 0 shows at least one unit.
    int units(Count count, int perColumn) const
    {
        const long units = std::lround(share(count) * columns * perColumn);
        return count > 0 ? std::max(1, static_cast<int>(units)) : 0;
    }

    // The counts marked on the axis: 0 and steps of a round number, about
    // 10 columns apart, or the powers of ten.
    std::vector<Count> ticks() const
    {
        std::vector<Count> ticks;
        if (log) {
            for (Count tick = 1; tick <= most; tick *= 10) {
                ticks.push_back(tick);
                if (tick > most / 10)
                    break;
            }
            return ticks;
        }
        const Count marks = std::max(1, columns / 10);
        const Count step = roundUp((most + marks - 1) / marks);
        for (Count tick = 0; tick <= most; tick += step)
            ticks.push_back(tick);
        return ticks;
    }
};

// Where the chart's parts stand: the width of the labels of the buckets,
// before the axis, and the columns after it that a row may take.
struct Frame {
    std::size_t indent;
    std::size_t room;
};

// The axis under the bars, and the labels of its ticks where they fit
// apart, each starting under its tick.
void appendAxis(std::string &out, const Scale &scale, const Pen &pen, const Frame &frame)
{
    const std::size_t indent = frame.indent;
    std::string rule(indent, ' ');
    std::string labels(indent, ' ');
    std::vector<bool> marked(static_cast<std::size_t>(scale.columns) + 1);
    std::optional<std::size_t> labelsEnd; // the column after the last label
    for (const Count tick : scale.ticks()) {
        const auto column = static_cast<std::size_t>(std::lround(scale.share(tick) * scale.columns));
        marked[column] = true;
        const std::string label = std::to_string(tick);
        if ((labelsEnd && column <= *labelsEnd) || column + label.size() > frame.room)
            continue;
        labels.append(indent + column - labels.size(), ' ');
        labels += label;
        labelsEnd = column + label.size();
    }
    rule += pen.corner;
    for (std::size_t column = 1; column < marked.size(); column++)
        rule += marked[column] ? pen.tick : pen.rule;
    out += rule + "\n" + labels + "\n";
}

void appendChart(std::string &out, const Distribution &d, const PlotStyle &style)
{
    const Pen &pen = style.blocks ? BLOCKS : HASH;
    std::vector<std::string> labels;
    Count most = 0;
    Count least = 0; // not 0
    std::size_t labelWidth = std::string_view("symbols").size();
    for (const Bucket &bucket : d.buckets) {
        labels.push_back(bucket.from == bucket.to ? std::to_string(bucket.from)
                                                  : std::to_string(bucket.from) + "-" + std::to_string(bucket.to));
        labelWidth = std::max(labelWidth, labels.back().size());
        most = std::max(most, bucket.lines);
        if (bucket.lines > 0)
            least = least == 0 ? bucket.lines : std::min(least, bucket.lines);
    }
    const std::size_t countWidth = std::to_string(most).size();
    // label, space, axis, bar, space, count: one column short of the width.
    const auto columns = std::max<int>(LEAST_BAR, style.width - 1 - static_cast<int>(labelWidth + 3 + countWidth));
    const Scale scale{.log = most / LOG_FROM > least, .most = most, .columns = columns};
    pad(out, "symbols", labelWidth);
    out += std::string(" ") + pen.axis + (scale.log ? " lines, log scale\n" : " lines\n");
    for (std::size_t k = 0; k < d.buckets.size(); k++) {
        pad(out, labels[k], labelWidth);
        out += std::string(" ") + pen.axis;
        appendBar(out, scale.units(d.buckets[k].lines, pen.units), style.blocks);
        out += ' ';
        out += std::to_string(d.buckets[k].lines);
        out += '\n';
    }
    appendAxis(out, scale, pen, {.indent = labelWidth + 1, .room = static_cast<std::size_t>(columns) + 1 + countWidth});
}

} // namespace

std::optional<PlotStyle> plotStyleOfOutput(std::string &refusal)
{
    PlotStyle style{.width = widthOfOutput()};
    const char *bars = std::getenv("CMEASURE_BARS");
    const std::string_view chosen = bars != nullptr ? bars : "";
    if (chosen == "blocks" || chosen == "hash") {
        style.blocks = chosen == "blocks";
    } else if (!chosen.empty()) {
        refusal = "unknown kind of bars '" + printablePath(chosen) + "'";
        return std::nullopt;
    } else {
        style.blocks = isatty(STDOUT_FILENO) != 0 && localeIsUtf8();
    }
    return style;
}

void appendTextDistribution(std::string &out, const Distribution &d, const PlotStyle &style)
{
    out += std::to_string(d.lines) + (d.lines == 1 ? " line" : " lines") + " with a symbol in " +
           std::to_string(d.files) + (d.files == 1 ? " file\n" : " files\n");
    if (d.lines == 0)
        return;
    out += "\n";
    appendPercentiles(out, d);
    out += "\n";
    appendLadder(out, d);
    out += "\n";
    appendChart(out, d, style);
}

} // namespace cli
