#include "report/line_counts.h"

#include <algorithm>
#include <cstdint>

namespace cli {

namespace {

constexpr Count MOST = INT64_MAX;

// The finer round numbers past EXACT, in tenths of a power of ten.
constexpr Count FINE_STEPS[] = {10, 12, 15, 20, 25, 30, 40, 50, 60, 70, 80, 90};

std::vector<Count> fineRoundsFrom(Count low)
{
    std::vector<Count> rounds;
    for (Count tenth = 1;; tenth *= 10) {
        for (const Count step : FINE_STEPS)
            if (step * tenth > low)
                rounds.push_back(step * tenth);
        if (tenth > MOST / 100)
            return rounds;
    }
}

} // namespace

Count roundUp(Count value)
{
    for (Count power = 1;; power *= 10) {
        for (const Count step : {1, 2, 5})
            if (step * power >= value)
                return step * power;
        if (power > MOST / 50)
            return MOST;
    }
}

LineCounts::LineCounts(std::span<const Count> limits) : edges_(fineRoundsFrom(EXACT))
{
    for (const Count limit : limits)
        if (limit > EXACT)
            edges_.push_back(limit);
    edges_.push_back(MOST);
    std::sort(edges_.begin(), edges_.end());
    edges_.erase(std::unique(edges_.begin(), edges_.end()), edges_.end());
    ranges_.resize(edges_.size());
}

std::size_t LineCounts::rangeOf(Count symbols) const
{
    return static_cast<std::size_t>(std::lower_bound(edges_.begin(), edges_.end(), symbols) - edges_.begin());
}

LineCounts::Counters &LineCounts::at(Count symbols)
{
    if (symbols > EXACT)
        return ranges_[rangeOf(symbols)];
    const auto index = static_cast<std::size_t>(symbols);
    if (exact_.size() <= index)
        exact_.resize(index + 1);
    return exact_[index];
}

void LineCounts::addLines(const Lines &added)
{
    Counters &counters = at(added.symbols);
    counters.lines += added.lines;
    counters.allowed += added.allowed;
    counters.most = std::max(counters.most, added.symbols);
    lines_ += added.lines;
}

void LineCounts::addFile(Count symbols)
{
    if (symbols > 0)
        at(symbols).files++;
}

Count LineCounts::atRank(Count rank) const
{
    Count seen = 0;
    for (std::size_t symbols = 0; symbols < exact_.size(); symbols++)
        if ((seen += exact_[symbols].lines) >= rank)
            return static_cast<Count>(symbols);
    for (const Counters &range : ranges_)
        if ((seen += range.lines) >= rank)
            return range.most;
    return 0;
}

LineCounts::Over LineCounts::over(Count limit) const
{
    Over over;
    const auto add = [&over](const Counters &counters) {
        over.lines += counters.lines - counters.allowed;
        over.allowed += counters.allowed;
        over.files += counters.files;
    };
    for (std::size_t symbols = static_cast<std::size_t>(std::max<Count>(limit, 0)) + 1; symbols < exact_.size();
         symbols++)
        add(exact_[symbols]);
    // A range counts whole when its lowest value is over the limit.
    for (std::size_t k = 0; k < ranges_.size(); k++)
        if ((k == 0 ? EXACT : edges_[k - 1]) >= limit)
            add(ranges_[k]);
    return over;
}

Count LineCounts::allOver(Count limit) const
{
    const Over lines = over(limit);
    return lines.lines + lines.allowed;
}

bool LineCounts::isEdge(Count limit) const
{
    return limit <= EXACT || std::binary_search(edges_.begin(), edges_.end(), limit);
}

} // namespace cli
