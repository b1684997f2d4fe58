#include "report/writer.h"

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
    if (outcome.state == TargetState::Unnamed)
        say("cmeasure: invalid zero-length file name\n");
    else if (outcome.settingsFault)
        say("cmeasure: " + printablePath(outcome.reason) + "\n");
    else
        complain(target.request.path, outcome.reason.empty() ? std::strerror(outcome.error) : outcome.reason);
    // A fault in the settings is the user's to mend, as a usage error is.
    status_ = std::max(status_, outcome.settingsFault ? 2 : 1);
}

void FiguresWriter::take(Target &&target)
{
    const TargetState state = target.outcome.state;
    if (state == TargetState::Skipped)
        return;
    if (state == TargetState::Measured)
        count(target);
    std::optional<DirectoryRow> row;
    if (!directories_.take(target, row))
        emit(Row(std::move(target)));
    else if (row)
        emit(Row(std::move(*row)));
}

void FiguresWriter::emit(Row &&row)
{
    if (widthsFinal_)
        write(row);
    else
        hold(std::move(row));
}

int FiguresWriter::finish()
{
    if (!widthsFinal_) {
        format_.fit(totals_.figures());
        release();
    }
    const bool written = format_.total(out_.text, totals_);
    format_.close(out_.text, status_ == 0);
    flush();
    progress_.clear();
    if (!written)
        say("cmeasure: no file measured\n");
    return status_;
}

namespace {

// Whether a row of figures: a file measured or a directory's sums.
bool hasFigures(const std::variant<Target, DirectoryRow> &row)
{
    const Target *target = std::get_if<Target>(&row);
    return target == nullptr || target->outcome.state == TargetState::Measured;
}

Figures figuresOf(const std::variant<Target, DirectoryRow> &row)
{
    const Target *target = std::get_if<Target>(&row);
    return target != nullptr ? target->outcome.figures : std::get<DirectoryRow>(row).sums.figures();
}

} // namespace

// Once the sample is full, the columns are sized with room for the total.
void FiguresWriter::hold(Row &&row)
{
    const bool figures = hasFigures(row);
    if ((figures && heldRows_ == TABLE_SAMPLE_ROWS) || held_.size() == MOST_HELD) {
        format_.reserve(totals_, TOTAL_RESERVE_DIGITS);
        release();
        write(row);
        return;
    }
    if (figures) {
        format_.fit(figuresOf(row));
        heldRows_++;
    }
    held_.push_back(std::move(row));
}

// Writes what was held back, with the widths it gave; from then on every
// row is written as it comes, and a number too wide for its column widens
// its own row only.
void FiguresWriter::release()
{
    widthsFinal_ = true;
    for (const Row &row : held_)
        write(row);
    held_.clear();
    held_.shrink_to_fit();
}

void FiguresWriter::write(const Row &row)
{
    if (!hasFigures(row)) {
        complainAbout(std::get<Target>(row));
        return;
    }
    if (out_.text.empty())
        gathered_ = Clock::now();
    if (!headed_)
        format_.header(out_.text);
    headed_ = true;
    if (const Target *target = std::get_if<Target>(&row))
        format_.fileRow(out_.text, target->request.path, target->outcome.figures);
    else
        format_.directoryRow(out_.text, std::get<DirectoryRow>(row));
    if (out_.full())
        flush();
}

void ListWriter::take(Target &&target)
{
    const TargetState state = target.outcome.state;
    if (state == TargetState::Skipped || state == TargetState::Entered || state == TargetState::Left)
        return;
    if (state != TargetState::Listed) {
        complainAbout(target);
        return;
    }
    if (out_.text.empty())
        gathered_ = Clock::now();
    format_.listed(out_.text, target.request.path);
    if (out_.full())
        flush();
}

int ListWriter::finish()
{
    flush();
    return status_;
}

} // namespace cli
