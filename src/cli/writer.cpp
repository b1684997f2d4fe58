#include "writer.h"

#include <algorithm>
#include <cstring>

namespace cli {

Writer::milliseconds Writer::patience() const
{
    milliseconds patience = progress_.shown() ? Progress::PERIOD : std::chrono::hours(24);
    if (!out_.text.empty())
        patience = std::min(patience, std::chrono::ceil<milliseconds>(gathered_ + GATHERING - Clock::now()));
    return std::max(patience, milliseconds(0));
}

void Writer::tick()
{
    if (!out_.text.empty() && Clock::now() >= gathered_ + GATHERING)
        flush();
    progress_.update(totals_.files, bytes_);
}

void Writer::count(const Target &target)
{
    totals_.add(target.request.path, target.outcome.figures);
    bytes_ += target.outcome.bytes;
}

void Writer::flush(std::string_view bytes)
{
    if (const int error = out_.flush(bytes); error != 0) {
        progress_.clear();
        endOnWriteError(error);
    }
}

void Writer::complainAbout(const Target &target)
{
    flush();
    progress_.clear();
    const Outcome &outcome = target.outcome;
    if (outcome.state == State::Unnamed)
        say("cmeasure: invalid zero-length file name\n");
    else
        complain(target.request.path, outcome.reason.empty() ? std::strerror(outcome.error) : outcome.reason);
    status_ = 1;
}

void FiguresWriter::take(Target &&target)
{
    if (target.outcome.state == State::Skipped)
        return;
    if (target.outcome.state == State::Measured)
        count(target);
    if (json_ || widthsFinal_)
        write(target);
    else
        hold(std::move(target));
}

int FiguresWriter::finish()
{
    if (!json_ && !widthsFinal_) {
        widths_.fit(totals_.figures());
        release();
    }
    if (json_)
        appendJsonTotal(out_.text, totals_);
    else if (totals_.files > 1)
        appendTableTotal(out_.text, widths_, totals_);
    flush();
    progress_.clear();
    if (!json_ && totals_.files == 0)
        say("cmeasure: no file measured\n");
    return status_;
}

void FiguresWriter::hold(Target &&target)
{
    const bool row = target.outcome.state == State::Measured;
    if ((row && heldRows_ == TABLE_SAMPLE_ROWS) || held_.size() == MOST_HELD) {
        release();
        write(target);
        return;
    }
    if (row) {
        widths_.fit(target.outcome.figures);
        heldRows_++;
    }
    held_.push_back(std::move(target));
}

// Writes what was held back, with the widths it gave; from then on every
// row is written as it comes, and a number too wide for its column widens
// its own row only.
void FiguresWriter::release()
{
    widthsFinal_ = true;
    for (const Target &target : held_)
        write(target);
    held_.clear();
    held_.shrink_to_fit();
}

void FiguresWriter::write(const Target &target)
{
    if (target.outcome.state != State::Measured) {
        complainAbout(target);
        return;
    }
    if (out_.text.empty())
        gathered_ = Clock::now();
    if (json_) {
        appendJsonRow(out_.text, target.request.path, target.outcome.figures);
    } else {
        if (!headed_)
            appendTableHeader(out_.text, widths_);
        headed_ = true;
        appendTableRow(out_.text, widths_, target.request.path, target.outcome.figures);
    }
    if (out_.full())
        flush();
}

} // namespace cli
