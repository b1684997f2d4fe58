#include "commandline.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
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
constexpr std::size_t SLOTS_PER_WORKER = 64;

// The table's columns are sized on its first 1 000 rows. Messages among
// them wait with them, up to this many rows and messages in all.
constexpr Count TABLE_SAMPLE_ROWS = 1000;
constexpr std::size_t MOST_HELD = 10000;

// Rows wait at most this long to be written: enough to gather the rows of a
// fast run into large writes, short enough for them to appear as they are
// measured.
constexpr milliseconds GATHERING{10};
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
    Writer(const Options &options, const ClosedAtStart &closed, bool progress)
        : json_(options.json), out_(closed.output), progress_(progress)
    {
    }

    // How long to wait for the next finished target before tick() is due.
    milliseconds patience() const
    {
        milliseconds patience = progress_.shown() ? PROGRESS_PERIOD : FOREVER;
        if (!out_.text.empty())
            patience = std::min(patience, std::chrono::ceil<milliseconds>(gathered_ + GATHERING - Clock::now()));
        return std::max(patience, milliseconds(0));
    }

    // Writes the rows that have waited long enough, and shows progress.
    void tick()
    {
        if (!out_.text.empty() && Clock::now() >= gathered_ + GATHERING)
            flush();
        progress_.update(totals_.files, bytes_);
    }

    void take(Target &&target)
    {
        if (target.state == State::Skipped)
            return;
        if (target.state == State::Measured) {
            totals_.add(target.path, target.figures);
            bytes_ += target.bytes;
        }
        if (json_ || sized_)
            write(target);
        else
            hold(std::move(target));
    }

    // Writes the total, and returns the exit status.
    int finish()
    {
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
};

// One worker's own input buffer and line: nothing of a scan is shared.
class Scanner {
public:
    Scanner(bool inputClosed, bool sized) : inputClosed_(inputClosed), sized_(sized) {}

    Result measure(const Job &job)
    {
        if (job.origin == Origin::StandardInput) {
            if (inputClosed_)
                return {job.index, State::Failed, EBADF};
            input_.reopen(STDIN_FILENO);
            return scan(job.index);
        }
        int error = 0;
        const int fd = job.origin == Origin::Walked ? openFound(job.found, error) : openNamed(job.found.path, error);
        if (fd < 0)
            return {job.index, error != 0 ? State::Failed : State::Skipped, error};
        input_.reopen(fd, true);
        Result result = scan(job.index);
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

    Result scan(std::size_t index)
    {
        const Scan scan = scanLines(input_, line_);
        return {index, scan.error != 0 ? State::Failed : State::Measured, scan.error, scan.figures};
    }

    TextInput input_{-1};
    char line_[LINE_BUFFER_SIZE] = {};
    bool inputClosed_;
    bool sized_;
};

void runWorker(Window &window, const ClosedAtStart &closed, bool sized)
{
    auto scanner = std::make_unique<Scanner>(closed.input, sized);
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
    std::vector<std::thread> threads;
    int failure = 0;
    try {
        for (unsigned k = 0; k < budget.workers; k++)
            threads.emplace_back(runWorker, std::ref(window), std::cref(closed), progress);
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
    Writer writer(options, closed, progress);
    std::vector<Target> finished;
    for (bool more = true; more;) {
        more = window.takeFinished(finished, writer.patience(), GATHERING);
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
