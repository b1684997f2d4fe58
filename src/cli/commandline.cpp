#include "commandline.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sched.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

#include "counting.h"
#include "descriptors.h"
#include "ignore.h"
#include "namelist.h"
#include "options.h"
#include "output.h"
#include "walk.h"
#include "window.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// By default, 4 workers per processor, at least 8 and at most
// Options::MOST_JOBS: a read that waits for a cold disk holds a worker, not
// a processor.
constexpr unsigned WORKERS_PER_PROCESSOR = 4;
constexpr unsigned FEWEST_DEFAULT_JOBS = 8;
// A window this deep lets the walk run ahead of the workers and the writer
// take rows in large batches: at 64 per worker, two workers on a tree of
// small files spent a fifth of the run waiting on one another.
constexpr std::size_t SLOTS_PER_WORKER = 512;

// The table's columns are sized on its first 1 000 rows. Messages among
// them wait with them, up to this many rows and messages in all.
constexpr Count TABLE_SAMPLE_ROWS = 1000;
constexpr std::size_t MOST_HELD = 10000;

// Rows wait at most this long to be written: enough to gather the rows of a
// fast run into large writes, short enough for them to appear as they are
// measured.
constexpr milliseconds GATHERING{10};
constexpr milliseconds GATE_GATHERING{1};
constexpr milliseconds FOREVER = std::chrono::hours(24);

// The progress line appears once a run has lasted a second, and changes at
// most ten times a second.
constexpr milliseconds PROGRESS_DELAY{1000};
constexpr milliseconds PROGRESS_PERIOD{100};

// The standard descriptors that were closed when the program started. Each
// is then held open on /dev/null, so that no file the program opens takes
// its number and is read or written in its place.
struct ClosedAtStart {
    bool input = false;
    bool output = false;
};

ClosedAtStart holdStandardDescriptors()
{
    bool closed[3];
    for (int fd = 0; fd < 3; fd++)
        closed[fd] = fcntl(fd, F_GETFD) < 0 && errno == EBADF;
    // Opened in order, each takes the lowest free number: its own.
    for (int fd = 0; fd < 3; fd++)
        if (closed[fd] && open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) < 0) {
            // Without /dev/null the number stays free; nothing better to do.
        }
    return {closed[0], closed[1]};
}

void say(const std::string &message)
{
    if (write(STDERR_FILENO, message.data(), message.size()) < 0) {
        // Nowhere left to say it; the exit status still tells.
    }
}

void complain(const std::string &path, const std::string &reason)
{
    say("cmeasure: " + printablePath(path) + ": " + reason + "\n");
}

// Standard output, written in large blocks. A standard output that was
// closed at start fails as it would have: nothing is written to /dev/null
// in its place.
class StdoutBuffer {
public:
    explicit StdoutBuffer(bool closed) : closed_(closed) {}

    std::string text;

    // Writes what is held; returns 0 or the errno of the failed write.
    int flush()
    {
        int error = 0;
        if (!text.empty())
            error = closed_ ? EBADF : writeWhenReady(STDOUT_FILENO, text);
        text.clear();
        return error;
    }

    bool full() const { return text.size() >= 1 << 16; }

private:
    bool closed_;
};

// With --max-symbols, standard output passes between the writer and the
// worker measuring the oldest target not yet written. The writer passes it
// on once it has written everything before that target; the worker then
// writes the diagnostics that fill its buffer itself, instead of holding
// them all. So a file's diagnostics take at most a buffer, however many
// there are, and still come out in order. The writer takes the turn back
// only once the target is finished, when its worker writes no more.
class Turn {
public:
    void pass(std::size_t position)
    {
        std::lock_guard lock(mutex_);
        position_ = position;
        passed_.notify_all();
    }

    void await(std::size_t position)
    {
        std::unique_lock lock(mutex_);
        passed_.wait(lock, [&] { return position_ == position; });
    }

private:
    std::mutex mutex_;
    std::condition_variable passed_;
    std::size_t position_ = 0;
};

// Diagnostics not yet written may take this much in all before workers
// write their own; and a slot may hold a share of this much whatever the
// others hold, from 1 KiB to 64 KiB. So they take at most 24 MiB and the
// window's shares, usually 8 MiB, and a worker waits for its turn only
// when some file has a great many.
constexpr std::size_t HELD_DIAGNOSTICS = 24 << 20;
constexpr std::size_t SHARED_DIAGNOSTICS = 8 << 20;

// What the workers and the writer share in the mode of --max-symbols.
struct Gate {
    Gate(int limit, bool json, std::size_t slots, bool outputClosed)
        : limit(limit), json(json), share(std::clamp<std::size_t>(SHARED_DIAGNOSTICS / slots, 1 << 10, 64 << 10)),
          outputClosed(outputClosed)
    {
    }

    int limit;
    bool json;
    std::size_t share; // the diagnostics a slot may hold whatever the others hold
    bool outputClosed;
    std::atomic<std::size_t> held = 0; // bytes of diagnostics not yet written, in every slot
    Turn turn;
};

// One line on standard error that says how far a long run has come: only
// when standard error is a terminal and standard output is not, where the
// rows themselves would show it. It is cleared before anything else is
// written there.
class Progress {
public:
    explicit Progress(bool shown) : shown_(shown) {}

    bool shown() const { return shown_; }

    void update(Count files, Count bytes)
    {
        if (!shown_)
            return;
        const Clock::time_point now = Clock::now();
        if (now - start_ < PROGRESS_DELAY || now - last_ < PROGRESS_PERIOD)
            return;
        last_ = now;
        char line[96];
        const int length = std::snprintf(line, sizeof line, "\rcmeasure: %lld %s measured, %.1f MiB",
                                         static_cast<long long>(files), files == 1 ? "file" : "files",
                                         static_cast<double>(bytes) / (1 << 20));
        std::string text(line, static_cast<std::size_t>(std::clamp(length, 0, static_cast<int>(sizeof line) - 1)));
        if (text == shownText_)
            return;
        shownText_ = text;
        if (text.size() < width_)
            text.append(width_ - text.size(), ' ');
        width_ = std::max(width_, text.size());
        say(text);
    }

    void clear()
    {
        if (width_ > 0)
            say(std::string(1, '\r').append(width_ - 1, ' ').append(1, '\r'));
        width_ = 0;
        shownText_.clear();
    }

private:
    bool shown_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_ = {};
    std::size_t width_ = 0; // of the line on screen, the carriage return included; 0 when none
    std::string shownText_;
};

// The main thread's part: takes the finished targets in order and writes a
// row or a message for each, then the total. A table holds back its first
// rows to size its columns.
class Writer {
public:
    Writer(const Options &options, const ClosedAtStart &closed, bool progress, Gate *gate)
        : json_(options.json), out_(closed.output), progress_(progress), gate_(gate)
    {
    }

    // With --max-symbols, before the writer waits: standard output goes to
    // the worker of the oldest target not yet written, once all before it is.
    void passTurn()
    {
        if (gate_ == nullptr)
            return;
        flush();
        gate_->turn.pass(taken_);
    }

    // How long to wait for the next finished target before tick() is due.
    milliseconds patience() const
    {
        milliseconds patience = progress_.shown() ? PROGRESS_PERIOD : FOREVER;
        if (!out_.text.empty())
            patience = std::min(patience, std::chrono::ceil<milliseconds>(gathered_ + GATHERING - Clock::now()));
        return std::max(patience, milliseconds(0));
    }

    // How long to wait for more finished targets once the oldest is; only a
    // moment with --max-symbols, as the targets behind it may be waiting for
    // their turn to write, which the writer passes on only once it has taken
    // them.
    milliseconds gathering() const { return gate_ != nullptr ? GATE_GATHERING : GATHERING; }

    // Writes the rows that have waited long enough, and shows progress.
    void tick()
    {
        if (!out_.text.empty() && Clock::now() >= gathered_ + GATHERING)
            flush();
        progress_.update(totals_.files, bytes_);
    }

    void take(Target &&target)
    {
        taken_++;
        if (target.state == State::Skipped)
            return;
        if (target.state == State::Measured) {
            totals_.add(target.path, target.figures);
            bytes_ += target.bytes;
        }
        if (gate_ != nullptr)
            writeDiagnostics(target);
        else if (json_ || sized_)
            write(target);
        else
            hold(std::move(target));
    }

    // Writes the total, and returns the exit status.
    int finish()
    {
        if (gate_ != nullptr) {
            flush();
            progress_.clear();
            return status_;
        }
        if (!json_ && !sized_) {
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

private:
    void hold(Target &&target)
    {
        const bool row = target.state == State::Measured;
        if ((row && heldRows_ == TABLE_SAMPLE_ROWS) || held_.size() == MOST_HELD) {
            release();
            write(target);
            return;
        }
        if (row) {
            widths_.fit(target.figures);
            heldRows_++;
        }
        held_.push_back(std::move(target));
    }

    // Writes what was held back, with the widths it gave; from then on every
    // row is written as it comes, and a number too wide for its column widens
    // its own row only.
    void release()
    {
        sized_ = true;
        for (const Target &target : held_)
            write(target);
        held_.clear();
        held_.shrink_to_fit();
    }

    void write(const Target &target)
    {
        if (target.state != State::Measured) {
            complainAbout(target);
            return;
        }
        if (out_.text.empty())
            gathered_ = Clock::now();
        if (json_) {
            appendJsonRow(out_.text, target.path, target.figures);
        } else {
            if (!headed_)
                appendTableHeader(out_.text, widths_);
            headed_ = true;
            appendTableRow(out_.text, widths_, target.path, target.figures);
        }
        if (out_.full())
            flush();
    }

    // The diagnostics the worker left, then the message if the file could
    // not be read to its end: those found before the failure stand.
    void writeDiagnostics(const Target &target)
    {
        if (target.overLimit)
            status_ = 1;
        out_.text += target.diagnostics;
        gate_->held.fetch_sub(target.diagnostics.size(), std::memory_order_relaxed);
        if (target.state != State::Measured)
            complainAbout(target);
        else if (out_.full())
            flush();
    }

    // A message keeps its place among the rows: the rows before it are
    // written first.
    void complainAbout(const Target &target)
    {
        flush();
        progress_.clear();
        if (target.state == State::Unnamed)
            say("cmeasure: invalid zero-length file name\n");
        else
            complain(target.path, target.reason.empty() ? std::strerror(target.error) : target.reason);
        status_ = 1;
    }

    // Once output fails no one reads what the walk and the workers would
    // still produce: the run ends at once, with them, and says why.
    void flush()
    {
        if (const int error = out_.flush(); error != 0) {
            progress_.clear();
            complain("write error", std::strerror(error));
            _exit(1);
        }
    }

    bool json_;
    StdoutBuffer out_;
    Clock::time_point gathered_ = {}; // when the oldest row not yet written was
    Progress progress_;
    Totals totals_;
    Count bytes_ = 0;
    Widths widths_;
    bool sized_ = false;  // the table's widths are final
    bool headed_ = false; // its header is written
    std::vector<Target> held_;
    Count heldRows_ = 0;
    int status_ = 0;
    Gate *gate_;
    std::size_t taken_ = 0; // the targets taken out of the window, skipped ones included
};

// Gathers the diagnostics of one file into its result; when they fill their
// buffer, waits for the file's turn and writes them.
class Reporter {
public:
    Reporter(Gate &gate, std::size_t index, const std::string &path, Result &result)
        : gate_(gate), index_(index), path_(path), result_(result)
    {
    }

    static void report(void *context, const PieceOverLimit &piece) { static_cast<Reporter *>(context)->add(piece); }

private:
    void add(const PieceOverLimit &piece)
    {
        if (!diagnostics_)
            diagnostics_.emplace(path_, gate_.limit, gate_.json);
        result_.overLimit = true;
        const std::size_t before = result_.diagnostics.size();
        diagnostics_->append(result_.diagnostics, piece);
        const std::size_t added = result_.diagnostics.size() - before;
        if (gate_.held.fetch_add(added, std::memory_order_relaxed) + added > HELD_DIAGNOSTICS &&
            result_.diagnostics.size() >= gate_.share)
            write();
    }

    // As the writer does: once output fails, the run ends at once.
    void write()
    {
        gate_.turn.await(index_);
        if (const int error = gate_.outputClosed ? EBADF : writeWhenReady(STDOUT_FILENO, result_.diagnostics); error != 0) {
            complain("write error", std::strerror(error));
            _exit(1);
        }
        gate_.held.fetch_sub(result_.diagnostics.size(), std::memory_order_relaxed);
        result_.diagnostics.clear();
    }

    Gate &gate_;
    std::size_t index_;
    const std::string &path_;
    Result &result_;
    std::optional<Diagnostics> diagnostics_; // made on the first piece over the limit
};

// One worker's own input buffer and line: nothing of a scan is shared.
class Scanner {
public:
    Scanner(bool inputClosed, bool sized, Gate *gate) : inputClosed_(inputClosed), sized_(sized), gate_(gate) {}

    Result measure(const Job &job)
    {
        if (job.origin == Origin::StandardInput) {
            if (inputClosed_)
                return {job.index, State::Failed, EBADF};
            input_.reopen(STDIN_FILENO);
            return scan(job);
        }
        int error = 0;
        const int fd = job.origin == Origin::Walked ? openFound(job.found, error) : openNamed(job.found.path, error);
        if (fd < 0)
            return {job.index, error != 0 ? State::Failed : State::Skipped, error};
        input_.reopen(fd, true);
        Result result = scan(job);
        struct stat status;
        if (sized_ && fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
            result.bytes = status.st_size;
        input_.close();
        descriptorReleased();
        return result;
    }

private:
    static int openNamed(const std::string &path, int &error)
    {
        DescriptorWait wait;
        int fd = -1;
        while ((fd = open(path.c_str(), O_RDONLY | O_CLOEXEC)) < 0 && wait.again(errno)) {
        }
        error = fd < 0 ? errno : 0;
        return fd;
    }

    Result scan(const Job &job)
    {
        Result result = {job.index, State::Measured};
        Scan scan;
        if (gate_ == nullptr) {
            scan = scanLines(input_, line_);
        } else {
            Reporter reporter(*gate_, job.index, job.found.path, result);
            scan = scanLines(input_, line_, PieceLimit{gate_->limit, Reporter::report, &reporter});
        }
        result.state = scan.error != 0 ? State::Failed : State::Measured;
        result.error = scan.error;
        result.figures = scan.figures;
        return result;
    }

    TextInput input_{-1};
    char line_[LINE_BUFFER_SIZE] = {};
    bool inputClosed_;
    bool sized_;
    Gate *gate_;
};

void runWorker(Window &window, const ClosedAtStart &closed, bool sized, Gate *gate)
{
    auto scanner = std::make_unique<Scanner>(closed.input, sized, gate);
    std::optional<Result> done;
    while (const std::optional<Job> job = window.take(done))
        done = scanner->measure(*job);
}

Target walked(Found &&found)
{
    if (isFailure(found))
        return {.path = std::move(found.path), .state = State::Failed, .reason = failureReason(found)};
    return {.path = std::move(found.path), .origin = Origin::Walked, .directory = std::move(found.directory),
            .name = std::move(found.name)};
}

// Targets on their way to the window, added a few at a time to spare its
// lock. A batch holds the files of one directory only: each holds it open.
class Batch {
public:
    explicit Batch(Window &window) : window_(window) {}

    void add(Target &&target)
    {
        if (!targets_.empty() && (targets_.size() == BATCH || targets_.back().directory != target.directory))
            flush();
        targets_.push_back(std::move(target));
    }

    void flush()
    {
        if (!targets_.empty())
            window_.add(targets_);
    }

private:
    static constexpr std::size_t BATCH = 64;
    Window &window_;
    std::vector<Target> targets_;
};

// Adds the files of a directory argument, but for those its ignore rules
// pass over, and the failures to read the directory or its rules.
void walkDirectory(const std::string &path, const Options &options, IgnoreContext &ignores, Batch &batch)
{
    const auto add = [&batch](Found &&found) { batch.add(walked(std::move(found))); };
    const std::unique_ptr<TreeIgnores> rules = ignores.forTree(path, [&add](RulesFailure &&failure) {
        add({.path = std::move(failure.path), .error = failure.error, .reason = std::move(failure.reason)});
    });
    walkTree(path, {options.extensions, rules.get()}, add);
}

// Adds the targets of one path argument, in output order: standard input, a
// directory's files, or the file.
void addTargets(const std::string &path, const Options &options, IgnoreContext &ignores, Batch &batch)
{
    struct stat status;
    if (path.empty())
        batch.add({.path = path, .state = State::Unnamed});
    else if (path == "-")
        batch.add({.path = path, .origin = Origin::StandardInput});
    else if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
        walkDirectory(path, options, ignores, batch);
    else
        batch.add({.path = path});
    batch.flush();
}

void addFailure(Batch &batch, std::string path, int error, std::string reason = {})
{
    batch.add({.path = std::move(path), .state = State::Failed, .error = error, .reason = std::move(reason)});
    batch.flush();
}

// Adds the targets of the paths in the list `list` (--files0-from), each
// taken as a path argument as soon as it is read: the list is never held
// whole. An empty name, and "-" in a list that standard input holds, are
// reported at their place in the list ("LIST:N"), as wc reports them.
void addListed(const std::string &list, bool inputClosed, const Options &options, IgnoreContext &ignores,
               Batch &batch)
{
    const bool fromInput = list == "-";
    const int fd = fromInput ? (inputClosed ? -1 : STDIN_FILENO) : open(list.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        addFailure(batch, list, fromInput ? EBADF : errno);
        return;
    }
    NameList names(fd);
    std::string name;
    bool tooLong = false;
    while (names.next(name, tooLong)) {
        const std::string place = list + ":" + std::to_string(names.count());
        if (name.empty())
            addFailure(batch, place, 0, "invalid zero-length file name");
        else if (fromInput && name == "-")
            addFailure(batch, place, 0, "when reading file names from standard input, no file name of '-' allowed");
        else if (tooLong)
            addFailure(batch, name, ENAMETOOLONG);
        else
            addTargets(name, options, ignores, batch);
    }
    if (names.error() != 0)
        addFailure(batch, list, names.error());
    if (!fromInput)
        close(fd);
}

// The walk has a thread of its own, so that it goes on while the writer
// waits for output to drain; it waits only for free slots.
void walkArguments(const Options &options, bool inputClosed, Window &window)
{
    Batch batch(window);
    IgnoreContext ignores({!options.noIgnore, options.excludes});
    if (options.files0From)
        addListed(*options.files0From, inputClosed, options, ignores, batch);
    for (const std::string &path : options.paths)
        addTargets(path, options, ignores, batch);
    window.complete();
}

unsigned processors()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return static_cast<unsigned>(std::max(1, CPU_COUNT(&set)));
    return std::max(1u, std::thread::hardware_concurrency());
}

// Descriptors this process may still open: its limit, less those open now.
std::size_t spareDescriptors()
{
    rlimit limit;
    std::size_t most = 1 << 20;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < most)
        most = limit.rlim_cur;
    std::size_t open = 0;
    for (int fd = 0; fd < static_cast<int>(std::min<std::size_t>(most, 1024)); fd++)
        open += fcntl(fd, F_GETFD) >= 0;
    return most > open ? most - open : 0;
}

struct Budget {
    unsigned workers;
    std::size_t slots;
};

// Each slot may hold its directory open, and each worker one file: together
// they take at most half the spare descriptors, and the walk has the rest.
// So no worker ever fails for want of a descriptor, whatever -j says.
Budget budgetFor(unsigned jobs)
{
    if (jobs == 0)
        jobs = std::clamp(WORKERS_PER_PROCESSOR * processors(), FEWEST_DEFAULT_JOBS, Options::MOST_JOBS);
    jobs = std::min(jobs, Options::MOST_JOBS);
    const std::size_t slots = std::clamp<std::size_t>(spareDescriptors() / 4, 1, SLOTS_PER_WORKER * jobs);
    return {static_cast<unsigned>(std::min<std::size_t>(jobs, slots)), slots};
}

// Measures and writes with the main thread as the writer, one thread for
// the walk and the workers of the budget. Returns the exit status.
int measureAll(const Options &options, const ClosedAtStart &closed)
{
    const Budget budget = budgetFor(options.jobs);
    const bool progress = isatty(STDERR_FILENO) && !isatty(STDOUT_FILENO);
    Window window(budget.slots);
    std::optional<Gate> gate;
    if (options.maxSymbols >= 0)
        gate.emplace(options.maxSymbols, options.json, budget.slots, closed.output);
    Gate *const gating = gate ? &*gate : nullptr;
    std::vector<std::thread> threads;
    int failure = 0;
    try {
        for (unsigned k = 0; k < budget.workers; k++)
            threads.emplace_back(runWorker, std::ref(window), std::cref(closed), progress, gating);
    } catch (const std::system_error &error) {
        // Fewer workers than asked for: those there are do all the work.
        failure = error.code().value();
    }
    try {
        if (!threads.empty())
            threads.emplace_back(walkArguments, std::cref(options), closed.input, std::ref(window));
    } catch (const std::system_error &error) {
        failure = error.code().value();
        window.complete();
        for (std::thread &thread : threads)
            thread.join();
        threads.clear();
    }
    if (threads.empty()) {
        complain("cannot start a thread", std::strerror(failure));
        return 1;
    }
    Writer writer(options, closed, progress, gating);
    std::vector<Target> finished;
    for (bool more = true; more;) {
        writer.passTurn();
        more = window.takeFinished(finished, {writer.patience(), writer.gathering()});
        for (Target &target : finished)
            writer.take(std::move(target));
        finished.clear();
        writer.tick();
    }
    for (std::thread &thread : threads)
        thread.join();
    return writer.finish();
}

int usageError(const std::string &error)
{
    say("cmeasure: " + error + "\nTry 'cmeasure --help' for more information.\n");
    return 2;
}

int writeText(const std::string &text, const ClosedAtStart &closed)
{
    StdoutBuffer out(closed.output);
    out.text = text;
    if (const int error = out.flush(); error != 0) {
        complain("write error", std::strerror(error));
        return 1;
    }
    return 0;
}

} // namespace

int runCommandLine(int argc, char **argv)
{
    const ClosedAtStart closed = holdStandardDescriptors();
    Options options;
    std::string error;
    switch (parseOptions(argc, argv, options, error)) {
    case Parsed::USAGE_ERROR: return usageError(error);
    case Parsed::HELP: return writeText(USAGE, closed);
    case Parsed::VERSION: return writeText("cmeasure " CMEASURE_VERSION "\n", closed);
    case Parsed::RUN: break;
    }
    if (options.paths.empty() && !options.files0From)
        options.paths.emplace_back("-");
    return measureAll(options, closed);
}
