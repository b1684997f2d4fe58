// Lines counted by their symbols, in memory bounded by the number of
// counters and never by the number of lines: the data of --histogram.
#pragma once

#include <span>
#include <vector>

#include "counting.h"

namespace cli {

// The round numbers of a scale of 1, 2 and 5 times a power of ten: the
// smallest at least `value` (which is at least 1). The largest a count
// holds for a value past 5 * 10^18.
Count roundUp(Count value);

// A round number just above `value`.
inline Count nextRound(Count value)
{
    return roundUp(value + 1);
}

class LineCounts {
public:
    // Up to this many symbols, lines are counted by their exact number:
    // 1.5 MiB at most, and only as far as the densest line. Past it, in
    // ranges between finer round numbers (1, 1.2, 1.5, 2, 2.5, 3, ... 9
    // times a power of ten, 12 a decade) and the limits given, about 180
    // ranges: a count over any of these edges stays exact, and a line of
    // that many symbols takes 64 KiB of text at least.
    static constexpr Count EXACT = 1 << 16;

    // `limits`: edges to keep exact besides the round numbers.
    explicit LineCounts(std::span<const Count> limits);

    // Lines of `symbols` (at least 1), of which the allow marker allows
    // `allowed`.
    struct Lines {
        Count symbols;
        Count lines;
        Count allowed = 0;
    };
    void addLines(const Lines &added);
    // A file whose densest line the marker does not allow holds `symbols`.
    void addFile(Count symbols);

    // Every line counted.
    Count lines() const { return lines_; }

    // The number of symbols of the line at `rank` (1 to lines()) in
    // ascending order; past EXACT, the densest line of its range.
    Count atRank(Count rank) const;

    // Over `limit`: the lines the marker does not allow, those it allows,
    // and the files with a line over it that it does not allow.
    struct Over {
        Count lines = 0;
        Count allowed = 0;
        Count files = 0;
    };
    Over over(Count limit) const;
    // Every line over `limit`, allowed or not.
    Count allOver(Count limit) const;

    // Whether a count over `limit` is exact: it is an edge of the counters.
    bool isEdge(Count limit) const;

private:
    struct Counters {
        Count lines = 0;
        Count allowed = 0;
        Count files = 0;
        Count most = 0; // the densest line counted here
    };

    Counters &at(Count symbols);
    // The range of counters for lines over EXACT symbols.
    std::size_t rangeOf(Count symbols) const;

    std::vector<Counters> exact_;  // by number of symbols, up to the densest line counted
    std::vector<Count> edges_;     // the upper ends, inclusive, of the ranges past EXACT
    std::vector<Counters> ranges_;
    Count lines_ = 0;
};

} // namespace cli
