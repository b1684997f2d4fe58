// The command line: options and paths.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "report/form.h"
#include "report/sorting.h"

namespace cli {

// How text is measured: C's own lexical rules on physical lines, or the
// menu's rules (pieces of 359 characters, one flag for comments and
// strings).
enum class Rules { C, Menu };

// What counts as a symbol under C's rules: every character but white space,
// or those of code alone (a comment nothing, a literal one).
enum class Symbols { All, Code };

struct Options {
    // Workers beyond this many would only wait for the disk and each other:
    // a larger -j is taken as this.
    static constexpr unsigned MOST_JOBS = 256;

    // Under the menu's rules a line holds at most 359 characters before it
    // is cut into pieces: a limit of 359 or more could never be passed. C's
    // rules count a line's symbols in 64 bits.
    static constexpr std::int64_t MOST_MENU_SYMBOL_LIMIT = 359;
    static constexpr std::int64_t MOST_SYMBOL_LIMIT = INT64_MAX;

    std::int64_t maxSymbols = -1; // with --max-symbols: report each line over it, instead of the figures
    std::vector<std::string> extensions = {"c", "h"};
    std::vector<std::string> cxxExtensions; // --cxx-ext: suffixes read as C++ besides those compilers know
    std::vector<std::string> excludes; // --exclude patterns, in order
    std::optional<std::string> files0From; // --files0-from: the list of paths, "-" for standard input
    std::vector<std::string> paths; // standard input when empty
    // --new-from-rev: only files (and with a report, lines) changed since this git revision
    std::optional<std::string> newFromRev;
    std::vector<std::int64_t> limits; // every --max-symbols, in order: the limits --histogram adds to its ladder
    std::int64_t top = 0; // --top: the densest lines of the run, this many, instead of the figures; 0 for none
    // The configuration: the nearest .cmeasure.toml of each file, or the
    // one --config names, or none with --no-config.
    std::optional<std::string> config;
    std::optional<std::string> baseline;      // --baseline: lines over the limit it holds are not reported
    std::optional<std::string> writeBaseline; // --write-baseline: record the lines over the limit there
    std::optional<SortKey> sort; // --sort: the rows in this order, once all are measured
    // --format, or its short forms --json and --sarif; once the options are
    // read, the default of the run (Table, or Text with a gate) when none
    // was given.
    Form form = Form::Table;
    Rules rules = Rules::C;
    std::optional<Symbols> symbols; // --symbols: over the configuration's
    unsigned jobs = 0; // 0: the default, 4 per processor this process may run on, at least 8
    int maxDepth = -1;  // -d, --max-depth, -s: rows of directories down to this depth instead of files
    bool noIgnore = false;             // --no-ignore: no ignore file is consulted
    bool summarize = false; // -s: --max-depth=0
    bool list = false;  // --list: the paths a run would measure, instead of their figures
    bool histogram = false; // --histogram: the distribution of line symbols, instead of the figures
    bool extensionsGiven = false; // --ext: the configuration's `ext` does not count
    bool rulesGiven = false;      // --rules: nor its `rules`
    bool noConfig = false;
    bool check = false; // --check: the gate at the configured limits, unless --max-symbols gives one
    bool byDialect = false; // --by-dialect: the sums of C's files and of C++'s before the total

    // Whether the run is a gate: lines over a limit instead of the figures.
    // --histogram and --top take --max-symbols as a limit of their own.
    bool gate() const { return check || (maxSymbols >= 0 && !histogram && top == 0); }
};

enum class Parsed { RUN, HELP, VERSION, USAGE_ERROR };

// Reads argv[1] onwards into `options`, as GNU tools read their options:
// long options may be abbreviated to any unambiguous prefix, a value may be
// glued (-j4, --jobs=4) or the next argument, options may follow paths,
// "--" ends the options, and "-" is a path. On a usage error `error` says
// what was wrong, in getopt's words, for a line of its own. It parses
// afresh on each call.
Parsed parseOptions(int argc, char **argv, Options &options, std::string &error);

// The text --help prints.
extern const char *const USAGE;

} // namespace cli
