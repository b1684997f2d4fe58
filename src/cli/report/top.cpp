#include "report/top.h"

#include <algorithm>
#include <tuple>

#include "report/gate.h"
#include "report/output.h"
#include "report/stdstreams.h"

namespace cli {

namespace {

class TopTally final : public Tally {
public:
    explicit TopTally(TopSurvey &survey) : Tally(survey.limit()), survey_(survey), top_(survey.most()) {}

    void end(const crules::Figures & /*figures*/) override {}

    void handOver() override { survey_.addLines(top_, allowed_, overLimit_); }

private:
    void add(const LineFact &line) override
    {
        if (line.allowed) {
            allowed_++;
            return;
        }
        overLimit_ = true;
        TopLine candidate{
            .symbols = line.symbols, .position = position_, .line = line.line, .column = line.column, .path = {}};
        if (!top_.wouldKeep(candidate))
            return;
        candidate.path = *path_;
        top_.offer(std::move(candidate));
        // Without a limit no line need be counted but those kept: a line
        // less dense than the last of them is not.
        if (!survey_.gates())
            raiseFloor(top_.least());
    }

    TopSurvey &survey_;
    TopLines top_;
    Count allowed_ = 0;
    bool overLimit_ = false;
};

void appendDiagnostic(std::string &out, const TopLine &line, std::optional<Count> limit, bool json)
{
    if (json) {
        out += "{\"path\": ";
        appendJsonPath(out, line.path);
        out += ", \"line\": " + std::to_string(line.line) + ", \"column\": " + std::to_string(line.column) +
               ", \"symbols\": " + std::to_string(line.symbols);
        out += limit ? ", \"limit\": " + std::to_string(*limit) + "}\n" : "}\n";
        return;
    }
    out += printablePath(line.path) + ":" + std::to_string(line.line) + ":" + std::to_string(line.column) + ": " +
           std::to_string(line.symbols) + " symbols";
    out += limit ? " (limit " + std::to_string(*limit) + ")\n" : "\n";
}

} // namespace

bool comesFirst(const TopLine &a, const TopLine &b)
{
    if (a.symbols != b.symbols)
        return a.symbols > b.symbols;
    return std::tie(a.position, a.line, a.column) < std::tie(b.position, b.line, b.column);
}

Count TopLines::least() const
{
    return static_cast<Count>(heap_.size()) < most_ ? 0 : heap_.front().symbols;
}

bool TopLines::wouldKeep(const TopLine &line) const
{
    return static_cast<Count>(heap_.size()) < most_ || comesFirst(line, heap_.front());
}

void TopLines::offer(TopLine &&line)
{
    if (!wouldKeep(line))
        return;
    if (static_cast<Count>(heap_.size()) == most_) {
        std::pop_heap(heap_.begin(), heap_.end(), comesFirst);
        heap_.pop_back();
    }
    heap_.push_back(std::move(line));
    std::push_heap(heap_.begin(), heap_.end(), comesFirst);
}

std::vector<TopLine> TopLines::takeInOrder()
{
    std::sort_heap(heap_.begin(), heap_.end(), comesFirst);
    return std::move(heap_);
}

std::unique_ptr<Tally> TopSurvey::tally()
{
    return std::make_unique<TopTally>(*this);
}

void TopSurvey::addLines(TopLines &lines, Count allowed, bool overLimit)
{
    std::lock_guard lock(mutex_);
    for (TopLine &line : lines.takeInOrder())
        top_.offer(std::move(line));
    allowed_ += allowed;
    overLimit_ = overLimit_ || overLimit;
}

// With a limit, a line over it fails the run as the gate's does.
int TopSurvey::appendReport(std::string &out, const Totals & /*totals*/, std::string_view /*symbols*/)
{
    std::lock_guard lock(mutex_);
    for (const TopLine &line : top_.takeInOrder())
        appendDiagnostic(out, line, limit_, json_);
    return limit_ && overLimit_ ? 1 : 0;
}

void TopSurvey::sayAfterReport()
{
    if (limit_ && allowed_ > 0)
        say("cmeasure: " + std::to_string(allowed_) + (allowed_ == 1 ? " line" : " lines") +
            " over the limit allowed by '" + std::string(ALLOW_MARKER) + "'\n");
}

} // namespace cli
