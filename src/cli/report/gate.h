// Everything of --max-symbols: the diagnostics of each file, written in
// output order however many there are, in bounded memory.
//
// Standard output passes between the writer and the worker measuring the
// oldest target not yet written, so that a file's diagnostics take at most
// a buffer however many there are, and still come out in order. It rests on
// these invariants:
//  1. The turn is a window position. The writer's `taken_` counts every
//     target it has taken out of the window, skipped and failed ones too,
//     so it is the position of the oldest target not yet written: the one
//     whose worker may write.
//  2. The writer passes the turn on (beforeWait) before every wait for
//     finished targets, once it has written everything it took. Otherwise
//     a worker waiting for the turn and the writer waiting for that
//     worker's target would wait for each other for ever.
//  3. A worker writes only while the turn is at its target's position
//     (Reporter), and the writer only between waits; the writer takes that
//     target only once it is finished, when its worker writes no more. So
//     at most one of them writes at any moment.
//  4. Either side ends the run on a write error (endOnWriteError), so that
//     neither waits for the other once output has failed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "allow_marker.h"
#include "c_rules.h"
#include "changes/changed_files.h"
#include "config/baseline.h"
#include "counting.h"
#include "report/format.h"
#include "run/window.h"
#include "report/writer.h"

namespace cli {

// A slot may hold a share of this much diagnostics not yet written
// whatever the others hold, from 1 KiB to 64 KiB; what the slots hold
// beyond their shares may take this much in all before workers write their
// own. So they take at most 16 MiB and the window's shares, usually 8 MiB,
// and a worker waits for its turn only when some file has a great many.
constexpr std::size_t HELD_DIAGNOSTICS = 16 << 20;
constexpr std::size_t SHARED_DIAGNOSTICS = 8 << 20;

// Whose turn it is to write: a window position.
class Turn {
public:
    void pass(std::size_t position);
    void await(std::size_t position);

private:
    std::mutex mutex_;
    std::condition_variable passed_;
    std::size_t position_ = 0;
};

// What the workers and the writer share.
struct GateRun {
    GateRun(Count limit, Format &format, std::size_t slots, bool outputClosed);

    Count limit;
    Format &format; // the workers call only its const members
    std::size_t share; // the diagnostics a slot may hold whatever the others hold
    bool outputClosed;
    std::atomic<std::size_t> held = 0; // bytes of diagnostics not yet written beyond each slot's share, in all
    std::atomic<Count> allowed = 0;    // lines over the limit that hold the allow mark
    bool recording = false;            // --write-baseline: lines over the limit are recorded, not reported
    Turn turn;

    // Findings made by workers, as they are to be written, in order: the
    // separator before the first of the run is dropped. Every finding of
    // the run passes through here, by whoever has the turn.
    std::string_view inOrder(std::string_view findings);

    // Of `size` bytes of diagnostics a slot holds, those beyond its share.
    std::size_t beyondShare(std::size_t size) const { return size > share ? size - share : 0; }

private:
    bool anyFinding_ = false;
};

// The worker's side: gathers the diagnostics of one file into its outcome;
// when they fill their buffer, waits for the file's turn and writes them.
class Reporter {
public:
    // `reported`: with --new-from-rev, the only lines to report. `match`:
    // the file's lines in its baseline, which are not reported.
    Reporter(GateRun &gate, std::size_t position, const Request &request, Outcome &outcome,
             config::BaselineMatch *match)
        : gate_(gate), position_(position), path_(request.path), limit_(request.settings.limit),
          reported_(request.reported), outcome_(outcome), match_(match)
    {
    }

    Count limit() const { return limit_; }
    bool fingerprints() const { return gate_.format.fingerprints(); }

    // With --write-baseline: the lines over the limit, not allowed, in order.
    const std::vector<Count> &overLines() const { return overLines_; }

    // The menu's rules report pieces, whose text is searched for the allow
    // marker; C's rules report lines, and find the marker in their comments
    // themselves.
    static void report(void *context, const PieceOverLimit &piece);
    static void reportLine(void *context, const crules::LineOverLimit &line);

private:
    void add(const Finding &finding);
    bool inBaseline(Count line);
    bool isReported(Count line);
    void append(const Finding &finding);
    void write();

    GateRun &gate_;
    std::size_t position_;
    const std::string &path_;
    Count limit_;
    std::optional<std::span<const changed::LineRange>> reported_; // those not yet passed
    Outcome &outcome_;
    config::BaselineMatch *match_;
    Count baselinedLine_ = 0; // the last line found in the baseline
    std::vector<Count> overLines_;
    std::optional<std::string> name_; // the path as the format writes it, made on the first finding
};

// The writer's side: the diagnostics each worker left, in order, and a
// message where a file could not be read to its end.
class DiagnosticsWriter : public Writer {
public:
    // Only a moment's gathering: the targets behind the oldest may be
    // waiting for their turn to write, which is passed on only once the
    // writer has taken them.
    static constexpr milliseconds GATE_GATHERING{1};

    // `changes`: with --new-from-rev, what changed, so that a run that
    // passed over every file as unchanged passes. `baselines`: those the
    // run reads, whose entries no longer found are told of at the end.
    // `recordIn`: with --write-baseline, the file.
    DiagnosticsWriter(GateRun &gate, bool progress, const changed::ChangedFiles *changes,
                      const std::map<std::string, std::unique_ptr<config::Baseline>> *baselines = nullptr,
                      std::optional<std::string> recordIn = std::nullopt);

    void beforeWait() override;
    milliseconds gathering() const override { return GATE_GATHERING; }
    void take(Target &&target) override;
    int finish() override;

private:
    void sayHowItEnded();
    void record(const Target &target);
    void writeRecord();

    GateRun &gate_;
    const changed::ChangedFiles *changes_;
    const std::map<std::string, std::unique_ptr<config::Baseline>> *baselines_;
    std::optional<std::string> recordIn_;
    std::vector<std::pair<std::string, std::string>> recorded_; // (path, text) of each line over the limit
    std::size_t taken_ = 0; // targets taken out of the window, skipped ones included (invariant 1)
    bool failed_ = false;   // a path could not be read
};

} // namespace cli
