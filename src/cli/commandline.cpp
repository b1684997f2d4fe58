#include "commandline.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sched.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

#include "counting.h"
#include "descriptors.h"
#include "options.h"
#include "output.h"
#include "walk.h"

namespace {

// Workers beyond this many would only wait for the disk and each other.
constexpr unsigned MOST_JOBS = 256;

// Found files waiting for a worker, each holding its directory open.
constexpr size_t MOST_WAITING = 64;

// A path to measure, and then its figures or why it could not be measured.
struct Target {
    explicit Target(std::string path) : path(std::move(path)), found(false), pending(true), error(0) {}
    explicit Target(Found &&how)
        : path(how.path), walked(std::move(how)), found(true), pending(!isFailure(walked)), error(walked.error),
          failed(isFailure(walked))
    {
    }

    std::string path;
    Found walked;         // how a walk found it
    bool found;           // by a walk: anything but a regular file is passed over
    bool pending;         // waits for a worker
    bool skipped = false; // turned out not to be a regular file after all
    int error;            // errno of what failed
    bool failed = false;  // the walk's failure, loops included
    FileFigures figures;
};

// The targets in output order, but for the sort of each directory's files,
// shared between the walk, which adds them, and the workers, which measure
// them. A deque, so that a target stays where it is while others are added.
class Work {
public:
    Target &add(Target target)
    {
        std::lock_guard lock(mutex_);
        Target &added = targets_.emplace_back(std::move(target));
        if (added.pending) {
            waiting_++;
            ready_.notify_one();
        }
        return added;
    }

    // The next target to measure; waits while the walk may add more, and
    // returns nullptr once all are taken and the walk is over.
    Target *take()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            while (next_ < targets_.size() && !targets_[next_].pending)
                next_++;
            if (next_ < targets_.size()) {
                waiting_--;
                return &targets_[next_++];
            }
            if (complete_)
                return nullptr;
            ready_.wait(lock);
        }
    }

    void complete()
    {
        std::lock_guard lock(mutex_);
        complete_ = true;
        ready_.notify_all();
    }

    // The next target to measure when more than `most` wait; else nullptr.
    Target *takeBeyond(size_t most)
    {
        std::lock_guard lock(mutex_);
        if (waiting_ <= most)
            return nullptr;
        while (!targets_[next_].pending)
            next_++;
        waiting_--;
        return &targets_[next_++];
    }

    // Only once the workers are done.
    std::deque<Target> &targets() { return targets_; }
    size_t size()
    {
        std::lock_guard lock(mutex_);
        return targets_.size();
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Target> targets_;
    size_t next_ = 0;
    size_t waiting_ = 0; // pending targets not yet taken
    bool complete_ = false;
};

// One worker's own input buffer and line: nothing of a scan is shared.
struct Scanner {
    TextInput input{-1};
    char line[LINE_BUFFER_SIZE] = {};

    void measure(Target &target)
    {
        int error = 0;
        const int fd = target.found ? openFound(target.walked, error) : open(target.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            target.error = target.found ? error : errno;
            target.skipped = target.error == 0;
        } else {
            input.reopen(fd, true);
            measureOpen(target);
            input.close();
            descriptorReleased();
        }
        target.walked.directory.reset();
        target.pending = false;
    }

    void measureOpen(Target &target)
    {
        const Scan scan = scanLines(input, line);
        target.figures = scan.figures;
        target.error = scan.error;
    }
};

void runWorker(Work &work)
{
    auto scanner = std::make_unique<Scanner>();
    while (Target *target = work.take())
        scanner->measure(*target);
}

unsigned processors()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return static_cast<unsigned>(std::max(1, CPU_COUNT(&set)));
    return std::max(1u, std::thread::hardware_concurrency());
}

// Standard output, written in large blocks; the first failure is kept and
// nothing more is written after it.
class Output {
public:
    std::string text;

    void flushIfFull()
    {
        if (text.size() >= 1 << 16)
            flush();
    }

    void flush()
    {
        if (error == 0)
            error = writeWhenReady(STDOUT_FILENO, text);
        text.clear();
    }

    int error = 0;
};

void complain(const std::string &path, const std::string &reason)
{
    const std::string message = "cmeasure: " + printablePath(path) + ": " + reason + "\n";
    if (write(STDERR_FILENO, message.data(), message.size()) < 0) {
        // Nowhere left to say it; the exit status still tells.
    }
}

// Adds the targets of one path argument: standard input, measured at once
// since only one reader may have it; a directory's files; or the file.
void addTargets(const std::string &path, const Options &options, Work &work, Scanner &scanner, size_t mostWaiting)
{
    struct stat status;
    if (path == "-") {
        Target input(path);
        input.pending = false; // before any worker can see it
        Target &target = work.add(std::move(input));
        scanner.input.reopen(STDIN_FILENO);
        scanner.measureOpen(target);
    } else if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        // The files found hold their directories open until measured: this
        // thread measures too when the workers fall behind, and all alone
        // with -j 1.
        walkTree(path, {options.extensions}, [&](Found &&found) {
            work.add(Target(std::move(found)));
            while (Target *target = work.takeBeyond(mostWaiting))
                scanner.measure(*target);
        });
    } else {
        work.add(Target(path));
    }
}

// Walks and measures on this thread and jobs - 1 others, and returns the
// index range that each path argument's targets take.
std::vector<size_t> measureAll(const Options &options, Work &work)
{
    const unsigned jobs = std::min(options.jobs != 0 ? options.jobs : processors(), MOST_JOBS);
    std::vector<std::thread> workers;
    try {
        for (unsigned k = 1; k < jobs; k++)
            workers.emplace_back(runWorker, std::ref(work));
    } catch (const std::system_error &) {
        // Fewer threads than asked for: those there are do all the work.
    }
    Scanner scanner;
    std::vector<size_t> starts;
    for (const std::string &path : options.paths) {
        starts.push_back(work.size());
        addTargets(path, options, work, scanner, workers.empty() ? 0 : MOST_WAITING);
    }
    starts.push_back(work.size());
    work.complete();
    while (Target *target = work.take())
        scanner.measure(*target);
    for (std::thread &worker : workers)
        worker.join();
    return starts;
}

// Writes the targets in order, each path argument's files sorted by path,
// and the complaints about those that could not be measured in their place
// on standard error. Returns the exit status.
int writeAll(const Options &options, Work &work, const std::vector<size_t> &starts)
{
    std::vector<const Target *> order;
    for (size_t k = 0; k + 1 < starts.size(); k++) {
        const size_t first = order.size();
        for (size_t i = starts[k]; i < starts[k + 1]; i++)
            if (!work.targets()[i].skipped)
                order.push_back(&work.targets()[i]);
        std::sort(order.begin() + static_cast<std::ptrdiff_t>(first), order.end(),
                  [](const Target *a, const Target *b) { return a->path < b->path; });
    }

    Totals totals;
    Widths widths;
    for (const Target *target : order)
        if (!target->failed && target->error == 0) {
            totals.add(target->path, target->figures);
            widths.fit(target->figures);
        }
    widths.fit(totals.figures());

    int status = 0;
    Output output;
    if (!options.json && totals.files > 0)
        appendTableHeader(output.text, widths);
    for (const Target *target : order) {
        if (target->failed || target->error != 0) {
            output.flush();
            complain(target->path, target->failed ? failureReason(target->walked) : std::strerror(target->error));
            status = 1;
        } else if (options.json) {
            appendJsonRow(output.text, target->path, target->figures);
        } else {
            appendTableRow(output.text, widths, target->path, target->figures);
        }
        output.flushIfFull();
    }
    if (options.json)
        appendJsonTotal(output.text, totals);
    else if (totals.files > 1)
        appendTableTotal(output.text, widths, totals);
    output.flush();
    if (output.error != 0) {
        complain("write error", std::strerror(output.error));
        status = 1;
    }
    return status;
}

int usageError(const std::string &error)
{
    const std::string message = "cmeasure: " + error + "\nTry 'cmeasure --help' for more information.\n";
    if (write(STDERR_FILENO, message.data(), message.size()) < 0) {
        // The status still tells.
    }
    return 2;
}

int writeText(const std::string &text)
{
    Output output;
    output.text = text;
    output.flush();
    if (output.error == 0)
        return 0;
    complain("write error", std::strerror(output.error));
    return 1;
}

} // namespace

int runCommandLine(int argc, char **argv)
{
    Options options;
    std::string error;
    switch (parseOptions(argc, argv, options, error)) {
    case Parsed::USAGE_ERROR: return usageError(error);
    case Parsed::HELP: return writeText(USAGE);
    case Parsed::VERSION: return writeText("cmeasure " CMEASURE_VERSION "\n");
    case Parsed::RUN: break;
    }
    if (options.paths.empty())
        options.paths.emplace_back("-");
    Work work;
    const std::vector<size_t> starts = measureAll(options, work);
    return writeAll(options, work, starts);
}
