// The main thread's part: takes the finished targets out of the window in
// order and writes what each gave, then what the run ends with. Two kinds:
// the figures (FiguresWriter, here) and the diagnostics of --max-symbols
// (DiagnosticsWriter, in gate.h), each through the format of the run.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "report/format.h"
#include "report/output.h"
#include "report/progress.h"
#include "report/sorting.h"
#include "report/stdstreams.h"
#include "report/views.h"
#include "run/window.h"

namespace cli {

class Writer {
public:
    using Clock = std::chrono::steady_clock;
    using milliseconds = std::chrono::milliseconds;

    // Rows wait at most this long to be written: enough to gather the rows
    // of a fast run into large writes, short enough for them to appear as
    // they are measured.
    static constexpr milliseconds GATHERING{10};

    Writer(bool outputClosed, bool progress) : out_(outputClosed), progress_(progress) {}
    virtual ~Writer() = default;
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // Called before each wait for finished targets.
    virtual void beforeWait() {}

    // How long to wait for the oldest target to finish before tick() is due.
    milliseconds patience() const;

    // How long to wait for more finished targets once the oldest is.
    virtual milliseconds gathering() const { return GATHERING; }

    // Writes what has waited long enough, and shows progress.
    void tick();

    // Writes what is held at once: before a wait that may be long.
    void writeHeld() { flush(); }

    // Writes what `target` gave, or holds it back to write later.
    virtual void take(Target &&target) = 0;

    // Writes what the run ends with, and returns the exit status.
    virtual int finish() = 0;

protected:
    // Adds a measured target to the totals and to the progress line.
    void count(const Target &target);

    // What the total says of what counted as a symbol: nothing when every
    // character did, as it always had, so that such output stays the same.
    std::string_view symbolsOfTotal() const
    {
        return codeOnly_ == 0 ? "" : codeOnly_ == totals_.files ? "code" : "mixed";
    }

    // Writes what is held, then `bytes` if any, or ends the run if that fails.
    void flush(std::string_view bytes = {});

    // A message keeps its place among the rows: the rows before it are
    // written first.
    void complainAbout(const Target &target);

    StdoutBuffer out_;
    Clock::time_point gathered_ = {}; // when the oldest text not yet written was added
    Progress progress_;
    Totals totals_;
    int status_ = 0;

private:
    Count bytes_ = 0;
    Count codeOnly_ = 0; // files measured counting the symbols of code alone
};

// What a run of figures writes besides a row per file, by the options.
struct FigureRows {
    // With -d or -s, the depth of the directory rows written instead of
    // the rows of files walked; -1 for no directory rows.
    int maxDepth = -1;
    std::optional<SortKey> sort = {}; // --sort: every row held, then written in order
    bool byDialect = false;           // a row per dialect before the total
    std::string_view changedSince = {}; // --new-from-rev: the revision, for the total to name
};

// The figures of each file, or of each directory, then the total. A format
// that sizes its columns has its first rows held back to size them.
class FiguresWriter : public Writer {
public:
    // The table's columns are sized on its first 1 000 rows: enough to fit
    // nearly every tree, few enough to show rows soon. Messages among them
    // wait with them, up to this many rows and messages in all.
    static constexpr Count TABLE_SAMPLE_ROWS = 1000;
    static constexpr std::size_t MOST_HELD = 10000;

    // Once they are, the sums of the rows that sized them may grow this
    // many digits wider in the total and still line up: a thousand times
    // the sample, a million files of the same sizes.
    static constexpr int TOTAL_RESERVE_DIGITS = 3;

    FiguresWriter(Format &format, bool outputClosed, bool progress, const FigureRows &rows = {})
        : Writer(outputClosed, progress), format_(format), directories_(rows.maxDepth),
          byDialect_(rows.byDialect), changedSince_(rows.changedSince), widthsFinal_(!format.sizesColumns())
    {
        if (rows.sort)
            sorted_.emplace(*rows.sort);
    }

    void take(Target &&target) override;
    int finish() override;

private:
    using Row = std::variant<Target, DirectoryRow>;

    void emit(Row &&row);
    void hold(Row &&row);
    void release();
    void write(const Row &row);
    void writeSorted(const SortedRow &row);
    void writeDialects();
    void beginRow();
    void endRow(Count files);

    Format &format_;
    DirectoryView directories_;
    std::optional<SortedRows> sorted_;
    bool byDialect_;
    Totals dialects_[2]; // C's, C++'s
    std::string_view changedSince_;
    bool widthsFinal_;    // the columns are sized, or need no sizing
    bool headed_ = false; // the header is written
    std::vector<Row> held_;
    Count heldRows_ = 0;
    Count widestRow_ = 0; // the most files a row written sums
};

// The paths a run would measure, one per line, in the format's form;
// failures to walk are reported in their place.
class ListWriter : public Writer {
public:
    ListWriter(Format &format, bool outputClosed) : Writer(outputClosed, false), format_(format) {}

    void take(Target &&target) override;
    int finish() override;

private:
    Format &format_;
};

} // namespace cli
