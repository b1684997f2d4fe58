#include "report/histogram.h"

#include <algorithm>
#include <cstdint>

#include "report/output.h"

namespace cli {

namespace {

// A worker's tally: every line over 0 symbols, that is every line with
// one. The lines of fewer than OWN symbols that no marker allows, nearly all
// of them, are counted by the scan in the worker's own counters (32 KiB);
// the others are handed over one by one, and under the menu's rules each
// piece denser than every one before it in its file, which places the
// file's densest. In a file whose lines do not all count (--new-from-rev),
// every line is handed to the tally.
class HistogramTally final : public Tally {
public:
    static constexpr Count OWN = 4096;

    explicit HistogramTally(HistogramSurvey &survey)
        : Tally(0), survey_(survey), own_(OWN), census_{.lines = own_.data(), .size = OWN}
    {
        countInCensus(census_);
    }

    void end(const crules::Figures &figures) override
    {
        // Every line with a symbol was counted in the census or added.
        fileOver_ = std::max(fileOver_, census_.most);
        if (inCensus() && figures.maxSymbols > 0) {
            fileMost_ = figures.maxSymbols;
            fileMostLine_ = figures.densestLine;
        }
        census_.most = 0;
        survey_.addFile(fileOver_, {.symbols = fileMost_, .position = position_, .path = {}, .line = fileMostLine_},
                        *path_);
        fileOver_ = 0;
        fileMost_ = 0;
        fileMostLine_ = 0;
    }

    void handOver() override
    {
        survey_.addLines(own_);
        own_.clear();
    }

private:
    void add(const LineFact &line) override
    {
        if (line.symbols > fileMost_) {
            fileMost_ = line.symbols;
            fileMostLine_ = line.line;
        }
        if (line.allowed) {
            survey_.addLines({.symbols = line.symbols, .lines = 1, .allowed = 1});
            return;
        }
        fileOver_ = std::max(fileOver_, line.symbols);
        if (line.symbols >= OWN) {
            survey_.addLines({.symbols = line.symbols, .lines = 1});
            return;
        }
        own_[static_cast<std::size_t>(line.symbols)]++;
    }

    HistogramSurvey &survey_;
    std::vector<Count> own_; // lines by their symbols, none allowed
    LineCensus census_;
    Count fileOver_ = 0;     // the file's densest line not allowed
    Count fileMost_ = 0;     // the file's densest line, and where it is
    Count fileMostLine_ = 0;
};

constexpr Count MOST = INT64_MAX;

// Rungs of a round step from about the median to the 99.9th percentile, at
// most 13 of them; then round numbers up to the first at or past the
// densest line, which flags nothing.
std::vector<Count> roundLadder(const Distribution &d)
{
    const Count low = d.percentiles.front();
    const Count high = d.percentiles.back();
    Count step = 1;
    while ((high + step - 1) / step - low / step > 12)
        step = nextRound(step);
    std::vector<Count> limits;
    Count limit = std::max(step, low / step * step);
    for (; limit < high; limit += step)
        limits.push_back(limit);
    limits.push_back(limit);
    while (limit < d.densest.symbols && limit < MOST)
        limits.push_back(limit = nextRound(limit));
    return limits;
}

// Buckets of a round width, at most 20 of them, up to the 99.9th
// percentile (within the exact counts); then between round numbers up to
// the densest line.
std::vector<Bucket> bucketsOf(const LineCounts &counts, const Distribution &d)
{
    const Count top = std::min(d.percentiles.back(), LineCounts::EXACT);
    Count width = 1;
    while ((top + width - 1) / width > 20)
        width = nextRound(width);
    std::vector<Bucket> buckets;
    Count to = 0;
    while (to < top) {
        buckets.push_back({.from = to + 1, .to = to + width, .lines = counts.allOver(to) - counts.allOver(to + width)});
        to += width;
    }
    while (to < d.densest.symbols && to < MOST) {
        const Count next = nextRound(to);
        buckets.push_back({.from = to + 1, .to = next, .lines = counts.allOver(to) - counts.allOver(next)});
        to = next;
    }
    return buckets;
}

void appendNumberOrNull(std::string &out, bool known, Count number)
{
    out += known ? std::to_string(number) : "null";
}

} // namespace

bool Densest::beats(const Densest &other) const
{
    return symbols > other.symbols || (symbols == other.symbols && symbols > 0 && position < other.position);
}

Count nearestRank(Count lines, Count permille)
{
    return lines / 1000 * permille + ((lines % 1000) * permille + 999) / 1000;
}

Distribution distributionOf(const LineCounts &counts, const Densest &densest, std::span<const Count> limits)
{
    Distribution d;
    d.lines = counts.lines();
    d.densest = densest;
    std::vector<Count> ladder(limits.begin(), limits.end());
    if (d.lines > 0) {
        for (std::size_t k = 0; k < PERMILLES.size(); k++)
            d.percentiles[k] = counts.atRank(nearestRank(d.lines, PERMILLES[k]));
        const std::vector<Count> round = roundLadder(d);
        ladder.insert(ladder.end(), round.begin(), round.end());
        d.buckets = bucketsOf(counts, d);
    }
    std::sort(ladder.begin(), ladder.end());
    ladder.erase(std::unique(ladder.begin(), ladder.end()), ladder.end());
    for (const Count limit : ladder)
        if (counts.isEdge(limit))
            d.ladder.push_back({.limit = limit, .over = counts.over(limit)});
    return d;
}

void appendJsonDistribution(std::string &out, const Distribution &d)
{
    const bool known = d.lines > 0;
    out += "{\"lines\": " + std::to_string(d.lines) + ", \"percentiles\": {";
    const char *const names[] = {"p50", "p90", "p99", "p99.9"};
    for (std::size_t k = 0; k < PERMILLES.size(); k++) {
        out += std::string(k > 0 ? ", " : "") + "\"" + names[k] + "\": ";
        appendNumberOrNull(out, known, d.percentiles[k]);
    }
    out += "}, \"max\": ";
    if (known) {
        out += "{\"symbols\": " + std::to_string(d.densest.symbols) + ", \"path\": ";
        appendJsonPath(out, d.densest.path);
        out += ", \"line\": " + std::to_string(d.densest.line) + "}";
    } else {
        out += "null";
    }
    out += ", \"ladder\": [";
    for (const Rung &rung : d.ladder)
        out += std::string(&rung == d.ladder.data() ? "" : ", ") + "{\"limit\": " + std::to_string(rung.limit) +
               ", \"lines\": " + std::to_string(rung.over.lines) + ", \"files\": " + std::to_string(rung.over.files) +
               ", \"allowed\": " + std::to_string(rung.over.allowed) + "}";
    out += "], \"buckets\": [";
    for (const Bucket &bucket : d.buckets)
        out += std::string(&bucket == d.buckets.data() ? "" : ", ") + "{\"from\": " + std::to_string(bucket.from) +
               ", \"to\": " + std::to_string(bucket.to) + ", \"lines\": " + std::to_string(bucket.lines) + "}";
    out += "], \"files\": " + std::to_string(d.files);
    if (!d.symbols.empty())
        out += ", \"symbols\": \"" + std::string(d.symbols) + "\"";
    out += "}\n";
}

HistogramSurvey::HistogramSurvey(std::vector<Count> limits, bool json, const PlotStyle &style)
    : limits_(std::move(limits)), json_(json), style_(style), counts_(limits_)
{
}

std::unique_ptr<Tally> HistogramSurvey::tally()
{
    return std::make_unique<HistogramTally>(*this);
}

void HistogramSurvey::addLines(const LineCounts::Lines &added)
{
    std::lock_guard lock(mutex_);
    counts_.addLines(added);
}

void HistogramSurvey::addLines(std::span<const Count> linesBySymbols)
{
    std::lock_guard lock(mutex_);
    for (std::size_t symbols = 1; symbols < linesBySymbols.size(); symbols++)
        if (linesBySymbols[symbols] > 0)
            counts_.addLines({.symbols = static_cast<Count>(symbols), .lines = linesBySymbols[symbols]});
}

void HistogramSurvey::addFile(Count symbols, const Densest &densest, const std::string &path)
{
    std::lock_guard lock(mutex_);
    counts_.addFile(symbols);
    if (densest.beats(densest_)) {
        densest_ = densest;
        densest_.path = path;
    }
}

int HistogramSurvey::appendReport(std::string &out, const Totals &totals, std::string_view symbols)
{
    std::lock_guard lock(mutex_);
    Distribution distribution = distributionOf(counts_, densest_, limits_);
    distribution.files = totals.files;
    distribution.symbols = symbols;
    if (json_)
        appendJsonDistribution(out, distribution);
    else if (totals.files > 0)
        appendTextDistribution(out, distribution, style_);
    return 0;
}

} // namespace cli
