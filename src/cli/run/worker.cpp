#include "run/worker.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "text_input.h"
#include "config/baseline.h"
#include "find/dialect.h"
#include "find/walk.h"

namespace cli {

namespace {

// One worker's own input buffer and line: nothing of a scan is shared.
class Measurer {
public:
    Measurer(bool inputClosed, const Options &options, bool countBytes, GateRun *gate, Survey *survey, bool splitLarge)
        : inputClosed_(inputClosed), cxxSuffixes_(options.cxxExtensions), countBytes_(countBytes), gate_(gate),
          tally_(survey != nullptr ? survey->tally() : nullptr),
          splitLarge_(splitLarge)
    {
    }

    Finished measure(const Job &job)
    {
        const Request &request = job.request;
        if (request.origin == Origin::StandardInput) {
            if (inputClosed_)
                return {job.position, {.state = TargetState::Failed, .error = EBADF}};
            input_.reopen(STDIN_FILENO);
            return {job.position, scan(job, -1, -1)};
        }
        int error = 0;
        off_t size = -1; // of a regular file
        const int fd = request.origin == Origin::Walked ? openFound(request.directory.get(), request.name, error, &size)
                                                        : openNamed(request.path, error);
        if (fd < 0)
            return {job.position, {.state = error != 0 ? TargetState::Failed : TargetState::Skipped, .error = error}};
        if (request.origin != Origin::Walked)
            size = regularSize(fd);
        input_.reopen(fd, true, size);
        Outcome outcome = scan(job, fd, size);
        if (match_) {
            request.settings.baseline->countStale(match_->left());
            match_.reset();
        }
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
        const config::FileSettings &settings = job.request.settings;
        GateRun *const gate = settings.limit >= 0 ? gate_ : nullptr;
        if (gate != nullptr && settings.baseline != nullptr && fd >= 0) {
            const std::vector<std::string_view> texts = settings.baseline->linesOf(settings.baselineKey);
            if (!texts.empty() && !match_.emplace().readLines(fd, texts))
                match_.reset();
        }
        Outcome outcome = {.state = TargetState::Measured};
        std::optional<Reporter> reporter;
        if (gate != nullptr)
            reporter.emplace(*gate, job.position, job.request, outcome, match_ ? &*match_ : nullptr);
        const auto read = settings.rules == Rules::C ? scanByC(job, fd, size, reporter) : scanByMenu(job, reporter);
        outcome.state = read.second != 0 ? TargetState::Failed : TargetState::Measured;
        outcome.error = read.second;
        outcome.figures = read.first;
        if (settings.rules == Rules::C)
            outcome.dialect = dialectOf(job.request);
        if (reporter && gate->recording && !reporter->overLines().empty())
            outcome.overTextsRead = config::readLineTexts(fd, reporter->overLines(), outcome.overTexts);
        return outcome;
    }

    // The dialect C's rules read a file in: standard input's is C.
    crules::Dialect dialectOf(const Request &request) const
    {
        // Where what counts as a symbol is chosen, once the scan can count
        // those of code alone: request.settings.symbols.
        return request.origin == Origin::StandardInput
                   ? crules::Dialect::C
                   : request.settings.dialect.value_or(dialectOfPath(request.path, cxxSuffixes_));
    }

    // Below 4 MiB the second thread's start and the first half's way into
    // the second cost more than half the scan saves.
    static constexpr off_t SPLIT_FROM = off_t{4} << 20;

    // The figures, and the errno of a read that failed.
    using Scanned = std::pair<crules::Figures, int>;

    Scanned scanByC(const Job &job, int fd, off_t size, std::optional<Reporter> &reporter)
    {
        const crules::Dialect dialect = dialectOf(job.request);
        const crules::Symbols symbols =
            job.request.settings.symbols == Symbols::Code ? crules::Symbols::Code : crules::Symbols::All;
        crules::Result scan;
        if (splitLarge_ && !reporter && !tally_ && size >= SPLIT_FROM) {
            scan = crules::scanInTwo(fd, size, dialect, symbols);
        } else if (tally_) {
            tally_->begin(job.position, job.request);
            scan = crules::scan(input_, dialect, &tally_->cLines(), symbols);
            tally_->end(scan.figures);
        } else if (!reporter) {
            scan = crules::scan(input_, dialect, nullptr, symbols);
        } else {
            const crules::LineLimit lines{.limit = job.request.settings.limit,
                                          .report = Reporter::reportLine,
                                          .context = &*reporter,
                                          .hashes = reporter->fingerprints(),
                                          .classifies = false};
            scan = crules::scan(input_, dialect, &lines, symbols);
        }
        return {scan.figures, scan.error};
    }

    Scanned scanByMenu(const Job &job, std::optional<Reporter> &reporter)
    {
        Scan scan;
        if (tally_) {
            tally_->begin(job.position, job.request);
            scan = scanLines(input_, line_, tally_->menuPieces());
        } else if (!reporter) {
            scan = scanLines(input_, line_);
        } else {
            // The settings hold a menu's limit to 0..359.
            const auto limit = static_cast<int>(reporter->limit());
            scan = scanLines(input_, line_, PieceLimit{limit, Reporter::report, &*reporter});
        }
        const FileFigures &f = scan.figures;
        const crules::Figures figures{
            .lines = f.lines, .densestLine = f.lineWithMaxSymbols, .maxSymbols = f.maxSymbols, .identifiers = f.identifiers};
        if (tally_)
            tally_->end(figures);
        return {figures, scan.error};
    }

    TextInput input_{-1};
    char line_[LINE_BUFFER_SIZE] = {};
    bool inputClosed_;
    const std::vector<std::string> &cxxSuffixes_;
    bool countBytes_;
    GateRun *gate_;
    std::unique_ptr<Tally> tally_;
    bool splitLarge_;
    std::optional<config::BaselineMatch> match_; // of the file being measured, when its baseline names it
};

} // namespace

void runWorker(Window &window, const ClosedAtStart &closed, const Options &options, bool countBytes, GateRun *gate,
               Survey *survey, bool splitLarge, Crew &crew)
{
    auto scanner = std::make_unique<Measurer>(closed.input, options, countBytes, gate, survey, splitLarge);
    scanner->tellOfWaits(crew);
    std::optional<Finished> done;
    while (const std::optional<Job> job = window.take(done))
        done = scanner->measure(*job);
    scanner->handOver();
}

void measureInTurn(Window &window, const ClosedAtStart &closed, const Options &options, bool splitLarge,
                   const std::function<void()> &between)
{
    auto scanner = std::make_unique<Measurer>(closed.input, options, false, nullptr, nullptr, splitLarge);
    std::optional<Finished> done;
    while (const std::optional<Job> job = window.take(done)) {
        between();
        done = scanner->measure(*job);
    }
}

} // namespace cli
