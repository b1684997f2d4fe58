// --top=N: the N densest lines of the whole run, densest first, ties in
// output order, as the gate's diagnostics at limit 0 (the column of a
// line's first symbol) or, with --max-symbols, at its limit. Lines the
// allow marker allows are left out, as the gate leaves them. Memory holds N
// lines for each worker and for the run.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "report/survey.h"

namespace cli {

// A line of the report, and where it stands in the output order.
struct TopLine {
    Count symbols;
    std::size_t position; // of its file
    Count line;
    Count column;
    std::string path;
};

// Whether `a` comes before `b`: denser, or as dense and earlier.
bool comesFirst(const TopLine &a, const TopLine &b);

// The first `most` lines by comesFirst of those offered, in a heap whose
// front is the last of them.
class TopLines {
public:
    explicit TopLines(Count most) : most_(most) {}

    // Whether a line would be kept; `path` is copied only then.
    bool wouldKeep(const TopLine &line) const;
    void offer(TopLine &&line);
    // The symbols a line needs to be kept: once full, those of the last kept.
    Count least() const;
    std::vector<TopLine> takeInOrder();

private:
    Count most_;
    std::vector<TopLine> heap_;
};

class TopSurvey : public Survey {
public:
    // `limit`: of --max-symbols, if given.
    TopSurvey(Count most, std::optional<Count> limit, bool json) : most_(most), limit_(limit), json_(json), top_(most) {}

    std::unique_ptr<Tally> tally() override;
    int appendReport(std::string &out, const Totals &totals, std::string_view symbols) override;
    void sayAfterReport() override;
    bool gates() const override { return limit_.has_value(); }

    Count most() const { return most_; }
    Count limit() const { return limit_.value_or(0); }

    // What a tally hands over: its lines, and how many it left out as allowed.
    void addLines(TopLines &lines, Count allowed, bool overLimit);

private:
    Count most_;
    std::optional<Count> limit_;
    bool json_;
    std::mutex mutex_;
    TopLines top_;
    Count allowed_ = 0;
    bool overLimit_ = false;
};

} // namespace cli
