#include "commandline.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

#include "run/budget.h"
#include "changes/changed_files.h"
#include "config/settings.h"
#include "run/crew.h"
#include "find/worktree.h"
#include "report/format.h"
#include "report/gate.h"
#include "report/histogram.h"
#include "report/top.h"
#include "options.h"
#include "report/stdstreams.h"
#include "run/targets.h"
#include "run/window.h"
#include "run/worker.h"
#include "report/writer.h"

namespace cli {

namespace {

// Starts a worker, the walk, then the other workers that start at once, so
// that the walk finds the first targets while the rest start (a thread
// takes about 0.2 ms to start here). Returns the walk; none when not even a
// worker and the walk could be started, and then no worker runs.
std::optional<std::thread> startThreads(const Options &options, const ClosedAtStart &closed, const Budget &budget,
                                        const changed::ChangedFiles *changes, config::Settings &settings,
                                        Window &window, Crew &crew)
{
    std::optional<std::thread> walk;
    try {
        if (crew.startUpTo(1) == 1)
            walk.emplace(addAllTargets, std::cref(options), closed.input, std::cref(budget.walk), changes,
                         std::ref(settings), std::ref(window));
    } catch (const std::system_error &error) {
        errno = error.code().value();
    }
    if (!walk) {
        const int failure = errno;
        window.complete();
        crew.join();
        complain("cannot start a thread", std::strerror(failure));
        return walk;
    }
    crew.startUpTo(budget.startingWorkers);
    return walk;
}

// A run of a few named paths, none a directory, needs no more workers and
// slots than paths: `cmeasure /dev/null` then starts one thread to measure,
// not eight, and holds one slot, not thousands. Beyond this many paths the
// stat of each costs more than what it could spare. 0 for any other run.
constexpr std::size_t FEW_PATHS = 16;

std::size_t fewNamedFiles(const Options &options)
{
    if (options.files0From || options.paths.size() > FEW_PATHS)
        return 0;
    for (const std::string &path : options.paths) {
        struct stat status;
        if (path != "-" && (stat(path.c_str(), &status) != 0 || S_ISDIR(status.st_mode)))
            return 0;
    }
    return options.paths.size();
}

// Where a report for a CI service gives paths from: the work tree that
// holds the current directory, which git finds as its commands do.
SourceRoot findSourceRoot()
{
    std::string current;
    if (char *directory = getcwd(nullptr, 0)) {
        current = directory;
        std::free(directory);
    }
    const worktree::Found found = worktree::Finder().containing(current);
    return sourceRootOf(current, found.tree ? found.tree->top : "");
}

// The form of the output, chosen once for the run from the options, which
// have made sure it fits the run. `limit`: the gate's limit for the run, as
// a SARIF log's rule gives it (a file's own limit comes with each finding).
std::unique_ptr<Format> formatOf(const Options &options, Count limit, const SourceRoot &root)
{
    const bool sums = options.maxDepth >= 0 || options.byDialect;
    const bool lineClasses = options.rules == Rules::C;
    switch (options.form) {
    case Form::Table: return makeTable(sums, lineClasses);
    case Form::Json: return options.gate() ? makeJsonFindings() : makeJsonLines(lineClasses);
    case Form::Csv: return makeCsv(options.byDialect, lineClasses);
    case Form::Markdown: return makeMarkdown(sums, lineClasses);
    case Form::Text: return makeTextFindings();
    case Form::Sarif: return makeSarif(limit, root);
    case Form::Github: return makeGithub(root);
    case Form::Gitlab: return makeGitlab(root);
    }
    return makeTable();
}

// The main thread writes: it takes the finished targets out of the window
// in order until the window has no more. What the run ends with is written
// once the workers are joined (Writer::finish), so that a survey has every
// worker's tally.
void writeAll(Window &window, Writer &writer)
{
    std::vector<Target> finished;
    for (bool more = true; more;) {
        writer.beforeWait();
        more = window.takeFinished(finished, {writer.patience(), writer.gathering()});
        for (Target &target : finished)
            writer.take(std::move(target));
        finished.clear();
        writer.tick();
    }
}

// A few named files, no gate and no progress line: measured on the main
// thread, since starting a worker and the walk costs more than the work
// (0.4 of the 3 ms of `cmeasure --json /dev/null`). What a file gave is
// written before the next is read, which may wait for a pipe or a
// terminal; a progress line would need a thread free to show it meanwhile.
int measureHere(const Options &options, const ClosedAtStart &closed, bool splitLarge, config::Settings &settings,
                Window &window, Writer &writer)
{
    std::vector<Target> targets;
    for (const std::string &path : options.paths) {
        Target &target = targets.emplace_back(
            Target{.request = {.path = path, .origin = path == "-" ? Origin::StandardInput : Origin::Named}});
        std::string error;
        target.request.settings = settings.forNamed(path, error);
        if (!error.empty())
            target = {.request = {}, .outcome = {.state = TargetState::Failed, .reason = std::move(error), .settingsFault = true}};
    }
    window.add(targets);
    window.complete();
    std::vector<Target> finished;
    const auto writeFinished = [&] {
        window.takeFinished(finished, {Writer::milliseconds(0), Writer::milliseconds(0)});
        for (Target &target : finished)
            writer.take(std::move(target));
        finished.clear();
        writer.writeHeld();
    };
    measureInTurn(window, closed, options, splitLarge, writeFinished);
    writeAll(window, writer);
    return writer.finish();
}

// Arguments → options → budget → window; the walk thread fills the window,
// the workers measure what is in it, and the main thread writes it out.
// `survey`: with --histogram or --top, what the lines go to instead of the
// figures. `settings`: of each file. Returns the exit status.
int measureAll(const Options &options, const ClosedAtStart &closed, const changed::ChangedFiles *changes,
               Survey *survey, config::Settings &settings)
{
    Budget budget = budgetFor(options.jobs);
    const std::size_t files = fewNamedFiles(options);
    if (files > 0) {
        budget.workers = std::min(budget.workers, static_cast<unsigned>(files));
        budget.startingWorkers = std::min(budget.startingWorkers, budget.workers);
        budget.slots = std::min(budget.slots, files);
    }
    const bool progress = isatty(STDERR_FILENO) && !isatty(STDOUT_FILENO);
    Window window(budget.slots);
    const bool forService = options.form == Form::Sarif || options.form == Form::Github || options.form == Form::Gitlab;
    const SourceRoot root = forService ? findSourceRoot() : SourceRoot{};
    const std::unique_ptr<Format> format = formatOf(options, settings.runLimit(), root);
    std::optional<GateRun> gate;
    std::unique_ptr<Writer> writer;
    if (options.list) {
        writer = std::make_unique<ListWriter>(*format, closed.output);
    } else if (survey != nullptr) {
        writer = std::make_unique<SurveyWriter>(*survey, closed.output, progress, changes);
    } else if (options.gate()) {
        gate.emplace(settings.runLimit(), *format, budget.slots, closed.output);
        writer = std::make_unique<DiagnosticsWriter>(*gate, progress, changes, &settings.baselines(),
                                                     options.writeBaseline);
    } else {
        const FigureRows rows{.maxDepth = options.maxDepth, .sort = options.sort, .byDialect = options.byDialect,
                              .changedSince = options.newFromRev ? std::string_view(*options.newFromRev) : ""};
        writer = std::make_unique<FiguresWriter>(*format, closed.output, progress, rows);
    }
    if (files > 0 && !gate && survey == nullptr && !progress && !options.list && changes == nullptr)
        return measureHere(options, closed, budget.splitLarge, settings, window, *writer);
    GateRun *const workersGate = gate ? &*gate : nullptr;
    Crew crew(budget.workers, [&](Crew &self) {
        runWorker(window, closed, options, progress, workersGate, survey, budget.splitLarge, self);
    });
    std::optional<std::thread> walk = startThreads(options, closed, budget, changes, settings, window, crew);
    if (!walk)
        return 1;
    writeAll(window, *writer);
    walk->join();
    crew.join();
    return writer->finish();
}

// --histogram or --top: what the workers tally the lines for; none for any
// other run. A style of bars the histogram cannot draw is refused, with
// `refusal` saying why.
std::unique_ptr<Survey> surveyOf(const Options &options, std::string &refusal)
{
    if (options.top > 0) {
        const std::optional<Count> limit =
            options.maxSymbols >= 0 ? std::optional<Count>(options.maxSymbols) : std::nullopt;
        return std::make_unique<TopSurvey>(options.top, limit, options.form == Form::Json);
    }
    if (!options.histogram)
        return nullptr;
    const std::optional<PlotStyle> style = plotStyleOfOutput(refusal);
    if (!style)
        return nullptr;
    return std::make_unique<HistogramSurvey>(options.limits, options.form == Form::Json, *style);
}

int usageError(const std::string &error)
{
    say("cmeasure: " + error + "\nTry 'cmeasure --help' for more information.\n");
    return 2;
}

} // namespace

int runCommandLine(int argc, char **argv)
{
    const ClosedAtStart closed = holdStandardDescriptors();
    Options options;
    std::string error;
    switch (parseOptions(argc, argv, options, error)) {
    case Parsed::USAGE_ERROR: return usageError(error);
    case Parsed::HELP: writeOrEnd(closed.output, USAGE); return 0;
    case Parsed::VERSION: writeOrEnd(closed.output, "cmeasure " CMEASURE_VERSION "\n"); return 0;
    case Parsed::RUN: break;
    }
    if (options.paths.empty() && !options.files0From)
        options.paths.emplace_back("-");
    const std::unique_ptr<Survey> survey = surveyOf(options, error);
    if (!error.empty()) {
        say("cmeasure: CMEASURE_BARS: " + error + "\n");
        return 2;
    }
    // The configurations the arguments name are read first, so that a
    // fault in them stops the run with nothing written.
    config::Settings settings(options);
    if (!settings.prepare(options.paths, error)) {
        say("cmeasure: " + printablePath(error) + "\n");
        return 2;
    }
    if (!options.newFromRev)
        return measureAll(options, closed, nullptr, survey.get(), settings);
    // Git is asked before anything is written, so that an unknown revision
    // stops the run with nothing half done.
    changed::ChangedFiles changes(*options.newFromRev);
    if (const std::optional<changed::Failure> failure = changes.load(options.paths)) {
        complain(failure->path, failure->reason);
        return 2;
    }
    return measureAll(options, closed, &changes, survey.get(), settings);
}

} // namespace cli
