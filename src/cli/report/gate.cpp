#include "report/gate.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <malloc.h>

#include "report/stdstreams.h"

namespace cli {

void Turn::pass(std::size_t position)
{
    std::lock_guard lock(mutex_);
    position_ = position;
    passed_.notify_all();
}

void Turn::await(std::size_t position)
{
    std::unique_lock lock(mutex_);
    passed_.wait(lock, [&] { return position_ == position; });
}

namespace {

// A file's diagnostics are made by its worker, in that thread's malloc
// arena, and freed by the writer. An arena keeps what is freed in it for
// its own thread to use again; with many workers, up to 8 arenas a
// processor could each keep as much as all the workers hold at a moment,
// hundreds of MiB at -j 256. Buffers of 128 KiB and more are mapped on their own instead,
// and unmapped when freed, whichever thread frees them.
constexpr int OWN_MAPPING_FROM = 128 << 10;

} // namespace

bool holdsAllowMarker(std::string_view text)
{
    char quote = 0; // of the literal the text is in
    for (std::size_t at = 0; at + 1 < text.size(); at++) {
        const char c = text[at];
        if (quote != 0) {
            if (c == '\\')
                at++; // the escaped character
            else if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '/' && (text[at + 1] == '/' || text[at + 1] == '*')) {
            const std::size_t end = text[at + 1] == '/' ? text.size() : text.find("*/", at + 2);
            if (text.substr(at + 2, end - (at + 2)).find(ALLOW_MARKER) != std::string_view::npos)
                return true;
            if (end >= text.size())
                return false;
            at = end + 1;
        }
    }
    return false;
}

Gate::Gate(Count limit, Report report, std::size_t slots, bool outputClosed)
    : limit(limit), report(report), share(std::clamp<std::size_t>(SHARED_DIAGNOSTICS / slots, 1 << 10, 64 << 10)),
      outputClosed(outputClosed), log(limit)
{
    mallopt(M_MMAP_THRESHOLD, OWN_MAPPING_FROM);
}

// Pieces come in the order of their lines, so the ranges passed are dropped.
bool Reporter::isReported(Count line)
{
    return changed::holdsInOrder(reported_, line);
}

void Reporter::add(const PieceOverLimit &piece, bool allowed)
{
    // A line of the baseline takes its entry whether or not it is reported,
    // so that only entries of lines gone are counted as no longer found.
    if (!allowed && !gate_.recording && inBaseline(piece.line))
        return;
    if (!isReported(piece.line))
        return;
    if (allowed) {
        gate_.allowed.fetch_add(1, std::memory_order_relaxed);
    } else if (gate_.recording) {
        // The menu's rules report a line in pieces: it is recorded once.
        if (overLines_.empty() || overLines_.back() != piece.line)
            overLines_.push_back(piece.line);
        return;
    } else {
        outcome_.overLimit = true;
    }
    // A SARIF log shows an allowed line as a suppressed result; the other
    // reports leave it out.
    if (!allowed || gate_.report == Report::Sarif)
        append(piece, allowed);
}

// A line the baseline holds takes one of its entries with its first piece;
// its later pieces follow it.
bool Reporter::inBaseline(Count line)
{
    if (match_ == nullptr || (baselinedLine_ != line && !match_->take(line)))
        return false;
    baselinedLine_ = line;
    return true;
}

void Reporter::append(const PieceOverLimit &piece, bool allowed)
{
    const std::size_t before = outcome_.diagnostics.size();
    if (gate_.report == Report::Sarif) {
        if (!results_)
            results_.emplace(path_, limit_);
        results_->append(outcome_.diagnostics, piece, allowed);
    } else {
        if (!diagnostics_)
            diagnostics_.emplace(path_, limit_, gate_.report == Report::Json);
        diagnostics_->append(outcome_.diagnostics, piece);
    }
    const std::size_t added = outcome_.diagnostics.size() - before;
    if (gate_.held.fetch_add(added, std::memory_order_relaxed) + added > HELD_DIAGNOSTICS &&
        outcome_.diagnostics.size() >= gate_.share)
        write();
}

void Reporter::write()
{
    gate_.turn.await(position_); // invariant 3
    writeOrEnd(gate_.outputClosed, gate_.report == Report::Sarif ? gate_.log.results(outcome_.diagnostics)
                                                                  : std::string_view(outcome_.diagnostics));
    gate_.held.fetch_sub(outcome_.diagnostics.size(), std::memory_order_relaxed);
    outcome_.diagnostics.clear();
}

DiagnosticsWriter::DiagnosticsWriter(Gate &gate, bool progress, const changed::ChangedFiles *changes,
                                     const std::map<std::string, std::unique_ptr<config::Baseline>> *baselines,
                                     std::optional<std::string> recordIn)
    : Writer(gate.outputClosed, progress), gate_(gate), changes_(changes), baselines_(baselines),
      recordIn_(std::move(recordIn))
{
    gate_.recording = recordIn_.has_value();
    // Written before any worker may write: the turn passes on only once
    // this is flushed (invariant 2).
    if (gate_.report == Report::Sarif)
        gate_.log.appendOpening(out_.text);
}

void DiagnosticsWriter::beforeWait()
{
    flush();
    gate_.turn.pass(taken_); // invariant 2
}

// The diagnostics the worker left, then the message if the file could not
// be read to its end: those found before the failure stand.
void DiagnosticsWriter::take(Target &&target)
{
    taken_++; // before anything else, skipped targets too (invariant 1)
    const Outcome &outcome = target.outcome;
    if (outcome.state == State::Skipped)
        return;
    if (outcome.state == State::Measured)
        count(target);
    if (outcome.overLimit)
        status_ = std::max(status_, 1);
    if (recordIn_)
        record(target);
    // Many are written as they are, rather than copied first.
    const std::string_view diagnostics =
        gate_.report == Report::Sarif ? gate_.log.results(outcome.diagnostics) : std::string_view(outcome.diagnostics);
    if (diagnostics.size() >= StdoutBuffer::FULL)
        flush(diagnostics);
    else
        out_.text += diagnostics;
    assert(gate_.held.load() >= outcome.diagnostics.size());
    gate_.held.fetch_sub(outcome.diagnostics.size(), std::memory_order_relaxed);
    if (outcome.state != State::Measured) {
        failed_ = true;
        complainAbout(target);
    }
    else if (out_.full())
        flush();
}

int DiagnosticsWriter::finish()
{
    if (gate_.report == Report::Sarif)
        sarif::Log::appendClosing(out_.text, !failed_);
    flush();
    progress_.clear();
    if (recordIn_)
        writeRecord();
    sayHowItEnded();
    return status_;
}

// The lines over the limit of a file, for the baseline; a file that could
// not be read again (a pipe) is said to be left out of it.
void DiagnosticsWriter::record(const Target &target)
{
    const Outcome &outcome = target.outcome;
    if (!outcome.overTextsRead) {
        complain(target.request.path, "lines over the limit not recorded: the file cannot be read again");
        status_ = std::max(status_, 1);
    }
    for (const std::string &text : outcome.overTexts)
        recorded_.emplace_back(target.request.settings.baselineKey, text);
}

void DiagnosticsWriter::writeRecord()
{
    const std::size_t entries = recorded_.size();
    if (const int error = config::writeBaseline(*recordIn_, std::move(recorded_)); error != 0) {
        complain(*recordIn_, std::strerror(error));
        status_ = std::max(status_, 1);
        return;
    }
    say("cmeasure: " + std::to_string(entries) + (entries == 1 ? " line" : " lines") + " over the limit recorded in " +
        printablePath(*recordIn_) + "\n");
}

// A gate that measured nothing has not passed, unless every file it met was
// passed over as unchanged; and allowed lines are never silent.
void DiagnosticsWriter::sayHowItEnded()
{
    if (totals_.files == 0 && changes_ != nullptr && changes_->passedOver() > 0) {
        say("cmeasure: no changed file\n");
    } else if (totals_.files == 0) {
        say("cmeasure: no file measured\n");
        status_ = std::max(status_, 1);
    }
    Count stale = 0;
    if (baselines_ != nullptr)
        for (const auto &[path, baseline] : *baselines_)
            stale += baseline->stale();
    if (stale > 0)
        say("cmeasure: " + std::to_string(stale) + (stale == 1 ? " baseline entry" : " baseline entries") +
            " no longer found\n");
    const Count allowed = gate_.allowed.load(std::memory_order_relaxed);
    if (allowed > 0)
        say("cmeasure: " + std::to_string(allowed) + (allowed == 1 ? " line" : " lines") +
            " over the limit allowed by '" + std::string(ALLOW_MARKER) + "'\n");
}

} // namespace cli
