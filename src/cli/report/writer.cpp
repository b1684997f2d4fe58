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
    const config::FileSettings &settings = target.request.settings;
    codeOnly_ += settings.rules == Rules::C && settings.symbols == Symbols::Code ? 1 : 0;
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
    if (state == TargetState::Measured) {
        count(target);
        if (byDialect_)
            dialects_[static_cast<std::size_t>(target.outcome.dialect)].add(target.request.path, target.outcome.figures);
    }
    std::optional<DirectoryRow> row;
    if (!directories_.take(target, row))
        emit(Row(std::move(target)));
    else if (row)
        emit(Row(std::move(*row)));
}

int FiguresWriter::finish()
{
    if (!widthsFinal_) {
        format_.fit(totals_.figures(), totals_.densestPath);
        for (const Totals &sums : dialects_)
            format_.fit(sums.figures(), sums.densestPath);
        release();
    }
    if (sorted_)
        for (const SortedRow &row : sorted_->sorted())
            writeSorted(row);
    if (byDialect_)
        writeDialects();
    if (!changedSince_.empty() && !headed_) {
        format_.header(out_.text);
        headed_ = true;
    }
    // The dialects' rows come before the total, which then always ends them.
    const TotalNote note{.repeatsRow = !byDialect_ && widestRow_ == totals_.files,
                         .changedSince = changedSince_,
                         .symbols = symbolsOfTotal()};
    const bool written = format_.total(out_.text, totals_, note);
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

// The file that holds a row's densest line.
std::string_view densestPathOf(const std::variant<Target, DirectoryRow> &row)
{
    const Target *target = std::get_if<Target>(&row);
    return target != nullptr ? target->request.path : std::get<DirectoryRow>(row).sums.densestPath;
}

// What a sorted row keeps of a row: its path and figures, not the target
// (whose directory stays open while it is held).
SortedRow compacted(std::variant<Target, DirectoryRow> &&row)
{
    if (Target *target = std::get_if<Target>(&row))
        return FileRow{std::move(target->request.path), target->outcome.figures};
    return std::move(std::get<DirectoryRow>(row));
}

} // namespace

// Rows to sort are all held, the columns sized on every one; messages are
// written as they come, since the rows have no order to keep them in yet.
void FiguresWriter::emit(Row &&row)
{
    if (sorted_ && hasFigures(row)) {
        format_.fit(figuresOf(row), densestPathOf(row));
        sorted_->add(compacted(std::move(row)));
    } else if (sorted_ || widthsFinal_) {
        write(row);
    } else {
        hold(std::move(row));
    }
}

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
        format_.fit(figuresOf(row), densestPathOf(row));
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
    beginRow();
    if (const Target *target = std::get_if<Target>(&row)) {
        format_.fileRow(out_.text, target->request.path, target->outcome.figures);
        endRow(1);
        return;
    }
    const DirectoryRow &directory = std::get<DirectoryRow>(row);
    format_.directoryRow(out_.text, directory);
    endRow(directory.sums.files);
}

void FiguresWriter::writeSorted(const SortedRow &row)
{
    beginRow();
    if (const FileRow *file = std::get_if<FileRow>(&row)) {
        format_.fileRow(out_.text, file->path, file->figures);
        endRow(1);
        return;
    }
    const DirectoryRow &directory = std::get<DirectoryRow>(row);
    format_.directoryRow(out_.text, directory);
    endRow(directory.sums.files);
}

void FiguresWriter::writeDialects()
{
    constexpr std::string_view NAMES[] = {"C", "C++"};
    for (std::size_t k = 0; k < std::size(dialects_); k++) {
        beginRow();
        format_.dialectRow(out_.text, NAMES[k], dialects_[k]);
        endRow(0);
    }
}

void FiguresWriter::beginRow()
{
    if (out_.text.empty())
        gathered_ = Clock::now();
    if (!headed_)
        format_.header(out_.text);
    headed_ = true;
}

// `files`: how many files the row sums, for the total to know whether it
// would repeat one.
void FiguresWriter::endRow(Count files)
{
    widestRow_ = std::max(widestRow_, files);
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
