// --histogram and --top: the counters and the arithmetic of the report in
// tables; the chart as golden text at a fixed width, plain and UTF-8; cases
// end to end; then random trees against a model of the distribution, and
// against the gate itself at each limit of the ladder.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <vector>

#include <regex>

#include "c_model.h"
#include "c_random_text.h"
#include "model.h"
#include "program.h"
#include "random_text.h"
#include "seed.h"
#include "report/histogram.h"
#include "report/top.h"

namespace {

using namespace cli;
using programtest::output;

struct OverCase {
    const char *name;
    Count limit;
    Count lines;
    Count allowed;
    Count files;
};

// Lines of 5 symbols (one allowed), and lines past the exact counts: on
// both sides of the first round edge past them (70 000), and of a limit
// given that is no round number (123 457). A file's densest line stands
// for the file.
LineCounts sample()
{
    const Count given[] = {123457};
    LineCounts counts(given);
    counts.addLines({.symbols = 5, .lines = 3, .allowed = 1});
    counts.addFile(5);
    for (const Count symbols : {LineCounts::EXACT + 1, Count{70000}, Count{70001}, Count{123457}, Count{123458}}) {
        counts.addLines({.symbols = symbols, .lines = 1});
        counts.addFile(symbols);
    }
    return counts;
}

class OverTest : public testing::TestWithParam<OverCase> {};

TEST_P(OverTest, CountsWhatTheGateWouldFlag)
{
    const LineCounts counts = sample();
    const OverCase &c = GetParam();
    ASSERT_TRUE(counts.isEdge(c.limit));
    const LineCounts::Over over = counts.over(c.limit);
    EXPECT_EQ(over.lines, c.lines);
    EXPECT_EQ(over.allowed, c.allowed);
    EXPECT_EQ(over.files, c.files);
}

INSTANTIATE_TEST_SUITE_P(LineCounts, OverTest, testing::Values(
    OverCase{"BelowTheLines", 4, 7, 1, 6},
    OverCase{"AtTheLines", 5, 5, 0, 5},
    OverCase{"AtTheLastExactCount", LineCounts::EXACT, 5, 0, 5},
    OverCase{"AtARoundEdgePastThem", 70000, 3, 0, 3},
    OverCase{"AtALimitGivenPastThem", 123457, 1, 0, 1},
    OverCase{"PastEveryLine", INT64_MAX, 0, 0, 0}
), [](const auto &info) { return std::string(info.param.name); });

TEST(LineCounts, RanksAndRangesGiveLinesOfTheData)
{
    const LineCounts counts = sample();
    EXPECT_EQ(counts.lines(), 8);
    EXPECT_EQ(counts.atRank(1), 5);
    EXPECT_EQ(counts.atRank(3), 5);
    // Past the exact counts, a range of counters answers with its densest
    // line: 65 537 and 70 000 share one.
    EXPECT_EQ(counts.atRank(4), 70000);
    EXPECT_EQ(counts.atRank(6), 70001);
    EXPECT_EQ(counts.atRank(7), 123457);
    EXPECT_EQ(counts.atRank(8), 123458);
    EXPECT_EQ(counts.allOver(0) - counts.allOver(5), 3);
    EXPECT_EQ(counts.allOver(5) - counts.allOver(70000), 2);
    EXPECT_EQ(counts.allOver(70000), 3);
    EXPECT_FALSE(counts.isEdge(70001));
}

TEST(Histogram, NearestRankIsTheSmallestAtOrAboveTheShare)
{
    EXPECT_EQ(nearestRank(1, 500), 1);
    EXPECT_EQ(nearestRank(2, 500), 1);
    EXPECT_EQ(nearestRank(3, 500), 2);
    EXPECT_EQ(nearestRank(1000, 999), 999);
    EXPECT_EQ(nearestRank(1001, 999), 1000);
    EXPECT_EQ(nearestRank(10, 999), 10);
    // 998.001 rounds up.
    EXPECT_EQ(nearestRank(999, 999), 999);
    EXPECT_EQ(nearestRank(INT64_MAX, 999), INT64_MAX - INT64_MAX / 1000);
    EXPECT_EQ(roundUp(3), 5);
    EXPECT_EQ(roundUp(11), 20);
    EXPECT_EQ(roundUp(INT64_MAX - 1), INT64_MAX);
}

TEST(Top, KeepsTheDensestTiesInOutputOrder)
{
    TopLines top(3);
    const auto line = [](Count symbols, std::size_t position, Count number) {
        return TopLine{.symbols = symbols, .position = position, .line = number, .column = 1, .path = "p"};
    };
    for (const TopLine &offered : {line(4, 2, 1), line(9, 5, 3), line(4, 1, 8), line(2, 0, 1), line(4, 1, 2)})
        top.offer(TopLine(offered));
    std::vector<std::pair<std::size_t, Count>> kept;
    for (const TopLine &l : top.takeInOrder())
        kept.emplace_back(l.position, l.line);
    EXPECT_EQ(kept, (std::vector<std::pair<std::size_t, Count>>{{5, 3}, {1, 2}, {1, 8}}));
}

// Lines per bucket across four decades, and a rung with allowed lines.
Distribution chartSample()
{
    Distribution d;
    d.lines = 12345 + 678 + 9;
    d.files = 42;
    d.percentiles = {12, 30, 55, 61};
    d.densest = {.symbols = 75, .position = 0, .path = "src/a b.c", .line = 7};
    d.ladder = {{20, {.lines = 687, .allowed = 0, .files = 30}}, {60, {.lines = 9, .allowed = 2, .files = 3}}};
    d.buckets = {{1, 20, 12345}, {21, 40, 678}, {41, 60, 0}, {61, 80, 9}};
    return d;
}

const std::string CHART_TABLES = "13032 lines with a symbol in 42 files\n\n"
                                 "percentile  symbols\n"
                                 "        50       12\n"
                                 "        90       30\n"
                                 "        99       55\n"
                                 "      99.9       61\n"
                                 "       max       75  src/a b.c:7\n\n"
                                 "limit  lines over  files over  allowed\n"
                                 "   20         687          30        0\n"
                                 "   60           9           3        2\n\n";

// 34 columns of bars: counts over four decades, on a log scale.
TEST(Plot, PlainAtAFixedWidth)
{
    std::string out;
    appendTextDistribution(out, chartSample(), {.width = 50, .blocks = false});
    EXPECT_EQ(out, CHART_TABLES + "symbols | lines, log scale\n"
                                  "   1-20 |################################## 12345\n"
                                  "  21-40 |######################## 678\n"
                                  "  41-60 | 0\n"
                                  "  61-80 |######## 9\n"
                                  "        +-------+--------+-------+-------+-\n"
                                  "        1       10       100     1000    10000\n");
}

// 26 columns of 8 eighths: 37 of 100 is 77 eighths, 9 columns and 5
// eighths; 1 is 2 eighths.
TEST(Plot, BlocksInEighthsAtAFixedWidth)
{
    Distribution d = chartSample();
    d.buckets = {{1, 20, 100}, {21, 40, 37}, {41, 60, 1}};
    std::string out;
    appendTextDistribution(out, d, {.width = 40, .blocks = true});
    EXPECT_EQ(out, CHART_TABLES + "symbols │ lines\n"
                                  "   1-20 │██████████████████████████ 100\n"
                                  "  21-40 │█████████▋ 37\n"
                                  "  41-60 │▎ 1\n"
                                  "        └────────────┬────────────┬\n"
                                  "        0            50           100\n");
}

const std::string TRY_HELP = "Try 'cmeasure --help' for more information.\n";
// t/a.c: 5 symbols, a blank line, 26 allowed; t/s/b.c: 1, 2 (from column 3), 22.
const std::string TREE = "mkdir -p t/s && printf 'int a;\\n\\nint bb = 1;  /* cmeasure: allow */\\n' > t/a.c && "
                         "printf 'x\\n  y  z\\nlong_line_here(1, 2, 3);\\n' > t/s/b.c";
const std::vector<std::string> PLAIN_80 = {"COLUMNS=80", "CMEASURE_BARS="};

INSTANTIATE_TEST_SUITE_P(CommandLineHistogram, ProgramTest, testing::Values(
    Case{.name = "HistogramJsonOfATree", .args = {"--histogram", "--json", "--max-symbols=21", "t"},
         .expected = "{\"lines\": 5, \"percentiles\": {\"p50\": 5, \"p90\": 26, \"p99\": 26, \"p99.9\": 26}, "
                     "\"max\": {\"symbols\": 26, \"path\": \"t/a.c\", \"line\": 3}, \"ladder\": ["
                     "{\"limit\": 4, \"lines\": 2, \"files\": 2, \"allowed\": 1}, "
                     "{\"limit\": 6, \"lines\": 1, \"files\": 1, \"allowed\": 1}, "
                     "{\"limit\": 8, \"lines\": 1, \"files\": 1, \"allowed\": 1}, "
                     "{\"limit\": 10, \"lines\": 1, \"files\": 1, \"allowed\": 1}, "
                     "{\"limit\": 12, \"lines\": 1, \"files\": 1, \"allowed\": 1}, "
                     "{\"limit\": 14, \"lines\": 1, \"files\": 1, \"allowed\": 1}, "
                     "{\"limit\": 16, \"lines\": 1, \"files\": 1, \"allowed\": 1}, "
                     "{\"limit\": 18, \"lines\": 1, \"files\": 1, \"allowed\": 1}, "
                     "{\"limit\": 20, \"lines\": 1, \"files\": 1, \"allowed\": 1}, "
                     "{\"limit\": 21, \"lines\": 1, \"files\": 1, \"allowed\": 1}, "
                     "{\"limit\": 22, \"lines\": 0, \"files\": 0, \"allowed\": 1}, "
                     "{\"limit\": 24, \"lines\": 0, \"files\": 0, \"allowed\": 1}, "
                     "{\"limit\": 26, \"lines\": 0, \"files\": 0, \"allowed\": 0}], \"buckets\": ["
                     "{\"from\": 1, \"to\": 2, \"lines\": 2}, {\"from\": 3, \"to\": 4, \"lines\": 0}, "
                     "{\"from\": 5, \"to\": 6, \"lines\": 1}, {\"from\": 7, \"to\": 8, \"lines\": 0}, "
                     "{\"from\": 9, \"to\": 10, \"lines\": 0}, {\"from\": 11, \"to\": 12, \"lines\": 0}, "
                     "{\"from\": 13, \"to\": 14, \"lines\": 0}, {\"from\": 15, \"to\": 16, \"lines\": 0}, "
                     "{\"from\": 17, \"to\": 18, \"lines\": 0}, {\"from\": 19, \"to\": 20, \"lines\": 0}, "
                     "{\"from\": 21, \"to\": 22, \"lines\": 1}, {\"from\": 23, \"to\": 24, \"lines\": 0}, "
                     "{\"from\": 25, \"to\": 26, \"lines\": 1}], \"files\": 2}\n",
         .setup = TREE},
    Case{.name = "HistogramOfNoFileIsAnObjectOfNothing", .args = {"--histogram", "--json", "t"},
         .expected = "{\"lines\": 0, \"percentiles\": {\"p50\": null, \"p90\": null, \"p99\": null, \"p99.9\": null}, "
                     "\"max\": null, \"ladder\": [], \"buckets\": [], \"files\": 0}\n",
         .errors = "cmeasure: no file measured\n", .setup = "mkdir t"},
    Case{.name = "HistogramOfBlankLinesHasNoPercentiles", .args = {"--histogram", "t"},
         .expected = "0 lines with a symbol in 1 file\n", .setup = "mkdir t && printf ' \\n\\t\\n' > t/a.c",
         .environment = PLAIN_80},
    // The menu's pieces are its lines: 359 symbols, then 42 with the newline.
    Case{.name = "HistogramOfTheMenusPieces", .expected = "[2,42,359,[1,0,0]]\n",
         .setup = "head -c 400 /dev/zero | tr '\\0' x > a.c && echo >> a.c",
         .shell = "cmeasure --rules=menu --histogram --json --max-symbols=358 --max-symbols=359 a.c | "
                  "jq -c '[.lines, .percentiles.p50, .max.symbols, [.ladder[] | select(.limit >= 358) | .lines]]'"},
    // An allowed line after a denser one: the scan's own count leaves it out
    // under either rules.
    Case{.name = "HistogramLeavesAnAllowedLineOutUnderEitherRules", .expected = "[2,[1,1]]\n[2,[1,1]]\n",
         .setup = "printf 'long_line_here(1, 2, 3);\\nx; /* cmeasure: allow */\\n' > a.c",
         .shell = "for r in c menu; do cmeasure --rules=$r --histogram --json --max-symbols=19 a.c | "
                  "jq -c '[.lines, (.ladder[] | select(.limit == 19) | [.lines, .allowed])]'; done"},
    Case{.name = "HistogramOfTheLinesAChangeAdds", .args = {"--histogram", "--json", "--new-from-rev=HEAD", "."},
         .expected = "2 7 7\n",
         .setup = "git init -q && printf 'a\\nbb\\n' > a.c && git add a.c && "
                  "git -c user.name=t -c user.email=t@t commit -qm a && printf 'cc c\\nint x = 1;\\n' >> a.c",
         .shell = "cmeasure --histogram --json --new-from-rev=HEAD . | jq -r '\"\\(.lines) \\(.max.symbols) \\(.percentiles.p99)\"'"},
    Case{.name = "HistogramBarsOfAnUnknownKind", .args = {"--histogram", "t"}, .expected = "",
         .errors = "cmeasure: CMEASURE_BARS: unknown kind of bars 'dots'\n", .status = 2,
         .environment = {"CMEASURE_BARS=dots"}},
    Case{.name = "TopTiesInOutputOrderAllowedLeftOut", .args = {"--top=3", "t"},
         .expected = "t/s/b.c:3:1: 22 symbols\nt/a.c:1:1: 5 symbols\nt/s/b.c:2:3: 2 symbols\n", .setup = TREE},
    // The menu's pieces count their newline and are placed at their first
    // column; the densest, allowed, is left out.
    Case{.name = "TopUnderTheMenusRulesLeavesTheAllowedOut", .args = {"--rules=menu", "--top=3", "t"},
         .expected = "t/s/b.c:3:1: 23 symbols\nt/a.c:1:1: 6 symbols\nt/s/b.c:2:1: 3 symbols\n", .setup = TREE},
    Case{.name = "TopAtALimitIsTheGatesHead", .args = {"--top=1", "--json", "--max-symbols=1", "t"},
         .expected = "{\"path\": \"t/s/b.c\", \"line\": 3, \"column\": 2, \"symbols\": 22, \"limit\": 1}\n",
         .errors = "cmeasure: 1 line over the limit allowed by 'cmeasure: allow'\n", .status = 1, .setup = TREE},
    Case{.name = "TopOfNothingIsNoGate", .args = {"--top=5", "t"}, .expected = "",
         .errors = "cmeasure: no file measured\n", .setup = "mkdir t"},
    Case{.name = "TopZeroLines", .args = {"--top=0"}, .expected = "",
         .errors = "cmeasure: invalid number of lines: '0'\n" + TRY_HELP, .status = 2},
    Case{.name = "HistogramAndTop", .args = {"--top=1", "--histogram"}, .expected = "",
         .errors = "cmeasure: options '--histogram' and '--top' cannot be combined\n" + TRY_HELP, .status = 2},
    Case{.name = "HistogramWithSarif", .args = {"--histogram", "--sarif", "--max-symbols=3"}, .expected = "",
         .errors = "cmeasure: options '--sarif' and '--histogram' cannot be combined\n" + TRY_HELP, .status = 2},
    Case{.name = "HistogramWithFormatCsv", .args = {"--histogram", "--format=csv", "t"}, .expected = "",
         .errors = "cmeasure: options '--format=csv' and '--histogram' cannot be combined\n" + TRY_HELP, .status = 2},
    Case{.name = "TopWithFormatGithub", .args = {"--format=github", "--top=2", "--max-symbols=1", "t"}, .expected = "",
         .errors = "cmeasure: options '--format=github' and '--top' cannot be combined\n" + TRY_HELP, .status = 2},
    Case{.name = "TopInTextAsByDefaultAndJsonByFormat", .expected = "t/s/b.c:3:1: 22 symbols\n"
         "{\"path\": \"t/s/b.c\", \"line\": 3, \"column\": 1, \"symbols\": 22}\n", .setup = TREE,
         .shell = "cmeasure --top=1 --format=text t && cmeasure --format=json --top=1 t"},
    Case{.name = "TopWithSummarize", .args = {"--top=2", "-s"}, .expected = "",
         .errors = "cmeasure: options '--summarize' and '--top' cannot be combined\n" + TRY_HELP, .status = 2},
    Case{.name = "HistogramWithList", .args = {"--list", "--histogram"}, .expected = "",
         .errors = "cmeasure: options '--list' and '--histogram' cannot be combined\n" + TRY_HELP, .status = 2},
    // Every limit of the ladder must be one the menu's pieces can pass.
    Case{.name = "HistogramMenuLimitPastAPiece", .args = {"--rules=menu", "--histogram", "--max-symbols=360", "--max-symbols=9"},
         .expected = "", .errors = "cmeasure: invalid symbol limit: '360'\n" + TRY_HELP, .status = 2},
    // Without a report it asks for the figures of the changed files: git
    // is asked, as it is for a report.
    Case{.name = "RevisionWithoutAReportIsNoUsageError", .args = {"--new-from-rev=HEAD", "."}, .expected = "",
         .errors = "cmeasure: .: git: not in a git work tree\n", .status = 2}
), caseName);

// On a terminal: its width, and block characters where the locale is UTF-8.
const std::string TERMINAL_TABLES = "1 line with a symbol in 1 file\n\npercentile  symbols\n        50        3\n"
                                    "        90        3\n        99        3\n      99.9        3\n"
                                    "       max        3  a.c:1\n\nlimit  lines over  files over\n"
                                    "    3           0           0\n\n";
INSTANTIATE_TEST_SUITE_P(CommandLineHistogramTerminal, ProgramTest, testing::Values(
    Case{.name = "HistogramFitsTheTerminalInBlocks", .args = {"--histogram", "a.c"}, .expected = "",
         .errors = TERMINAL_TABLES + "symbols │ lines\n      1 │ 0\n      2 │ 0\n"
                                     "      3 │█████████████████████████████ 1\n"
                                     "        └────────────────────────────┬\n"
                                     "        0                            1\n",
         .setup = "printf 'abc\\n' > a.c", .environment = {"LANG=C.UTF-8", "LC_ALL=", "LC_CTYPE=", "COLUMNS=", "CMEASURE_BARS="},
         .terminal = {1, 2}, .columns = 41},
    Case{.name = "HistogramFitsTheTerminalInHashes", .args = {"--histogram", "a.c"}, .expected = "",
         .errors = TERMINAL_TABLES + "symbols | lines\n      1 | 0\n      2 | 0\n"
                                     "      3 |############################# 1\n"
                                     "        +----------------------------+\n"
                                     "        0                            1\n",
         .setup = "printf 'abc\\n' > a.c", .environment = {"LANG=C", "LC_ALL=", "LC_CTYPE=", "COLUMNS=", "CMEASURE_BARS="},
         .terminal = {1, 2}, .columns = 41}
), caseName);

namespace fs = std::filesystem;

// The line and symbols of each line a file's report counts, by the model
// of either rules: C's lines, or the menu's pieces that hold a symbol.
using Symbols = std::vector<std::pair<Count, Count>>;
using Lines = std::vector<std::pair<std::string, Symbols>>; // by path, in output order

Symbols symbolsOf(const std::string &text, bool menu)
{
    Symbols symbols;
    if (menu) {
        for (const model::OverLimit &piece : model::overLimit(text, 0))
            symbols.emplace_back(piece.line, piece.symbols);
    } else {
        for (const cmodel::Line &line : cmodel::lines(text))
            symbols.emplace_back(static_cast<Count>(symbols.size()) + 1, line.symbols);
    }
    return symbols;
}

std::vector<std::vector<Count>> numbersMatching(const std::string &text, const std::string &pattern)
{
    std::vector<std::vector<Count>> found;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it) {
        found.emplace_back();
        for (std::size_t k = 1; k < it->size(); k++)
            found.back().push_back(std::stoll((*it)[k].str()));
    }
    return found;
}

// The report against the model: the lines that hold a symbol, the
// percentiles by nearest rank, the first densest line, and buckets that
// follow one another from 1 past the densest line, each with the lines the
// model has in it.
void expectModelsDistribution(const std::string &json, const Lines &files)
{
    std::vector<Count> all;
    Count most = 0;
    std::string densest;
    for (const auto &[path, lines] : files)
        for (const auto &[line, symbols] : lines) {
            if (symbols > 0)
                all.push_back(symbols);
            if (symbols > most) {
                most = symbols;
                densest = "\"path\": \"" + path + "\", \"line\": " + std::to_string(line);
            }
        }
    std::sort(all.begin(), all.end());
    const auto n = static_cast<Count>(all.size());
    ASSERT_EQ(numbersMatching(json, R"(^\{"lines": (\d+))").at(0).at(0), n) << json;
    if (n == 0)
        return;
    std::vector<Count> percentiles;
    for (const Count permille : {500, 900, 990, 999})
        percentiles.push_back(all[static_cast<std::size_t>((permille * n + 999) / 1000 - 1)]);
    EXPECT_EQ(numbersMatching(json, R"("p50": (\d+), "p90": (\d+), "p99": (\d+), "p99.9": (\d+))").at(0), percentiles);
    EXPECT_NE(json.find("\"max\": {\"symbols\": " + std::to_string(most) + ", " + densest + "}"), std::string::npos)
        << json;
    Count next = 1;
    for (const std::vector<Count> &bucket : numbersMatching(json, R"(\{"from": (\d+), "to": (\d+), "lines": (\d+)\})")) {
        EXPECT_EQ(bucket[0], next);
        EXPECT_EQ(bucket[2], std::count_if(all.begin(), all.end(), [&](Count s) { return s >= bucket[0] && s <= bucket[1]; }))
            << bucket[0] << "-" << bucket[1];
        next = bucket[1] + 1;
    }
    EXPECT_GT(next, most);
}

// Each rung of the ladder against the gate run at its limit: its lines,
// and the files they are in. The limits given are rungs.
void expectGatesLadder(const std::string &json, const std::string &run, const std::vector<Count> &given)
{
    std::set<Count> limits;
    for (const std::vector<Count> &rung :
         numbersMatching(json, R"(\{"limit": (\d+), "lines": (\d+), "files": (\d+), "allowed": \d+\})")) {
        limits.insert(rung[0]);
        const std::string gate = output(run + " --max-symbols=" + std::to_string(rung[0]) + " 2>/dev/null | cut -d: -f1 | uniq -c | "
                                        "awk '{lines += $1; files++} END {print lines + 0, files + 0}'");
        EXPECT_EQ(gate, std::to_string(rung[1]) + " " + std::to_string(rung[2]) + "\n") << "limit " << rung[0];
    }
    for (const Count limit : given)
        EXPECT_TRUE(limits.contains(limit)) << limit;
}

// Random text in a tree, under random workers, C's rules and then the
// menu's, with limits given: the report is the model's distribution, its
// ladder is what the gate reports, and --top is the head of the gate's
// diagnostics at limit 0, sorted by symbols and stably.
TEST(CommandLine, RandomTreesHistogramAgreesWithModelAndGate)
{
    const unsigned seed = testseed::fresh();
    SCOPED_TRACE("seed " + std::to_string(seed));
    crandom::Rng rng(seed);
    char pattern[] = "/tmp/cmeasure-histogram-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    for (const bool menu : {false, true}) {
        fs::remove_all(dir / "t");
        Lines files;
        for (int k = 0; k < 24; k++) {
            const std::string path = "t/" + std::to_string(k % 3) + "/" + std::to_string(k) + ".c";
            const std::string text = menu ? randomtext::aroundPieceEdges(rng, std::uniform_int_distribution(0, 12)(rng))
                                          : crandom::text(rng, std::uniform_int_distribution(0, 900)(rng));
            fs::create_directories((dir / path).parent_path());
            std::ofstream(dir / path, std::ios::binary) << text;
            files.emplace_back(path, symbolsOf(text, menu));
        }
        std::sort(files.begin(), files.end());
        const std::vector<Count> given = {std::uniform_int_distribution(0, menu ? 359 : 200)(rng), 7};
        const std::string run = "cd " + dir.string() + " && " + CMEASURE_PATH + (menu ? " --rules=menu" : "") +
                                " -j " + std::to_string(std::uniform_int_distribution(1, 8)(rng)) + " t";
        const std::string json = output(run + " --histogram --json --max-symbols=" + std::to_string(given[0]) +
                                        " --max-symbols=" + std::to_string(given[1]));
        expectModelsDistribution(json, files);
        expectGatesLadder(json, run, given);
        const std::string top = std::to_string(std::uniform_int_distribution(1, 60)(rng));
        EXPECT_EQ(output(run + " --top=" + top),
                  output(run + " --max-symbols=0 2>/dev/null | sed 's/ (limit 0)$//' | "
                               "awk -F': ' '{n = $2; sub(/ .*/, \"\", n); print n \"\\t\" $0}' | "
                               "sort -t \"$(printf '\\t')\" -k1,1nr -s | head -n " + top + " | cut -f2-"));
    }
    fs::remove_all(dir);
}

} // namespace
