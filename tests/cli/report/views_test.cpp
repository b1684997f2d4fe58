// The views of a tree: directory rows (-d, -s) and the list of paths a run
// would measure (--list). Rows in their place, bad input and limits in
// tables; then random trees, where every directory row must be what the
// per-file rows of the same tree sum to, and the list what a measuring run
// measures.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <sstream>

#include "program.h"
#include "random_text.h"
#include "seed.h"

namespace {

using programtest::output;

namespace fs = std::filesystem;

// The code, comment and blank lines of a row, as C's rules give them.
struct Classes {
    long code = 0, comment = 0, blank = 0;
};

std::string classKeys(const Classes &c)
{
    return ", \"code_lines\": " + std::to_string(c.code) + ", \"comment_lines\": " + std::to_string(c.comment) +
           ", \"blank_lines\": " + std::to_string(c.blank);
}

// The rows of these cases' files hold code alone.
Classes code(long lines)
{
    return {.code = lines};
}

std::string fileRow(const std::string &path, long lines, long densest, long symbols, long identifiers,
                    const Classes &classes)
{
    return "{\"path\": " + path + ", \"lines\": " + std::to_string(lines) + ", \"line_with_max_symbols\": " +
           std::to_string(densest) + ", \"max_symbols\": " + std::to_string(symbols) +
           ", \"identifiers\": " + std::to_string(identifiers) + classKeys(classes) + "}\n";
}

std::string fileRow(const std::string &path, long lines, long densest, long symbols, long identifiers)
{
    return fileRow(path, lines, densest, symbols, identifiers, code(lines));
}

// A row of sums after its first key and value: a directory's, a
// dialect's or the total's.
std::string sumsRow(const std::string &first, long files, long lines, long identifiers, long symbols,
                    const std::string &path, long line, const Classes &classes)
{
    return "{" + first + ", \"files\": " + std::to_string(files) + ", \"lines\": " + std::to_string(lines) +
           ", \"identifiers\": " + std::to_string(identifiers) + classKeys(classes) +
           ", \"max_symbols\": " + std::to_string(symbols) + ", \"path\": " + path +
           ", \"line_with_max_symbols\": " + std::to_string(line) + "}\n";
}

// A directory row; with `directory` empty, the total.
std::string directoryRow(const std::string &directory, long files, long lines, long identifiers, long symbols,
                         const std::string &path, long line, const Classes &classes)
{
    return sumsRow(directory.empty() ? "\"total\": true" : "\"directory\": \"" + directory + "\"", files, lines,
                   identifiers, symbols, path, line, classes);
}

std::string directoryRow(const std::string &directory, long files, long lines, long identifiers, long symbols,
                         const std::string &path, long line)
{
    return directoryRow(directory, files, lines, identifiers, symbols, path, line, code(lines));
}

// The table's header, and that of a table of sums.
const std::string HEADER = "lines  densest_line  max_symbols  identifiers  code  comment  blank  path\n";
const std::string SUMS_HEADER = "lines  densest_path:line  max_symbols  identifiers  code  comment  blank  path\n";

const std::string TRY_HELP = "Try 'cmeasure --help' for more information.\n";
// t/a.c: one line of 1 symbol; t/s/b.c: two lines, the second of 3; t/e empty.
const std::string TREE = "mkdir -p t/s t/e && echo x > t/a.c && printf 'y\\nz = 1\\n' > t/s/b.c";
const std::string A_IN_T = "\"t/a.c\"";
const std::string B_IN_S = "\"t/s/b.c\"";
// x.c 10 000 directories below t.
const std::string DEEPEST = [] {
    std::string path = "\"t/";
    for (int k = 0; k < 10000; k++)
        path += "d/";
    return path + "x.c\"";
}();

INSTANTIATE_TEST_SUITE_P(CommandLineViews, ProgramTest, testing::Values(
    Case{.name = "SummarizeOneRowPerArgumentFileKeepsItsOwn", .args = {"--json", "-s", "t", "main.c", "t/e"},
         .expected = directoryRow("t", 2, 3, 3, 3, B_IN_S, 2) + fileRow("\"main.c\"", 1, 1, 1, 1) +
                     directoryRow("t/e", 0, 0, 0, 0, "null", 0) + directoryRow("", 3, 4, 4, 3, B_IN_S, 2),
         .source = "x\n", .setup = TREE},
    Case{.name = "DepthOneRowsAfterTheirContents", .args = {"--json", "--max-depth=1", "t"},
         .expected = directoryRow("t/e", 0, 0, 0, 0, "null", 0) + directoryRow("t/s", 1, 2, 2, 3, B_IN_S, 2) +
                     directoryRow("t", 2, 3, 3, 3, B_IN_S, 2) + directoryRow("", 2, 3, 3, 3, B_IN_S, 2),
         .setup = TREE},
    Case{.name = "TableRowNamesDensestPathAndLineNoRepeatedTotal", .args = {"-d", "1", "t"},
         .expected = SUMS_HEADER +
                     "    0  -                            0            0     0        0      0  t/e/  (0 files)\n"
                     "    2  t/s/b.c:2                    3            2     2        0      0  t/s/  (1 file)\n"
                     "    3  t/s/b.c:2                    3            3     3        0      0  t/  (2 files)\n",
         .setup = TREE},
    Case{.name = "UnreadableDirectoryReportedInItsPlace", .args = {"--json", "-d", "1", "t"},
         .expected = "cmeasure: t/m: Permission denied\n" + directoryRow("t/s", 1, 2, 2, 3, B_IN_S, 2) +
                     directoryRow("t", 2, 3, 3, 3, B_IN_S, 2) + directoryRow("", 2, 3, 3, 3, B_IN_S, 2),
         .status = 1, .setup = "mkdir -p t/m t/s && echo x > t/a.c && echo x > t/m/b.c && chmod 0 t/m && "
                               "printf 'y\\nz = 1\\n' > t/s/b.c",
         .unprivileged = true, .oneStream = true},
    Case{.name = "TenThousandLevelsSummarized", .args = {"--json", "-s", "t"},
         .expected = directoryRow("t", 1, 1, 1, 1, DEEPEST, 1) + directoryRow("", 1, 1, 1, 1, DEEPEST, 1),
         .setup = "mkdir t && cd t && perl -e 'for (1..10000) { mkdir \"d\" or die; chdir \"d\" or die } "
                  "open(my $f, \">\", \"x.c\") or die; print $f \"x\\n\"'"},
    // t/a and t/b tie on their densest line: t's row, as the total, names
    // the first.
    Case{.name = "TiedDirectoriesNameTheFirst", .args = {"--json", "-s", "t"},
         .expected = directoryRow("t", 2, 2, 4, 5, "\"t/a/f.c\"", 1) + directoryRow("", 2, 2, 4, 5, "\"t/a/f.c\"", 1),
         .setup = "mkdir -p t/a t/b && echo 'int x;' > t/a/f.c && echo 'int y;' > t/b/g.c"},
    // t/a holds an empty file, and so no line: t's row, as the total, names
    // the first line of t/b's file, though it has no symbol either.
    Case{.name = "DirectoryOfAnEmptyFileHoldsNoDensestLine", .args = {"--json", "-s", "t"},
         .expected = directoryRow("t", 2, 2, 0, 0, "\"t/b/g.c\"", 1, {.blank = 2}) +
                     directoryRow("", 2, 2, 0, 0, "\"t/b/g.c\"", 1, {.blank = 2}),
         .setup = "mkdir -p t/a t/b && touch t/a/f.c && printf ' \\n\\n' > t/b/g.c"},
    Case{.name = "ListWritesPathsEscaped", .args = {"--list", "t", "main.c"},
         .expected = "t/a\\nb.c\nt/s/b.c\nmain.c\n", .source = "x\n",
         .setup = "mkdir -p t/s && echo x > t/s/b.c && echo x > \"t/$(printf 'a\\nb.c')\""},
    Case{.name = "ListJsonWithExcludeMissingPathFails", .args = {"--list", "--json", "--exclude=s/", "t", "none.c"},
         .expected = "{\"path\": \"t/a.c\"}\n", .errors = "cmeasure: none.c: No such file or directory\n",
         .status = 1, .setup = TREE}
), caseName);

// Under C's rules. a.c: 2 symbols on line 1; b.c: 2 lines, 2 symbols on
// line 1; c.c: 3 symbols; B.c sorts before them all by its bytes.
const std::string TIES = "printf 'ab\\n' > a.c && printf 'xy\\ncd\\n' > b.c && printf 'abc\\n' > c.c && printf 'q\\n' > B.c";
// t/a.c: 1 line of 1 symbol; t/s/b.c: 2 lines, 4 symbols on the second;
// t/s/c.cpp, C++: 7 symbols, 3 identifiers; t/e empty.
const std::string MIXED = "mkdir -p t/s t/e && echo x > t/a.c && printf 'y\\nz = 1;\\n' > t/s/b.c && "
                          "printf 'int  a , b;\\n' > t/s/c.cpp";

// k.c: a line of code; m.c: 2 comment lines, then a blank one; n.c: a
// comment line.
const std::string CLASSES = "printf 'x;\\n' > k.c && printf '// a\\n// b\\n\\n' > m.c && printf '/* a */\\n' > n.c";

INSTANTIATE_TEST_SUITE_P(CommandLineSortAndDialects, ProgramTest, testing::Values(
    Case{.name = "SortByFigureLargestFirstTiesInOutputOrder", .args = {"--json", "--sort=max_symbols", "a.c", "b.c", "c.c"},
         .expected = fileRow("\"c.c\"", 1, 1, 3, 1) + fileRow("\"a.c\"", 1, 1, 2, 1) + fileRow("\"b.c\"", 2, 1, 2, 2) +
                     directoryRow("", 3, 4, 4, 3, "\"c.c\"", 1),
         .setup = TIES},
    Case{.name = "SortByLinesTiesInOutputOrderTableSizedOnAll", .args = {"--sort=lines", "c.c", "b.c", "a.c"},
         .expected = HEADER +
                     "    2             1            2            2     2        0      0  b.c\n"
                     "    1             1            3            1     1        0      0  c.c\n"
                     "    1             1            2            1     1        0      0  a.c\n"
                     "    4             1            3            4     4        0      0  total of 3 files; densest line in c.c\n",
         .setup = TIES},
    Case{.name = "SortByPathInByteOrder", .args = {"--json", "--sort=path", "c.c", "a.c", "B.c"},
         .expected = fileRow("\"B.c\"", 1, 1, 1, 1) + fileRow("\"a.c\"", 1, 1, 2, 1) + fileRow("\"c.c\"", 1, 1, 3, 1) +
                     directoryRow("", 3, 3, 3, 3, "\"c.c\"", 1),
         .setup = TIES},
    Case{.name = "SortByIdentifiers", .args = {"--json", "--sort=identifiers", "a.c", "b.c"},
         .expected = fileRow("\"b.c\"", 2, 1, 2, 2) + fileRow("\"a.c\"", 1, 1, 2, 1) + directoryRow("", 2, 3, 3, 2, "\"a.c\"", 1),
         .setup = TIES},
    Case{.name = "SortByCommentLines", .args = {"--sort=comment_lines", "k.c", "n.c", "m.c"},
         .expected = HEADER +
                     "    3             1            3            0     0        2      1  m.c\n"
                     "    1             1            5            0     0        1      0  n.c\n"
                     "    1             1            2            1     1        0      0  k.c\n"
                     "    5             1            5            1     1        3      1  total of 3 files; densest line in n.c\n",
         .setup = CLASSES},
    // k.c and n.c tie.
    Case{.name = "SortByBlankLinesLastKeyTiesInOutputOrder", .args = {"--json", "--sort=blank_lines", "k.c", "n.c", "m.c"},
         .expected = fileRow("\"m.c\"", 3, 1, 3, 0, {.comment = 2, .blank = 1}) + fileRow("\"k.c\"", 1, 1, 2, 1) +
                     fileRow("\"n.c\"", 1, 1, 5, 0, {.comment = 1}) +
                     directoryRow("", 3, 5, 1, 5, "\"n.c\"", 1, {.code = 1, .comment = 3, .blank = 1}),
         .setup = CLASSES},
    Case{.name = "SortByDensestLine", .args = {"--json", "--sort=line_with_max_symbols", "t"},
         .expected = fileRow("\"t/s/b.c\"", 2, 2, 4, 2) + fileRow("\"t/a.c\"", 1, 1, 1, 1) +
                     directoryRow("", 2, 3, 3, 4, "\"t/s/b.c\"", 2),
         .setup = MIXED},
    Case{.name = "SortMessagesFirstThenRows", .args = {"--sort=lines", "a.c", "none.c", "b.c"},
         .expected = "cmeasure: none.c: No such file or directory\n" + HEADER +
                     "    2             1            2            2     2        0      0  b.c\n"
                     "    1             1            2            1     1        0      0  a.c\n"
                     "    3             1            2            3     3        0      0  total of 2 files; densest line in a.c\n",
         .status = 1, .setup = TIES, .oneStream = true},
    Case{.name = "SortViewRowsLeavesTheRepeatedTotal", .args = {"-d", "1", "--sort=identifiers", "--ext=c,cpp", "t"},
         .expected = SUMS_HEADER +
                     "    4  t/s/c.cpp:1                  7            6     4        0      0  t/  (3 files)\n"
                     "    3  t/s/c.cpp:1                  7            5     3        0      0  t/s/  (2 files)\n"
                     "    0  -                            0            0     0        0      0  t/e/  (0 files)\n",
         .setup = MIXED},
    Case{.name = "ByDialectRowsBeforeTheTotal", .args = {"--by-dialect", "--ext=c,cpp", "t"},
         .expected = SUMS_HEADER +
                     "    1  t/a.c:1                      1            1     1        0      0  t/a.c\n"
                     "    2  t/s/b.c:2                    4            2     2        0      0  t/s/b.c\n"
                     "    1  t/s/c.cpp:1                  7            3     1        0      0  t/s/c.cpp\n"
                     "    3  t/s/b.c:2                    4            3     3        0      0  dialect C  (2 files)\n"
                     "    1  t/s/c.cpp:1                  7            3     1        0      0  dialect C++  (1 file)\n"
                     "    4  t/s/c.cpp:1                  7            6     4        0      0  total of 3 files\n",
         .setup = MIXED},
    // Both dialects always have a row, an empty one with zeros.
    Case{.name = "ByDialectJsonSummarizedOneDialectEmpty", .args = {"--json", "--by-dialect", "-s", "t"},
         .expected = directoryRow("t", 2, 3, 3, 4, B_IN_S, 2) +
                     sumsRow("\"dialect\": \"C\"", 2, 3, 3, 4, B_IN_S, 2, code(3)) +
                     sumsRow("\"dialect\": \"C++\"", 0, 0, 0, 0, "null", 0, {}) +
                     directoryRow("", 2, 3, 3, 4, B_IN_S, 2),
         .setup = MIXED},
    // A header read as C++ by --cxx-ext counts as C++.
    Case{.name = "ByDialectCxxExtAndCsvColumn", .args = {"--format=csv", "--by-dialect", "--cxx-ext=h", "a.h", "c.c"},
         .expected = "path,lines,line_with_max_symbols,max_symbols,identifiers,code_lines,comment_lines,blank_lines,files,directory,total,dialect\r\n"
                     "a.h,1,1,2,1,1,0,0,,,,\r\nc.c,1,1,3,1,1,0,0,,,,\r\n"
                     "c.c,1,1,3,1,1,0,0,1,,,C\r\na.h,1,1,2,1,1,0,0,1,,,C++\r\nc.c,2,1,3,2,2,0,0,2,,true,\r\n",
         .setup = "printf 'ab\\n' > a.h && printf 'abc\\n' > c.c"},
    Case{.name = "SummarizeOneArgumentNoRepeatedTotal", .args = {"-s", "t"},
         .expected = SUMS_HEADER +
                     "    3  t/s/b.c:2                    4            3     3        0      0  t/  (2 files)\n",
         .setup = MIXED},
    Case{.name = "SummarizeTwoArgumentsKeepTheTotal", .args = {"-s", "t/s", "t/a.c"},
         .expected = SUMS_HEADER +
                     "    2  t/s/b.c:2                    4            2     2        0      0  t/s/  (1 file)\n"
                     "    1  t/a.c:1                      1            1     1        0      0  t/a.c\n"
                     "    3  t/s/b.c:2                    4            3     3        0      0  total of 2 files\n",
         .setup = MIXED},
    // The second argument adds no file: the total would repeat t's row.
    Case{.name = "SummarizeEmptySecondArgumentNoRepeatedTotal", .args = {"--format=markdown", "-s", "t", "t/e"},
         .expected = "| lines | densest_path:line | max_symbols | identifiers | code | comment | blank | path |\n"
                     "| ---: | :--- | ---: | ---: | ---: | ---: | ---: | :--- |\n"
                     "| 3 | `t/s/b.c`:2 | 4 | 3 | 3 | 0 | 0 | `t/` (2 files) |\n"
                     "| 0 | - | 0 | 0 | 0 | 0 | 0 | `t/e/` (0 files) |\n",
         .setup = MIXED}
), caseName);

Case usage(const char *name, std::vector<std::string> args, const std::string &error)
{
    return {.name = name, .args = std::move(args), .expected = "", .errors = "cmeasure: " + error + "\n" + TRY_HELP,
            .status = 2};
}

INSTANTIATE_TEST_SUITE_P(CommandLineViewsUsage, ProgramTest, testing::Values(
    usage("NegativeDepth", {"-d", "-1", "t"}, "invalid maximum depth: '-1'"),
    usage("EmptyDepth", {"--max-depth=", "t"}, "invalid maximum depth: ''"),
    usage("NonNumericDepth", {"--max-depth=1x", "t"}, "invalid maximum depth: '1x'"),
    usage("MissingDepth", {"t", "-d"}, "option '-d' requires an argument"),
    usage("SummarizeWithDepth", {"-s", "-d", "0", "t"}, "options '--summarize' and '--max-depth' cannot be combined"),
    usage("ListWithMaxSymbols", {"--list", "--max-symbols=3", "t"},
          "options '--list' and '--max-symbols' cannot be combined"),
    usage("ListWithSummarize", {"--list", "-s", "t"}, "options '--summarize' and '--list' cannot be combined"),
    usage("DepthWithMaxSymbols", {"-d", "2", "--max-symbols=3", "t"},
          "options '--max-depth' and '--max-symbols' cannot be combined"),
    usage("SortUnknownKeyListsTheKeys", {"--sort=densest_line", "t"},
          "invalid argument 'densest_line' for '--sort'\nValid arguments are 'path', 'lines', "
          "'line_with_max_symbols', 'max_symbols', 'identifiers', 'code_lines', 'comment_lines' and 'blank_lines'"),
    usage("SortWithMaxSymbols", {"--sort=lines", "--max-symbols=3", "t"},
          "options '--sort' and '--max-symbols' cannot be combined"),
    usage("ByDialectWithList", {"--list", "--by-dialect", "t"}, "options '--by-dialect' and '--list' cannot be combined"),
    usage("ByDialectUnderTheMenusRules", {"--rules=menu", "--by-dialect", "t"}, "option '--by-dialect' requires --rules=c"),
    usage("NewFromRevWithList", {"--list", "--new-from-rev=HEAD", "t"},
          "options '--new-from-rev' and '--list' cannot be combined"),
    Case{.name = "DepthPastTheTreeIsFine", .args = {"--json", "-d", "99999999999999999999", "t/s"},
         .expected = directoryRow("t/s", 1, 2, 2, 3, B_IN_S, 2) + directoryRow("", 1, 2, 2, 3, B_IN_S, 2), .setup = TREE}
), caseName);

const char *const NAMES[] = {"a", "a.c", "a-b.c", "a0.h", "b", "b.txt", "a.c.c"};

// A file that a third of the random files are: its line is denser than any
// of the others', so that directories tie on their densest, and the first
// in the walk's order must be named.
const std::string TIED = std::string(2000, 'x') + "\n";

// Fills `dir` with random files and directories `depth` levels deep, and
// adds every directory made, by its path below `dir`'s root, to `made`.
void growTree(randomtext::Rng &rng, const fs::path &dir, const std::string &below, int depth,
              std::vector<std::string> &made)
{
    made.push_back(below);
    for (const std::string name : NAMES) {
        const int kind = randomtext::pick(rng, 0, 3); // 0: none, 1: a file, 2 and 3: a directory
        if (kind >= 2 && depth > 0) {
            fs::create_directory(dir / name);
            growTree(rng, dir / name, below.empty() ? name : below + "/" + name, depth - 1, made);
        } else if (kind > 0) {
            std::ofstream(dir / name, std::ios::binary) << (randomtext::pick(rng, 0, 2) == 0 ? TIED
                                                            : randomtext::file(rng, randomtext::pick(rng, 0, 120)));
        }
    }
}

struct FileRow {
    std::string path;
    long lines, densest, symbols, identifiers;
    Classes classes;
};

// The file rows of a measuring run's JSON Lines, its total left out.
std::vector<FileRow> fileRows(const std::string &lines)
{
    static const std::regex ROW(R"re(\{"path": "([^"]*)", "lines": (\d+), "line_with_max_symbols": (\d+), )re"
                                R"re("max_symbols": (\d+), "identifiers": (\d+), "code_lines": (\d+), )re"
                                R"re("comment_lines": (\d+), "blank_lines": (\d+)\})re");
    std::vector<FileRow> rows;
    std::istringstream in(lines);
    std::smatch m;
    for (std::string line; std::getline(in, line);)
        if (std::regex_match(line, m, ROW))
            rows.push_back({m[1], std::stol(m[2]), std::stol(m[3]), std::stol(m[4]), std::stol(m[5]),
                            {std::stol(m[6]), std::stol(m[7]), std::stol(m[8])}});
    return rows;
}

// The directory row of `directory` summed from the file rows below it.
std::string summed(const std::string &directory, const std::vector<FileRow> &rows)
{
    long files = 0, lines = 0, identifiers = 0, symbols = 0, line = 0;
    Classes classes;
    std::string densest = "null";
    for (const FileRow &row : rows) {
        if (!row.path.starts_with(directory + "/"))
            continue;
        if (files == 0 || row.symbols > symbols)
            symbols = row.symbols, line = row.densest, densest = "\"" + row.path + "\"";
        files++, lines += row.lines, identifiers += row.identifiers;
        classes.code += row.classes.code, classes.comment += row.classes.comment, classes.blank += row.classes.blank;
    }
    return directoryRow(directory, files, lines, identifiers, symbols, densest, line, classes);
}

// A directory's rows come after every path below it and before the paths
// that sort after it: its path with '/' after each name, then a byte above
// every name's.
std::string walkKey(const std::string &below)
{
    return below.empty() ? "\xff" : below + "/\xff";
}

// Random trees measured whole, then with every depth from 0 to past the
// tree's: each run's directory rows are, in the walk's order, the sums of
// the file rows below each directory down to that depth, a file argument
// keeps its own row, and the total is the whole run's; with one worker and
// with four.
TEST(CommandLine, RandomTreesDirectoryRowsSumTheFileRows)
{
    const unsigned seed = testseed::fresh();
    SCOPED_TRACE("seed " + std::to_string(seed));
    randomtext::Rng rng(seed);
    char pattern[] = "/tmp/cmeasure-views-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string root = std::string(pattern) + "/t";
    fs::create_directory(root);
    std::vector<std::string> made;
    growTree(rng, root, "", 3, made);
    std::ofstream(std::string(pattern) + "/f.c") << "int file;\n";
    std::sort(made.begin(), made.end(), [](const auto &a, const auto &b) { return walkKey(a) < walkKey(b); });

    const std::string program = std::string("cd ") + pattern + " && " + CMEASURE_PATH + " --json ";
    const std::string whole = output(program + "t f.c");
    const std::vector<FileRow> rows = fileRows(whole);
    ASSERT_FALSE(rows.empty());
    ASSERT_EQ(rows.back().path, "f.c");
    for (const FileRow &row : rows)
        EXPECT_EQ(row.classes.code + row.classes.comment + row.classes.blank, row.lines) << row.path;
    const FileRow &f = rows.back();
    const std::string fileArgument = fileRow("\"f.c\"", f.lines, f.densest, f.symbols, f.identifiers, f.classes);
    for (int depth = 0; depth <= 4; depth++) {
        std::string expected;
        for (const std::string &below : made)
            if (std::count(below.begin(), below.end(), '/') + !below.empty() <= depth)
                expected += summed(below.empty() ? "t" : "t/" + below, rows);
        expected += fileArgument + whole.substr(whole.rfind("{\"total\""));
        for (const char *jobs : {" -j 1 ", " -j 4 "}) {
            const std::string command = program + jobs + "-d " + std::to_string(depth) + " t f.c";
            EXPECT_EQ(output(command), expected) << command;
        }
    }
    fs::remove_all(pattern);
}

const char *const PATTERNS[] = {"a", "a.c", "*.h", "a/", "/b", "b/**", "!a.c", "a-*", "**/a0.h", "[ab].c"};

// Random trees in a git work tree with random .gitignore files and
// --exclude patterns: --list names exactly the paths that the measuring
// run measures, in its order, as lines and as JSON.
TEST(CommandLine, RandomTreesListIsWhatIsMeasured)
{
    const unsigned seed = testseed::fresh();
    SCOPED_TRACE("seed " + std::to_string(seed));
    randomtext::Rng rng(seed);
    char pattern[] = "/tmp/cmeasure-list-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    ASSERT_EQ(output("cd " + dir + " && git init -q . && echo ok"), "ok\n");
    for (int round = 0; round < 4; round++) {
        fs::remove_all(dir + "/t");
        fs::create_directory(dir + "/t");
        std::vector<std::string> made;
        growTree(rng, dir + "/t", "", 3, made);
        for (const std::string &below : made)
            if (randomtext::pick(rng, 0, 2) == 0)
                std::ofstream(dir + "/t/" + below + "/.gitignore")
                    << PATTERNS[randomtext::pick(rng, 0, 9)] << "\n" << PATTERNS[randomtext::pick(rng, 0, 9)] << "\n";
        const std::string options = std::string(" --exclude='") + PATTERNS[randomtext::pick(rng, 0, 9)] +
                                    "' -j " + std::to_string(randomtext::pick(rng, 1, 4)) + " t";
        const std::string program = "cd " + dir + " && " + CMEASURE_PATH;
        std::string paths;
        std::string json;
        for (const FileRow &row : fileRows(output(program + " --json" + options))) {
            paths += row.path + "\n";
            json += "{\"path\": \"" + row.path + "\"}\n";
        }
        EXPECT_EQ(output(program + " --list" + options), paths) << options;
        EXPECT_EQ(output(program + " --list --json" + options), json) << options;
    }
    fs::remove_all(dir);
}

} // namespace
