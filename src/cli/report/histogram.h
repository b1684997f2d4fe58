// --histogram: instead of the rows, the distribution of the symbols of the
// lines a run measures that hold at least one (blank lines would pull every
// percentile down): percentiles, a ladder of limits with what each would
// flag, and the lines per bucket of symbols, as text with a bar chart or as
// one JSON object. The ladder counts what the gate would report at each
// limit: lines the allow marker allows are not over it, though they count
// in the distribution.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "report/line_counts.h"
#include "report/plot.h"
#include "report/survey.h"

namespace cli {

// The percentiles reported, in thousandths: 50, 90, 99 and 99.9.
inline constexpr std::array<Count, 4> PERMILLES = {500, 900, 990, 999};

// A limit of the ladder, and what it flags.
struct Rung {
    Count limit;
    LineCounts::Over over;
};

// Lines of `from` up to `to` symbols, both included.
struct Bucket {
    Count from;
    Count to;
    Count lines;
};

// The first line in output order with the most symbols.
struct Densest {
    Count symbols = 0;
    std::size_t position = 0;
    std::string path;
    Count line = 0;

    // Whether this line is denser than `other`, or as dense and earlier.
    bool beats(const Densest &other) const;
};

// What the report says.
struct Distribution {
    Count lines = 0; // that hold a symbol
    Count files = 0; // measured
    std::string_view symbols; // "code" or "mixed" when code alone counted in all the files or some
    std::array<Count, PERMILLES.size()> percentiles = {}; // each a line's symbols, by nearest rank
    Densest densest;
    std::vector<Rung> ladder;
    std::vector<Bucket> buckets;
};

// The nearest rank of the `permille`th percentile among `lines` values:
// the smallest rank at or above that share of them.
Count nearestRank(Count lines, Count permille);

// The ladder: round limits from about the median to past the densest line,
// and `limits`; the buckets: of a round width up to the 99.9th percentile,
// then between round numbers up to the densest line.
Distribution distributionOf(const LineCounts &counts, const Densest &densest, std::span<const Count> limits);

// {"lines": N, "percentiles": {"p50": S, ...}, "max": {...}, "ladder": [...],
// "buckets": [...], "files": F} and a newline.
void appendJsonDistribution(std::string &out, const Distribution &distribution);

class HistogramSurvey : public Survey {
public:
    // `limits`: those the ladder must hold besides its own.
    HistogramSurvey(std::vector<Count> limits, bool json, const PlotStyle &style);

    std::unique_ptr<Tally> tally() override;
    int appendReport(std::string &out, const Totals &totals, std::string_view symbols) override;

    // What the tallies hand over, under a lock.
    void addLines(const LineCounts::Lines &added);
    void addLines(std::span<const Count> linesBySymbols);
    // A file whose densest line not allowed holds `symbols`, and whose
    // densest line is `densest`, at `path`.
    void addFile(Count symbols, const Densest &densest, const std::string &path);

private:
    std::vector<Count> limits_;
    bool json_;
    PlotStyle style_;
    std::mutex mutex_;
    LineCounts counts_;
    Densest densest_;
};

} // namespace cli
