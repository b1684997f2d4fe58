#include "run/worker.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "text_input.h"
#include "find/dialect.h"
#include "find/walk.h"

namespace cli {

namespace {

// One worker's own input buffer and line: nothing of a scan is shared.
class Scanner {
public:
    Scanner(bool inputClosed, const Options &options, bool countBytes, Gate *gate, Survey *survey, bool splitLarge)
        : inputClosed_(inputClosed), rules_(options.rules), cxxSuffixes_(options.cxxExtensions),
          countBytes_(countBytes), gate_(gate), tally_(survey != nullptr ? survey->tally() : nullptr),
          splitLarge_(splitLarge)
    {
    }

    Result measure(const Job &job)
    {
        const Request &request = job.request;
        if (request.origin == Origin::StandardInput) {
            if (inputClosed_)
                return {job.position, {.state = State::Failed, .error = EBADF}};
            input_.reopen(STDIN_FILENO);
            return {job.position, scan(job, -1, -1)};
        }
        int error = 0;
        off_t size = -1; // of a regular file
        const int fd = request.origin == Origin::Walked ? openFound(request.directory.get(), request.name, error, &size)
                                                        : openNamed(request.path, error);
        if (fd < 0)
            return {job.position, {.state = error != 0 ? State::Failed : State::Skipped, .error = error}};
        if (request.origin != Origin::Walked)
            size = regularSize(fd);
        input_.reopen(fd, true, size);
        Outcome outcome = scan(job, fd, size);
        if (countBytes_ && size >= 0)
            outcome.bytes = size;
        input_.close();
        descriptorReleased();
        return {job.position, std::move(outcome)};
    }

    void tellOfWaits(Crew &crew) { input_.setWaitNotice(Crew::waitNotice, &crew); }

    // Once the worker takes no more files.
    void handOver()
    {
        if (tally_)
            tally_->handOver();
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

    // The size of a regular file; -1 for any other.
    static off_t regularSize(int fd)
    {
        struct stat status;
        return fstat(fd, &status) == 0 && S_ISREG(status.st_mode) ? status.st_size : -1;
    }

    // `fd`: the file's descriptor, which input_ reads, and `size` the size
    // of a regular file; -1 for standard input.
    Outcome scan(const Job &job, int fd, off_t size)
    {
        return rules_ == Rules::C ? scanByC(job, fd, size) : scanByMenu(job);
    }

    // Below 4 MiB the second thread's start and the first half's way into
    // the second cost more than half the scan saves.
    static constexpr off_t SPLIT_FROM = off_t{4} << 20;

    Outcome scanByC(const Job &job, int fd, off_t size)
    {
        Outcome outcome = {.state = State::Measured};
        const bool named = job.request.origin != Origin::StandardInput;
        const crules::Dialect dialect = named ? dialectOfPath(job.request.path, cxxSuffixes_) : crules::Dialect::C;
        crules::Result scan;
        if (splitLarge_ && gate_ == nullptr && !tally_ && size >= SPLIT_FROM) {
            scan = crules::scanInTwo(fd, size, dialect);
        } else if (tally_) {
            tally_->begin(job.position, job.request);
            scan = crules::scan(input_, dialect, &tally_->cLines());
            tally_->end();
        } else if (gate_ == nullptr) {
            scan = crules::scan(input_, dialect);
        } else {
            Reporter reporter(*gate_, job.position, job.request, outcome);
            const crules::Gate lines{gate_->limit, Reporter::reportLine, &reporter};
            scan = crules::scan(input_, dialect, &lines);
        }
        outcome.state = scan.error != 0 ? State::Failed : State::Measured;
        outcome.error = scan.error;
        outcome.figures = scan.figures;
        return outcome;
    }

    Outcome scanByMenu(const Job &job)
    {
        Outcome outcome = {.state = State::Measured};
        Scan scan;
        if (tally_) {
            tally_->begin(job.position, job.request);
            scan = scanLines(input_, line_, tally_->menuPieces());
            tally_->end();
        } else if (gate_ == nullptr) {
            scan = scanLines(input_, line_);
        } else {
            Reporter reporter(*gate_, job.position, job.request, outcome);
            // The options hold a menu's limit to 0..359.
            const auto limit = static_cast<int>(gate_->limit);
            scan = scanLines(input_, line_, PieceLimit{limit, Reporter::report, &reporter});
        }
        outcome.state = scan.error != 0 ? State::Failed : State::Measured;
        outcome.error = scan.error;
        const FileFigures &f = scan.figures;
        outcome.figures = {f.lines, f.lineWithMaxSymbols, f.maxSymbols, f.identifiers};
        return outcome;
    }

    TextInput input_{-1};
    char line_[LINE_BUFFER_SIZE] = {};
    bool inputClosed_;
    Rules rules_;
    const std::vector<std::string> &cxxSuffixes_;
    bool countBytes_;
    Gate *gate_;
    std::unique_ptr<Tally> tally_;
    bool splitLarge_;
};

} // namespace

void runWorker(Window &window, const ClosedAtStart &closed, const Options &options, bool countBytes, Gate *gate,
               Survey *survey, bool splitLarge, Crew &crew)
{
    auto scanner = std::make_unique<Scanner>(closed.input, options, countBytes, gate, survey, splitLarge);
    scanner->tellOfWaits(crew);
    std::optional<Result> done;
    while (const std::optional<Job> job = window.take(done))
        done = scanner->measure(*job);
    scanner->handOver();
}

void measureInTurn(Window &window, const ClosedAtStart &closed, const Options &options, bool splitLarge,
                   const std::function<void()> &between)
{
    auto scanner = std::make_unique<Scanner>(closed.input, options, false, nullptr, nullptr, splitLarge);
    std::optional<Result> done;
    while (const std::optional<Job> job = window.take(done)) {
        between();
        done = scanner->measure(*job);
    }
}

} // namespace cli
