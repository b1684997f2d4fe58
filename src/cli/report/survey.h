// The reports made of the lines of a whole run rather than of each file in
// turn: the distribution of --histogram and the densest lines of --top.
// Both read the lines the gate's scan reports, so that they count exactly
// what the gate would: each line (under the menu's rules, each piece) with
// more symbols than a limit, its column and whether it is allowed. Each
// worker keeps a tally of its own, without a lock on the way of a line, and
// hands it over as it ends; the report is written once every worker has.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "c_rules.h"
#include "changes/changed_files.h"
#include "changes/changed_lines.h"
#include "counting.h"
#include "report/writer.h"
#include "run/window.h"

namespace cli {

// A line as the gate sees it.
struct LineFact {
    Count line;    // numbered from 1
    Count column;  // 1-based byte column of the symbol past the limit; of the first symbol at limit 0
    Count symbols;
    bool allowed;  // holds the allow marker in a comment
};

// A worker's own tally of the lines of the files it measures, one file at
// a time: begin(), the scan reporting to cLines() or menuPieces(), end().
class Tally {
public:
    explicit Tally(Count limit);
    virtual ~Tally() = default;
    Tally(const Tally &) = delete;
    Tally &operator=(const Tally &) = delete;

    // What the scans report to: every line over the limit.
    const crules::LineLimit &cLines() const { return cLines_; }
    const PieceLimit &menuPieces() const { return menuPieces_; }

    // `position`: the file's place in the output order, which breaks ties.
    void begin(std::size_t position, const Request &request);
    // `figures`: the file's, as the scan gave them.
    virtual void end(const crules::Figures &figures) = 0;

    // Adds what this worker tallied to the run's: called once, when the
    // worker takes no more files.
    virtual void handOver() = 0;

protected:
    virtual void add(const LineFact &line) = 0;

    // Lines and pieces of fewer symbols are not reported (the limit still
    // places the column): raised as the densest lines kept fill up.
    void raiseFloor(Count floor);
    // Lines that no marker allows, of fewer than census.size symbols, are
    // counted in `census` rather than reported, in every file whose lines
    // all count; under the menu's rules, each piece but those denser than
    // every one before it in its file.
    void countInCensus(LineCensus &census) { census_ = &census; }
    // Whether the file begun is read by C's rules and counted so: its
    // densest line is then in its figures alone.
    bool inCensus() const { return cLines_.census != nullptr; }

    std::size_t position_ = 0;
    const std::string *path_ = nullptr; // of the file begun, valid until end()

private:
    static void takeLine(void *self, const crules::LineOverLimit &line);
    static void takePiece(void *self, const PieceOverLimit &piece);
    bool isReported(Count line);

    crules::LineLimit cLines_;
    PieceLimit menuPieces_;
    LineCensus *census_ = nullptr;
    // With --new-from-rev, the lines of the file begun still to come whose
    // facts count; none: every line.
    std::optional<std::span<const changed::LineRange>> reported_;
};

// The run's side: makes the workers' tallies, and writes the report.
class Survey {
public:
    virtual ~Survey() = default;

    virtual std::unique_ptr<Tally> tally() = 0;

    // Appends the report, made of every tally handed over, to `out`;
    // `totals`: the files measured. Returns the exit status it calls for.
    // `symbols` as the total of the figures says it.
    virtual int appendReport(std::string &out, const Totals &totals, std::string_view symbols) = 0;

    // What is said on standard error once the report is written.
    virtual void sayAfterReport() {}

    // Whether the run is a gate: then a run that measured no file fails.
    virtual bool gates() const { return false; }
};

// The writer of a survey: counts the files, reports those that could not
// be read in their place, and writes the report at the end, once every
// worker has handed its tally over.
class SurveyWriter : public Writer {
public:
    SurveyWriter(Survey &survey, bool outputClosed, bool progress, const changed::ChangedFiles *changes)
        : Writer(outputClosed, progress), survey_(survey), changes_(changes)
    {
    }

    void take(Target &&target) override;
    int finish() override;

private:
    Survey &survey_;
    const changed::ChangedFiles *changes_;
};

} // namespace cli
