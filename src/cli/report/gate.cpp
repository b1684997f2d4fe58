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

GateRun::GateRun(Count limit, Format &format, std::size_t slots, bool outputClosed)
    : limit(limit), format(format), share(std::clamp<std::size_t>(SHARED_DIAGNOSTICS / slots, 1 << 10, 64 << 10)),
      outputClosed(outputClosed)
{
    mallopt(M_MMAP_THRESHOLD, OWN_MAPPING_FROM);
}

std::string_view GateRun::inOrder(std::string_view findings)
{
    if (findings.empty())
        return findings;
    if (!anyFinding_ && findings.starts_with(format.separator()))
        findings.remove_prefix(format.separator().size());
    anyFinding_ = true;
    return findings;
}

namespace {

// FNV-1a over a piece's symbols, as the engine hashes a line's under C's
// rules.
std::uint64_t hashOfSymbols(std::string_view text)
{
    std::uint64_t hash = crules::TEXT_HASH_START;
    for (const char c : text)
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\v' && c != '\f' && c != 0)
            hash = (hash ^ static_cast<unsigned char>(c)) * crules::TEXT_HASH_PRIME;
    return hash;
}

} // namespace

void Reporter::report(void *context, const PieceOverLimit &piece)
{
    auto &self = *static_cast<Reporter *>(context);
    self.add({.line = piece.line,
              .column = piece.column,
              .characterColumn = piece.characterColumn,
              .symbols = piece.symbols,
              .limit = self.limit_,
              .textHash = self.fingerprints() ? hashOfSymbols(piece.text) : 0,
              .allowed = holdsAllowMarker(piece.text)});
}

void Reporter::reportLine(void *context, const crules::LineOverLimit &line)
{
    auto &self = *static_cast<Reporter *>(context);
    self.add({.line = line.line,
              .column = line.column,
              .characterColumn = line.characterColumn,
              .symbols = line.symbols,
              .limit = self.limit_,
              .textHash = line.textHash,
              .allowed = line.allowed});
}

// Pieces come in the order of their lines, so the ranges passed are dropped.
bool Reporter::isReported(Count line)
{
    return changed::holdsInOrder(reported_, line);
}

void Reporter::add(const Finding &finding)
{
    // A line of the baseline takes its entry whether or not it is reported,
    // so that only entries of lines gone are counted as no longer found.
    if (!finding.allowed && !gate_.recording && inBaseline(finding.line))
        return;
    if (!isReported(finding.line))
        return;
    if (finding.allowed) {
        gate_.allowed.fetch_add(1, std::memory_order_relaxed);
    } else if (gate_.recording) {
        // The menu's rules report a line in pieces: it is recorded once.
        if (overLines_.empty() || overLines_.back() != finding.line)
            overLines_.push_back(finding.line);
        return;
    } else {
        outcome_.overLimit = true;
    }
    // A SARIF log shows an allowed line as a suppressed result; the other
    // reports leave it out.
    if (!finding.allowed || gate_.format.showsAllowed())
        append(finding);
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

void Reporter::append(const Finding &finding)
{
    const std::size_t before = gate_.beyondShare(outcome_.diagnostics.size());
    if (!name_)
        name_ = gate_.format.fileName(path_);
    gate_.format.finding(outcome_.diagnostics, *name_, finding);
    // Nearly every file's diagnostics stay within the slot's share: the
    // count the workers share, whose cache line they would pass to and fro
    // at each finding, is touched only past it.
    const std::size_t added = gate_.beyondShare(outcome_.diagnostics.size()) - before;
    if (added != 0 && gate_.held.fetch_add(added, std::memory_order_relaxed) + added > HELD_DIAGNOSTICS)
        write();
}

void Reporter::write()
{
    gate_.turn.await(position_); // invariant 3
    writeOrEnd(gate_.outputClosed, gate_.inOrder(outcome_.diagnostics));
    gate_.held.fetch_sub(gate_.beyondShare(outcome_.diagnostics.size()), std::memory_order_relaxed);
    outcome_.diagnostics.clear();
}

DiagnosticsWriter::DiagnosticsWriter(GateRun &gate, bool progress, const changed::ChangedFiles *changes,
                                     const std::map<std::string, std::unique_ptr<config::Baseline>> *baselines,
                                     std::optional<std::string> recordIn)
    : Writer(gate.outputClosed, progress), gate_(gate), changes_(changes), baselines_(baselines),
      recordIn_(std::move(recordIn))
{
    gate_.recording = recordIn_.has_value();
    // Written before any worker may write: the turn passes on only once
    // this is flushed (invariant 2).
    gate_.format.header(out_.text);
    // Until the end is written, a closing that says the run did not end
    // well stands after what is written, for a write that fails.
    std::string closing;
    gate_.format.close(closing, false);
    if (!closing.empty())
        keepClosed(std::move(closing));
    flush();
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
    if (outcome.state == TargetState::Skipped)
        return;
    if (outcome.state == TargetState::Measured)
        count(target);
    if (outcome.overLimit)
        status_ = std::max(status_, 1);
    if (recordIn_)
        record(target);
    // Many are written as they are, rather than copied first.
    const std::string_view diagnostics = gate_.inOrder(outcome.diagnostics);
    if (diagnostics.size() >= StdoutBuffer::FULL)
        flush(diagnostics);
    else
        out_.text += diagnostics;
    assert(gate_.held.load() >= gate_.beyondShare(outcome.diagnostics.size()));
    gate_.held.fetch_sub(gate_.beyondShare(outcome.diagnostics.size()), std::memory_order_relaxed);
    if (outcome.state != TargetState::Measured) {
        failed_ = true;
        complainAbout(target);
    }
    else if (out_.full())
        flush();
}

int DiagnosticsWriter::finish()
{
    stopKeepingClosed();
    gate_.format.close(out_.text, !failed_);
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
