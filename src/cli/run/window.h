// The window of work in flight: the targets of a run in output order, in a
// ring of a fixed number of slots. The walk adds them at one end, workers
// measure them in any order, and the writer takes them out at the other end
// in order, so that memory depends on the window and never on the number of
// files.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "changes/changed_lines.h"
#include "counting.h"
#include "c_rules.h"
#include "config/file_settings.h"
#include "find/walk.h"

namespace cli {

// How a target is opened.
enum class Origin {
    Named,         // a path given on the command line, opened as given
    Walked,        // found by a walk, opened relative to its directory
    StandardInput, // -, read once every target before it is finished
};

// What has become of a target.
enum class TargetState {
    Waiting,   // for a worker
    Measuring, // a worker has it
    Measured,  // its figures are known
    Skipped,   // no longer a regular file when a worker opened it: passed over
    Failed,    // could not be opened or read: `reason`, or else `error`, says why
    Unnamed,   // a zero-length path
    Listed,    // with --list: a path to write, never opened
    Entered,   // with directory rows: a mark where the walk enters the directory `path`
    Left,      // and where it leaves it
};

// What to measure: the part of a target that the walk fills in.
struct Request {
    std::string path;
    Origin origin = Origin::Named;
    std::shared_ptr<const OpenDirectory> directory = {}; // walked: where `name` lies
    std::string name = {};
    // With --new-from-rev: the only lines whose diagnostics are reported.
    std::optional<std::span<const changed::LineRange>> reported = {};
    config::FileSettings settings = {}; // of its configuration and the command line
};

// What became of it: the part that a worker fills in, or the walk when it
// already knows (a failure to read a directory, an empty name).
struct Outcome {
    TargetState state = TargetState::Waiting;
    int error = 0;           // errno, when Failed
    std::string reason = {}; // what a walk said of a failure
    crules::Figures figures = {};
    crules::Dialect dialect = crules::Dialect::C; // what C's rules read it as
    Count bytes = 0; // the file's size, when the run shows progress
    // With --max-symbols: the diagnostics the worker has not written itself,
    // and whether there was any at all.
    std::string diagnostics = {};
    bool overLimit = false;
    bool settingsFault = false; // Failed for a fault in the settings, which `reason` states whole
    // With --write-baseline: the texts of its lines over the limit, and
    // whether they could be read.
    std::vector<std::string> overTexts = {};
    bool overTextsRead = true;
};

struct Target {
    Request request;
    Outcome outcome = {};
};

// One target for a worker, handed over by value so that nothing in the
// window is touched outside its lock.
struct Job {
    std::size_t position;
    Request request;
};

// What a worker made of its job.
struct Finished {
    std::size_t position;
    Outcome outcome;
};

class Window {
public:
    explicit Window(std::size_t slots);

    // Adds targets after all the others, and empties `targets`; waits while
    // every slot is taken.
    void add(std::vector<Target> &targets);

    // Says that no target will be added any more.
    void complete();

    // Records what a worker made of the target it took last, if any, and
    // hands it the oldest target waiting for a worker. Standard input is
    // handed out only once every target before it is finished, so that a
    // path before it that reads the same input (/dev/stdin, a FIFO fed by the
    // same writer) has read it first. Waits while there is none; empty once
    // every target is handed out and the window is complete.
    // What `done` holds is moved into the window.
    std::optional<Job> take(std::optional<Finished> &done);

    // How long takeFinished waits: up to `patience` for the oldest target
    // to finish, then up to `gathering` for a quarter of the window to be
    // ready behind it.
    struct Waits {
        std::chrono::milliseconds patience;
        std::chrono::milliseconds gathering;
    };

    // Moves the oldest finished targets, in order, into `into`, and frees
    // their slots, after the waits of `waits`. Returns false once every
    // target has been taken out and none will follow.
    bool takeFinished(std::vector<Target> &into, Waits waits);

    // Targets added and not yet taken out: never more than the slots.
    std::size_t inFlight();

private:
    Target &slot(std::size_t position) { return slots_[position % capacity_]; }
    std::size_t free() const;
    std::optional<std::size_t> nextForWorker();
    bool standardInputsTurn() const;
    void passFinished();
    void notifyWorkers(std::size_t waiting);

    std::mutex mutex_;
    std::condition_variable space_;    // for the walk: a slot was freed
    std::condition_variable work_;     // for the workers: a target to take
    std::condition_variable finished_; // for the writer: the oldest is finished
    // Reserved whole, filled as the window first fills: a run of a few
    // targets never touches the memory of thousands of slots.
    std::vector<Target> slots_;
    std::size_t capacity_;
    // Positions count every target ever added; a slot is a position modulo
    // the number of slots. head_ <= unfinished_, next_ <= tail_.
    std::size_t head_ = 0;       // the oldest target not taken out
    std::size_t unfinished_ = 0; // the oldest target not finished
    std::size_t next_ = 0;       // no target before it waits for a worker, but standard input
    std::size_t tail_ = 0;       // where the next target goes
    std::deque<std::size_t> inputs_; // standard input targets waiting for a worker
    std::size_t wakeWriterAt_;       // finished targets worth waking the writer for
    std::size_t wakeWalkAt_;         // free slots worth waking a waiting walk for
    bool walkWaits_ = false;
    bool complete_ = false;
};

} // namespace cli
