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
    if (outcome.state == State::Unnamed)
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
    const State state = target.outcome.state;
    if (state == State::Skipped)
        return;
    if (state == State::Entered || state == State::Left) {
        takeMark(target);
        return;
    }
    if (state == State::Measured) {
        count(target);
        if (directories_.inside()) {
            directories_.add(target.request.path, target.outcome.figures);
            return;
        }
    }
    if (json_ || widthsFinal_)
        write(Row(std::move(target)));
    else
        hold(Row(std::move(target)));
}

// A directory entered, or left: then its row, when it is within the depth.
void FiguresWriter::takeMark(const Target &target)
{
    if (target.outcome.state == State::Entered) {
        directories_.enter();
        return;
    }
    std::optional<DirectoryRow> row = directories_.leave(target.request.path);
    if (!row)
        return;
    if (json_ || widthsFinal_)
        write(Row(std::move(*row)));
    else
        hold(Row(std::move(*row)));
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

namespace {

// Whether a row of figures: a file measured or a directory's sums.
bool hasFigures(const std::variant<Target, DirectoryRow> &row)
{
    const Target *target = std::get_if<Target>(&row);
    return target == nullptr || target->outcome.state == State::Measured;
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
        widths_.reserve(totals_, TOTAL_RESERVE_DIGITS);
        release();
        write(row);
        return;
    }
    if (figures) {
        widths_.fit(figuresOf(row));
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
    if (!json_ && !headed_)
        appendTableHeader(out_.text, widths_);
    headed_ = true;
    if (const Target *target = std::get_if<Target>(&row)) {
        if (json_)
            appendJsonRow(out_.text, target->request.path, target->outcome.figures);
        else
            appendTableRow(out_.text, widths_, target->request.path, target->outcome.figures);
    } else if (json_) {
        appendJsonDirectory(out_.text, std::get<DirectoryRow>(row));
    } else {
        appendTableDirectory(out_.text, widths_, std::get<DirectoryRow>(row));
    }
    if (out_.full())
        flush();
}

void ListWriter::take(Target &&target)
{
    const State state = target.outcome.state;
    if (state == State::Skipped || state == State::Entered || state == State::Left)
        return;
    if (state != State::Listed) {
        complainAbout(target);
        return;
    }
    if (out_.text.empty())
        gathered_ = Clock::now();
    if (json_) {
        out_.text += "{\"path\": ";
        appendJsonPath(out_.text, target.request.path);
        out_.text += "}\n";
    } else {
        out_.text += printablePath(target.request.path);
        out_.text += '\n';
    }
    if (out_.full())
        flush();
}

int ListWriter::finish()
{
    flush();
    return status_;
}

} // namespace cli
