// The command line end to end: what is measured and how it is named and
// ordered, the two output formats, errors and usage errors, rows streamed in
// order with the messages in their place; then random trees against what
// writing the model's figures of the whole tree gives, with one worker and
// with several; and the diagnostics of --max-symbols, in rows and in random
// trees against the model.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fcntl.h>

#include "c_model.h"
#include "c_random_text.h"
#include "model.h"
#include "options.h"
#include "report/format.h"
#include "program.h"
#include "random_text.h"
#include "seed.h"

namespace {

using programtest::output;

using namespace cli;

// A row as the menu's rules give it.
std::string menuRow(const std::string &path, int lines, int densest, int symbols, int identifiers)
{
    return "{\"path\": " + path + ", \"lines\": " + std::to_string(lines) + ", \"line_with_max_symbols\": " +
           std::to_string(densest) + ", \"max_symbols\": " + std::to_string(symbols) +
           ", \"identifiers\": " + std::to_string(identifiers) + "}\n";
}

// The code, comment and blank lines that C's rules add to a row's figures:
// the lines that are neither comment nor blank lines are code, and those of
// a file or total without a symbol are all blank.
std::string lineClasses(int lines, int symbols, int comment, int blank)
{
    if (symbols == 0)
        blank = lines;
    return ", \"code_lines\": " + std::to_string(lines - comment - blank) + ", \"comment_lines\": " +
           std::to_string(comment) + ", \"blank_lines\": " + std::to_string(blank);
}

// A row under C's rules, the default.
std::string row(const std::string &path, int lines, int densest, int symbols, int identifiers, int comment = 0,
                int blank = 0)
{
    const std::string menu = menuRow(path, lines, densest, symbols, identifiers);
    return menu.substr(0, menu.size() - 2) + lineClasses(lines, symbols, comment, blank) + "}\n";
}

std::string sums(int files, int lines, int identifiers, int symbols, const std::string &path, int line,
                 const std::string &classes)
{
    return "{\"total\": true, \"files\": " + std::to_string(files) + ", \"lines\": " + std::to_string(lines) +
           ", \"identifiers\": " + std::to_string(identifiers) + classes + ", \"max_symbols\": " +
           std::to_string(symbols) + ", \"path\": " + path + ", \"line_with_max_symbols\": " + std::to_string(line) +
           "}\n";
}

// The total as the menu's rules give it.
std::string menuTotal(int files, int lines, int identifiers, int symbols, const std::string &path, int line)
{
    return sums(files, lines, identifiers, symbols, path, line, "");
}

// The total under C's rules.
std::string total(int files, int lines, int identifiers, int symbols, const std::string &path, int line,
                  int comment = 0, int blank = 0)
{
    return sums(files, lines, identifiers, symbols, path, line, lineClasses(lines, symbols, comment, blank));
}

const std::string NOTE = "int x; // note\n";
const std::string NOTE_C_ROW = row("\"main.c\"", 1, 1, 11, 2);
const std::string LINE_CLASSES =
    R"(printf 'int a; /* one\n\n   two */\n// three \\\nfour\n\\\n  \t\n"/* not */"\n' > l.c)";
const std::string TREE = "mkdir -p t/a t/.git && echo x > t/a.c && echo yy > t/B.c && echo z > t/a-b.c && "
                         "echo w > t/a/b.c && echo v > t/a/c.txt && echo u > t/.git/d.c && echo s > t/.e.c";
// bin/git appends a line to calls at each start, then runs git.
const std::string RECORDING_GIT = "mkdir bin && : > calls && printf '#!/bin/sh\\necho \"$*\" >> \"%s/calls\"\\n"
                                  "exec /usr/bin/git \"$@\"\\n' \"$PWD\" > bin/git && chmod +x bin/git && ";
const std::string TRY_HELP = "Try 'cmeasure --help' for more information.\n";
const std::string NOT_ONE_COMMIT = "cmeasure: a.c: git: not the name of one commit (a range such as A..B is refused)\n";
// a.c, its second line added by the last of two commits.
const std::string TWO_COMMITS =
    "git init -q . && echo 'int y;' > a.c && git add a.c && git -c user.name=t -c user.email=t@t commit -qm one && "
    "echo 'int yyyy;' >> a.c && git -c user.name=t -c user.email=t@t commit -qam two";

INSTANTIATE_TEST_SUITE_P(CommandLineFigures, ProgramTest, testing::Values(
    Case{.name = "FileAsModeTwoMeasuresIt", .args = {"--json", "main.c"}, .expected = NOTE_C_ROW + total(1, 1, 2, 11, "\"main.c\"", 1),
         .source = NOTE},
    Case{.name = "StandardInputAsAFile", .args = {"--json", "-", "main.c"}, .input = NOTE,
         .expected = row("\"-\"", 1, 1, 11, 2) + NOTE_C_ROW + total(2, 2, 4, 11, "\"-\"", 1), .source = NOTE},
    Case{.name = "NoPathReadsStandardInput", .args = {"--json"}, .input = "a\r\nbc",
         .expected = row("\"-\"", 2, 2, 2, 2) + total(1, 2, 2, 2, "\"-\"", 2)},
    Case{.name = "CommentDoesNotCarryToNextFile", .args = {"--json", "a.c", "b.c"},
         .expected = row("\"a.c\"", 1, 1, 6, 0, 1) + row("\"b.c\"", 1, 1, 2, 2) + total(2, 2, 2, 6, "\"a.c\"", 1, 1),
         .setup = "printf '/* open\\n' > a.c && printf 'x y\\n' > b.c"},
    // Lines 1 and 8 hold code, 3 to 5 comments alone (a splice carries the
    // line comment onto 5), 2 white space in a comment, 6 a splice alone
    // and 7 white space: blank. The table sums them as it sums the lines;
    // the menu's rules tell no such lines apart.
    Case{.name = "CodeCommentAndBlankLinesSummed", .args = {"l.c", "l.c"},
         .expected = "lines  densest_line  max_symbols  identifiers  code  comment  blank  path\n"
                     "    8             1           10            2     2        3      3  l.c\n"
                     "    8             1           10            2     2        3      3  l.c\n"
                     "   16             1           10            4     4        6      6  total of 2 files; densest line in l.c\n",
         .setup = LINE_CLASSES},
    Case{.name = "CodeCommentAndBlankLinesInJson", .args = {"--json", "l.c"},
         .expected = row("\"l.c\"", 8, 1, 10, 2, 3, 3) + total(1, 8, 2, 10, "\"l.c\"", 1, 3, 3), .setup = LINE_CLASSES},
    Case{.name = "NoLineClassesUnderTheMenusRules", .expected = "2 0\n", .setup = LINE_CLASSES,
         .shell = "cmeasure --rules=menu --json l.c > rows && echo $(wc -l < rows) $(grep -c _lines rows)"},
    Case{.name = "EmptyFileAndNoFinalNewline", .args = {"--json", "e.c", "f.c"},
         .expected = row("\"e.c\"", 0, 0, 0, 0) + row("\"f.c\"", 2, 2, 4, 2) + total(2, 2, 2, 4, "\"f.c\"", 2),
         .setup = "touch e.c && printf 'ab\\ncdef' > f.c"},
    // An empty file holds no line: the total's densest line is the first
    // of the next file, though that line has no symbol either.
    Case{.name = "EmptyFileHoldsNoDensestLineOfTheTotal", .args = {"--json", "e.c", "blank.c"},
         .expected = row("\"e.c\"", 0, 0, 0, 0) + row("\"blank.c\"", 2, 1, 0, 0) + total(2, 2, 0, 0, "\"blank.c\"", 1),
         .setup = "touch e.c && printf ' \\n\\t\\n' > blank.c"},
    Case{.name = "TenMegabyteLineInPieces", .args = {"--rules=menu", "--json", "big.c"},
         .expected = menuRow("\"big.c\"", 27856, 1, 359, 27856) + menuTotal(1, 27856, 27856, 359, "\"big.c\"", 1),
         .setup = "head -c 10000000 /dev/zero | tr '\\0' a > big.c"},
    // From 4 MiB a file is scanned in two halves side by side, but not with
    // -j1; here the second half begins inside a comment.
    Case{.name = "LargeFileInTwoHalvesAsInOne", .expected = "2\n",
         .setup = "awk 'BEGIN { for (i = 0; i < 300000; i++) print (i < 110000 || i > 160000) ? \"int f\" i \"(int a, int b);\" : "
                  "(i == 110000 ? \"/*\" : (i == 160000 ? \"*/\" : \" * a line of a comment\")) }' > big.c && "
                  "test $(wc -c < big.c) -gt 4194304",
         .shell = "cmeasure --json big.c > two && cmeasure -j1 --json big.c > one && cmp one two && wc -l < one"},
    // Saved "UTF-8 with BOM": compilers skip the mark, and so do C's rules;
    // the menu's count its bytes as symbols, as they always did.
    Case{.name = "ByteOrderMarkSkippedBeforeADirective", .args = {"--json", "bom.c"},
         .expected = row("\"bom.c\"", 2, 1, 17, 4) + total(1, 2, 4, 17, "\"bom.c\"", 1),
         .setup = "printf '\\357\\273\\277#include <stdio.h>\\nint main(void);\\n' > bom.c"},
    Case{.name = "ByteOrderMarkSymbolsOfTheMenusRules", .args = {"--rules=menu", "--json", "bom.c"},
         .expected = menuRow("\"bom.c\"", 2, 1, 21, 6) + menuTotal(1, 2, 6, 21, "\"bom.c\"", 1),
         .setup = "printf '\\357\\273\\277#include <stdio.h>\\nint main(void);\\n' > bom.c"},
    Case{.name = "NoFilesGiveAnEmptyTotal", .args = {"--json", "t"}, .expected = total(0, 0, 0, 0, "null", 0),
         .setup = "mkdir t"},
    // A raw string holding quotes and digit separators: 4 identifiers in
    // C++, 7 in C. The suffixes compilers read as C++, in their case, and
    // those --cxx-ext adds; .h, standard input and the suffixes of no
    // compiler stay C.
    Case{.name = "CxxBySuffixesOfCompilersAndCxxExt",
         .expected = "4: f.C f.C++ f.CC f.CPP f.CXX f.H f.HPP f.M f.c++ f.c++m f.cc f.ccm f.cp f.cpp f.cppm f.cu f.cxx "
                     "f.cxxm f.h++ f.hh f.hip f.hp f.hpp f.hxx f.ii f.inl f.ipp f.ixx f.mii f.mm f.tcc f.tpp\n"
                     "7: - f.Cpp f.c f.cuh f.h\n4: f.cuh f.h\n7: - f.Cpp f.c\n",
         .setup = "for s in C cc CC cp cpp CPP cxx CXX c++ C++ cppm ccm cxxm c++m ixx ii cu hip mm M mii H hh hp hpp "
                  "HPP hxx h++ ipp tpp tcc inl c h Cpp cuh; do "
                  "printf 'auto s = R\"x(one \"two three\" four)x\"; int n = 1\\047000\\047000;\\n' > f.$s; done",
         .shell = "by() { jq -rs 'map(select(.total | not)) | group_by(.identifiers)[] | "
                  "\"\\(.[0].identifiers): \\(map(.path) | sort | join(\" \"))\"'; } && "
                  "cmeasure --json f.* - < f.c | by && cmeasure --cxx-ext=.h --cxx-ext=cuh --json f.c f.h f.cuh f.Cpp - < f.c | by"}
), caseName);

INSTANTIATE_TEST_SUITE_P(CommandLineWalk, ProgramTest, testing::Values(
    Case{.name = "SortedByWholePathHiddenAndOthersPassedOver", .args = {"--json", "t", "main.c"},
         .expected = row("\"t/B.c\"", 1, 1, 2, 1) + row("\"t/a-b.c\"", 1, 1, 1, 1) + row("\"t/a.c\"", 1, 1, 1, 1) +
                     row("\"t/a/b.c\"", 1, 1, 1, 1) + NOTE_C_ROW + total(5, 5, 6, 11, "\"main.c\"", 1),
         .source = NOTE, .setup = TREE},
    Case{.name = "NamedHiddenDirectoryAndTrailingSlash", .args = {"--json", "t/.git/", "--ext=txt", "t/a"},
         .expected = row("\"t/a/c.txt\"", 1, 1, 1, 1) + total(1, 1, 1, 1, "\"t/a/c.txt\"", 1), .setup = TREE},
    Case{.name = "DotNamesItsFilesFromDot", .args = {"--json", "--ext", "c,txt", "."},
         .expected = row("\"./t/B.c\"", 1, 1, 2, 1) + row("\"./t/a-b.c\"", 1, 1, 1, 1) + row("\"./t/a.c\"", 1, 1, 1, 1) +
                     row("\"./t/a/b.c\"", 1, 1, 1, 1) + row("\"./t/a/c.txt\"", 1, 1, 1, 1) + total(5, 5, 5, 2, "\"./t/B.c\"", 1),
         .setup = TREE},
    Case{.name = "LinksLoopsAndFifosInATreePassedOver", .args = {"--json", "t"},
         .expected = row("\"t/a.c\"", 1, 1, 1, 1) + total(1, 1, 1, 1, "\"t/a.c\"", 1),
         .setup = "mkdir t && echo x > t/a.c && ln -s .. t/up && ln -s a.c t/link.c && mkfifo t/f.c"},
    Case{.name = "NamedLinkAndFifoAreMeasured", .args = {"--json", "link.c", "f.c"},
         .expected = NOTE_C_ROW.substr(0, 10) + "link.c" + NOTE_C_ROW.substr(16) + row("\"f.c\"", 1, 1, 5, 2) +
                     total(2, 2, 4, 11, "\"link.c\"", 1),
         .source = NOTE, .setup = "ln -s main.c link.c && mkfifo f.c && { printf 'int x;\\n' > f.c & }"},
    // git on the PATH (bin, relative to the run's directory) records each
    // start in calls: a walk that meets no .git starts none; one that does,
    // some.
    Case{.name = "OutsideAnyWorkTreeNoGitStarts", .args = {"--json", "t"}, .expected = row("\"t/a.c\"", 1, 1, 1, 1) + total(1, 1, 1, 1, "\"t/a.c\"", 1),
         .setup = RECORDING_GIT + "mkdir t && echo x > t/a.c", .file = "calls", .content = "",
         .environment = {"PATH=bin:/usr/bin:/bin"}},
    Case{.name = "InAWorkTreeGitStarts", .args = {"--json", "t"}, .expected = row("\"t/a.c\"", 1, 1, 1, 1) + total(1, 1, 1, 1, "\"t/a.c\"", 1),
         .setup = RECORDING_GIT + "git init -q t && echo x > t/a.c", .teardown = "test -s calls",
         .environment = {"PATH=bin:/usr/bin:/bin"}}
), caseName);

// The shim's settings: when the program opens a path whose last name is
// `at`, the tree changes: each "FROM:TO" of `moves` is renamed, and then the
// first FROM becomes a link to `link`, if one is given.
std::vector<std::string> changeOpening(const std::string &at, const std::string &moves, const std::string &link = "")
{
    std::vector<std::string> settings = {"LD_PRELOAD=" WALK_SHIM_PATH, "ASAN_OPTIONS=verify_asan_link_order=0",
                                         "WALK_SHIM_AT=" + at, "WALK_SHIM_MOVE=" + moves};
    if (!link.empty())
        settings.push_back("WALK_SHIM_LINK=" + link);
    return settings;
}
const std::vector<std::string> TYPES_UNKNOWN = {"LD_PRELOAD=" WALK_SHIM_PATH, "ASAN_OPTIONS=verify_asan_link_order=0",
                                                "WALK_SHIM_UNKNOWN=1"};

// t/b/in.c in the tree, and outside it a directory with other files.
const std::string OUTSIDE = "mkdir -p t/b outside && echo x > t/a.c && echo 'int in;' > t/b/in.c && "
                           "echo 'int secret, more;' > outside/secret.c && echo 'int outside, b, c;' > outside/in.c";
const std::string X_ROW = row("\"t/a.c\"", 1, 1, 1, 1);

// A shell function: `deep NAME N K` makes K times N nested directories NAME
// and goes into the deepest, in steps that each stay below PATH_MAX.
const std::string DEEP = "deep() { p=$(printf \"$1/%.0s\" $(seq $2)); for k in $(seq $3); do "
                         "mkdir -p \"$p\" && cd -P \"$p\" || exit 1; done; }; ";

std::string repeated(const std::string &text, int times)
{
    std::string all;
    while (times-- > 0)
        all += text;
    return all;
}

// The rows of t/d/f.c, t/d/d/f.c and so on `depth` deep, in output order,
// each file holding `lines` empty lines, or "x" when 0.
std::string rowsDownTo(int depth, int lines = 0)
{
    std::string rows;
    for (int level = depth; level > 0; level--)
        rows += lines == 0 ? row("\"t/" + repeated("d/", level) + "f.c\"", 1, 1, 1, 1)
                           : row("\"t/" + repeated("d/", level) + "f.c\"", lines, 1, 0, 0);
    return rows;
}

const std::string DOWN_40 = "mkdir t && p=t; for i in $(seq 40); do p=$p/d; mkdir $p && echo x > $p/f.c || exit 1; done";

// Files long enough to be read side by side: 300 000 empty lines.
const int LONG = 300000;
const std::string LONG_FILE = "head -c 300000 /dev/zero | tr '\\0' '\\n' > long && ";
const std::string LONG_TREE_TOTAL = total(40, 40 * LONG, 0, 0, "\"t/" + repeated("d/", 40) + "f.c\"", 1);

std::string longRows(int first, int last)
{
    std::string rows;
    for (int k = first; k <= last; k++)
        rows += row("\"t/" + std::to_string(k) + ".c\"", LONG, 1, 0, 0);
    return rows;
}

// Ten groups of a file and a file three directories below it.
const std::string GROUPS = "for g in $(seq 0 9); do mkdir -p t/g$g/a/b/c && echo x > t/g$g/f.c && "
                           "echo x > t/g$g/a/b/c/x.c || exit 1; done";
const std::string GROUP_ROWS = [] {
    std::string rows;
    for (int group = 0; group < 10; group++)
        for (const char *name : {"/a/b/c/x.c", "/f.c"})
            rows += row("\"t/g" + std::to_string(group) + name + "\"", 1, 1, 1, 1);
    return rows + total(20, 20, 20, 1, "\"t/g0/a/b/c/x.c\"", 1);
}();

// A tree changed at the worst moment, trees deeper than PATH_MAX, loops,
// file systems that do not give the type of an entry, and few descriptors.
INSTANTIATE_TEST_SUITE_P(CommandLineWalkHostile, ProgramTest, testing::Values(
    Case{.name = "DirectorySwappedForLinkAsItIsOpenedIsPassedOver", .args = {"--json", "t"},
         .expected = X_ROW + total(1, 1, 1, 1, "\"t/a.c\"", 1), .setup = OUTSIDE,
         .environment = changeOpening("b", "t/b:t/.b", "../outside")},
    Case{.name = "DirectorySwappedForLinkBeforeItsFileIsOpenedFileListedIsMeasured", .args = {"--json", "t"},
         .expected = X_ROW + row("\"t/b/in.c\"", 1, 1, 6, 2) + total(2, 2, 3, 6, "\"t/b/in.c\"", 1), .setup = OUTSIDE,
         .environment = changeOpening("in.c", "t/b:t/.b", "../outside")},
    // 40 levels, more than are kept open: on the way back up, ".." of the
    // fifth leads outside, and the fourth is opened again from above; its
    // f.c is the one in the tree, not outside/f.c.
    Case{.name = "DirectoryMovedOutWhileWalkIsBelowItWalkStaysInTree", .args = {"--json", "t"},
         .expected = rowsDownTo(40) + total(40, 40, 40, 1, "\"t/" + repeated("d/", 40) + "f.c\"", 1),
         .setup = DOWN_40 + " && mkdir outside && echo 'int a, b, c;' > outside/f.c",
         .environment = changeOpening("..", "t/d/d/d/d/d:outside/d")},
    // The fourth level moved out too: its f.c cannot be reached, and is not
    // counted; the walk goes on with the third.
    Case{.name = "DirectoryGoneWhileWalkIsBelowItReported", .args = {"--json", "t"},
         .expected = rowsDownTo(40).substr(0, rowsDownTo(40).size() - rowsDownTo(4).size()) + rowsDownTo(3) +
                     total(39, 39, 39, 1, "\"t/" + repeated("d/", 40) + "f.c\"", 1),
         .errors = "cmeasure: t/d/d/d/d: directory changed during the walk\n", .status = 1,
         .setup = DOWN_40 + " && mkdir outside && echo 'int a, b, c;' > outside/f.c",
         .environment = changeOpening("..", "t/d/d/d/d/d:outside/d,t/d/d/d/d:outside/e")},
    Case{.name = "FileSwappedForLinkBeforeItIsOpenedIsPassedOver", .args = {"--json", "t"},
         .expected = X_ROW + total(1, 1, 1, 1, "\"t/a.c\"", 1), .setup = OUTSIDE,
         .environment = changeOpening("in.c", "t/b/in.c:t/b/.in.c", "../../outside/in.c")},
    Case{.name = "TypeUnknownAndGoneBeforeAskedIsPassedOver", .args = {"--json", "t"},
         .expected = X_ROW + total(1, 1, 1, 1, "\"t/a.c\"", 1), .setup = OUTSIDE,
         .environment = [] {
             std::vector<std::string> settings = changeOpening("b", "t/b:outside/b");
             settings.emplace_back("WALK_SHIM_UNKNOWN=1");
             return settings;
         }()},
    Case{.name = "TypesUnknownLinksLoopsAndFifosStillPassedOver", .args = {"--json", "t"},
         .expected = row("\"t/a.c\"", 1, 1, 1, 1) + row("\"t/d/b.c\"", 1, 1, 1, 1) + total(2, 2, 2, 1, "\"t/a.c\"", 1),
         .setup = "mkdir -p t/d && echo x > t/a.c && echo x > t/d/b.c && ln -s .. t/up && ln -s a.c t/link.c && "
                  "mkfifo t/f.c",
         .environment = TYPES_UNKNOWN},
    Case{.name = "FileWhoseStatusCannotBeReadReported", .args = {"--json", "t"},
         .expected = X_ROW + total(1, 1, 1, 1, "\"t/a.c\"", 1), .errors = "cmeasure: t/b/in.c: Input/output error\n",
         .status = 1, .setup = OUTSIDE,
         .environment = {"LD_PRELOAD=" WALK_SHIM_PATH, "ASAN_OPTIONS=verify_asan_link_order=0", "WALK_SHIM_FSTAT_FAILS=in.c"}},
    Case{.name = "TypeUnknownAndNotSearchableReported", .args = {"--json", "t"},
         .expected = X_ROW + total(1, 1, 1, 1, "\"t/a.c\"", 1),
         .errors = "cmeasure: t/locked/b.c: Permission denied\n", .status = 1,
         .setup = "mkdir -p t/locked && echo x > t/a.c && echo x > t/locked/b.c && chmod a-x t/locked",
         .unprivileged = true, .environment = TYPES_UNKNOWN},
    Case{.name = "DeeperThanPathMax", .args = {"--json", "t"},
         .expected = row("\"t/" + repeated("dddddddddd/", 700) + "x.c\"", 1, 1, 1, 1) +
                     total(1, 1, 1, 1, "\"t/" + repeated("dddddddddd/", 700) + "x.c\"", 1),
         .setup = "mkdir t && cd t && " + DEEP + "deep dddddddddd 350 2 && echo x > x.c"},
    Case{.name = "BindMountLoopReportedNotWalked", .args = {"--json", "t"},
         .expected = X_ROW + total(1, 1, 1, 1, "\"t/a.c\"", 1),
         .errors = "cmeasure: t/loop: file system loop detected\n", .status = 1,
         .setup = "mkdir -p t/loop && echo x > t/a.c && { mount --bind t t/loop 2>/dev/null || exit 77; }",
         .teardown = "umount t/loop"},
    Case{.name = "SixtyFourWorkersSixteenDescriptors", .args = {"--json", "-j", "64", "t"},
         .expected = longRows(10, 73) + total(64, 64 * LONG, 0, 0, "\"t/10.c\"", 1),
         .setup = LONG_FILE + "mkdir t && for k in $(seq 10 73); do cp long t/$k.c; done", .descriptors = 16},
    Case{.name = "DeepTreeSixtyFourWorkersSixteenDescriptors", .args = {"--json", "-j", "64", "t"},
         .expected = rowsDownTo(40, LONG) + LONG_TREE_TOTAL,
         .setup = LONG_FILE + DOWN_40 + " && for f in $(find t -name f.c); do cp long $f; done", .descriptors = 16},
    // Directories without files between files, under a limit that leaves
    // 7 descriptors: the walk must not wait for a directory that only the
    // files it holds itself would release (each wait gives up after 2 s).
    Case{.name = "TenDescriptorsDirectoriesWithoutFilesBetweenFiles", .expected = GROUP_ROWS,
         .setup = GROUPS, .shell = "ulimit -n 10 && exec timeout 10 cmeasure -j 64 --json t"},
    // Half the limit taken by descriptors a parent left open: the walk's
    // share comes from those free.
    Case{.name = "EightInheritedDescriptorsUnderSixteen", .expected = GROUP_ROWS, .setup = GROUPS,
         .shell = "exec 3<. 4<. 5<. 6<. 7<. 8<. 9<. && ulimit -n 16 && "
                  "exec bash -c 'exec 10<. && exec timeout 20 cmeasure -j 64 --json t'"},
    Case{.name = "DeepTreeOneJobSixteenDescriptors", .args = {"--json", "-j", "1", "t"},
         .expected = rowsDownTo(40) + total(40, 40, 40, 1, "\"t/" + repeated("d/", 40) + "f.c\"", 1),
         .setup = DOWN_40, .descriptors = 16}
), caseName);

// A work tree as CMake leaves it: a build directory that .gitignore names.
const std::string CMAKE_TREE = "git init -q && mkdir -p src build/CMakeFiles/3.25.1/CompilerIdC && "
                               "printf 'build/\\n*.o\\n' > .gitignore && echo x > src/a.c && mkdir vendor && echo x > vendor/v.c && "
                               "printf 'int y;\\n' > build/CMakeFiles/3.25.1/CompilerIdC/CMakeCCompilerId.c";
const std::string GENERATED = "\"./build/CMakeFiles/3.25.1/CompilerIdC/CMakeCCompilerId.c\"";

INSTANTIATE_TEST_SUITE_P(CommandLineIgnore, ProgramTest, testing::Values(
    Case{.name = "BuildDirectoryOfWorkTreePassedOver", .args = {"--json", "."},
         .expected = row("\"./src/a.c\"", 1, 1, 1, 1) + row("\"./vendor/v.c\"", 1, 1, 1, 1) +
                     total(2, 2, 2, 1, "\"./src/a.c\"", 1),
         .setup = CMAKE_TREE},
    Case{.name = "ExcludeVendorInWorkTree", .args = {"--json", "--exclude=vendor/", "."},
         .expected = row("\"./src/a.c\"", 1, 1, 1, 1) + total(1, 1, 1, 1, "\"./src/a.c\"", 1), .setup = CMAKE_TREE},
    Case{.name = "NoIgnoreMeasuresTheBuildDirectory", .args = {"--json", "--no-ignore", "."},
         .expected = row(GENERATED, 1, 1, 5, 2) + row("\"./src/a.c\"", 1, 1, 1, 1) + row("\"./vendor/v.c\"", 1, 1, 1, 1) +
                     total(3, 3, 4, 5, GENERATED, 1),
         .setup = CMAKE_TREE},
    Case{.name = "NamedIgnoredDirectoryMeasuredRulesBelowIt", .args = {"--json", "build/CMakeFiles/3.25.1/"},
         .expected = row("\"build/CMakeFiles/3.25.1/CompilerIdC/CMakeCCompilerId.c\"", 1, 1, 5, 2) +
                     total(1, 1, 2, 5, "\"build/CMakeFiles/3.25.1/CompilerIdC/CMakeCCompilerId.c\"", 1),
         .setup = CMAKE_TREE + " && echo x > build/CMakeFiles/3.25.1/a.h && echo '*.h' > build/.gitignore"},
    Case{.name = "NestedWorkTreeWalkedByItsOwnRules", .args = {"--json", "."},
         .expected = row("\"./sub/b.h\"", 1, 1, 1, 1) + row("\"./top.c\"", 1, 1, 1, 1) + total(2, 2, 2, 1, "\"./sub/b.h\"", 1),
         .setup = "git init -q && echo '*.h' > .gitignore && echo x > top.c && echo x > top.h && mkdir sub && "
                  "git -C sub init -q && echo a.c > sub/.gitignore && echo x > sub/a.c && echo x > sub/b.h"},
    Case{.name = "OutsideWorkTreeGitignoreMeansNothing", .args = {"--json", "t"},
         .expected = row("\"t/a.c\"", 1, 1, 1, 1) + total(1, 1, 1, 1, "\"t/a.c\"", 1),
         .setup = "mkdir t && echo '*.c' > t/.gitignore && echo x > t/a.c"},
    Case{.name = "ExcludeAnchoredAtEachArgument", .args = {"--json", "--exclude=b/c.c", "--exclude", "*.h", "t", "t/d"},
         .expected = row("\"t/d/b/c.c\"", 1, 1, 1, 1) + row("\"t/d/c.c\"", 1, 1, 1, 1) + row("\"t/d/c.c\"", 1, 1, 1, 1) +
                     total(3, 3, 3, 1, "\"t/d/b/c.c\"", 1),
         .setup = "mkdir -p t/b t/d/b && echo x > t/b/c.c && echo x > t/d/b/c.c && echo x > t/d/c.c && echo x > t/d/e.h"},
    Case{.name = "UnreadableGitignoreReportedWalkGoesOn", .args = {"--json", "."},
         .expected = row("\"./b.c\"", 1, 1, 1, 1) + row("\"./d/a.c\"", 1, 1, 1, 1) + total(2, 2, 2, 1, "\"./b.c\"", 1),
         .errors = "cmeasure: ./d/.gitignore: Permission denied\n", .status = 1,
         .setup = "git init -q && mkdir d && echo x > d/a.c && echo a.c > d/.gitignore && chmod 0 d/.gitignore && echo x > b.c",
         .unprivileged = true},
    Case{.name = "BrokenConfigReportedOnceIgnoreFilesStillRead", .args = {"--json", ".", "d"},
         .expected = row("\"./d/y.c\"", 1, 1, 1, 1) + row("\"d/y.c\"", 1, 1, 1, 1) + total(2, 2, 2, 1, "\"./d/y.c\"", 1),
         .errors = "cmeasure: .: git: bad config line 1 in file .git/config\n",
         .status = 1,
         .setup = "git init -q && printf '[core\\n' > .git/config && echo x.c > .gitignore && echo x > x.c && "
                  "mkdir d && echo x > d/y.c"},
    Case{.name = "UnreadableConfigReportedIgnoreFilesStillRead", .args = {"--json", "."},
         .expected = row("\"./y.c\"", 1, 1, 1, 1) + total(1, 1, 1, 1, "\"./y.c\"", 1),
         .errors = "cmeasure: .: git: unable to access '.git/config': Permission denied\n", .status = 1,
         .setup = "git init -q && chmod 0 .git/config && echo x.c > .gitignore && echo x > x.c && echo x > y.c",
         .unprivileged = true},
    // GIT_DIR alone makes the current directory the top of the work tree,
    // to git run here, whatever directory the walk asks about.
    Case{.name = "RelativeGitDirFromTheCurrentDirectory", .args = {"--list", "sub"}, .expected = "sub/a.c\n",
         .setup = "git init -q . && mkdir sub && echo x > sub/a.c && echo x > sub/ign.c && echo ign.c > .gitignore",
         .environment = {"GIT_DIR=.git"}}
), caseName);

// Lists of paths ended by zero bytes (--files0-from).
const std::string LISTED = "echo 'int a;' > a.c && echo 'int b;' > b.c && mkdir d && echo x > d/x.c && ";
const std::string A_ROW = row("\"a.c\"", 1, 1, 5, 2);

INSTANTIATE_TEST_SUITE_P(CommandLineFiles0From, ProgramTest, testing::Values(
    Case{.name = "ListedInOrderDirectoryWalkedEmptyNameReported", .args = {"--json", "--files0-from=list"},
         .expected = row("\"b.c\"", 1, 1, 5, 2) + row("\"d/x.c\"", 1, 1, 1, 1) + A_ROW + total(3, 3, 5, 5, "\"b.c\"", 1),
         .errors = "cmeasure: list:3: invalid zero-length file name\n", .status = 1,
         .setup = LISTED + "printf 'b.c\\0d\\0\\0a.c' > list"},
    Case{.name = "ListFromStandardInputRefusesDash", .args = {"--json", "--files0-from=-"},
         .input = std::string("a.c\0-\0", 6), .expected = A_ROW + total(1, 1, 2, 5, "\"a.c\"", 1),
         .errors = "cmeasure: -:2: when reading file names from standard input, no file name of '-' allowed\n",
         .status = 1, .setup = LISTED + "true"},
    Case{.name = "DashInListFileIsStandardInput", .args = {"--json", "--files0-from=list"}, .input = "int z;\n",
         .expected = A_ROW + row("\"-\"", 1, 1, 5, 2) + total(2, 2, 4, 5, "\"a.c\"", 1),
         .setup = LISTED + "printf 'a.c\\0-\\0' > list"},
    Case{.name = "NameOverLimitReportedCutWithMark", .args = {"--json", "--files0-from=list"},
         .expected = A_ROW + total(1, 1, 2, 5, "\"a.c\"", 1),
         .errors = "cmeasure: " + std::string(4096, '0') + "\u2026: File name too long\n", .status = 1,
         .setup = LISTED + "printf '%05000d.c\\0a.c' 0 > list"},
    Case{.name = "ListWithPathIsUsageError", .args = {"--files0-from=list", "a.c"}, .expected = "",
         .errors = "cmeasure: extra operand 'a.c'\nfile operands cannot be combined with --files0-from\n" + TRY_HELP,
         .status = 2},
    Case{.name = "UnreadableListReported", .args = {"--json", "--files0-from=none"}, .expected = total(0, 0, 0, 0, "null", 0),
         .errors = "cmeasure: none: No such file or directory\n", .status = 1},
    Case{.name = "WhatGitTracksFromItsList", .expected = A_ROW + row("\"b.h\"", 1, 1, 1, 1) + total(2, 2, 3, 5, "\"a.c\"", 1),
         .setup = "git init -q && echo 'int a;' > a.c && echo x > b.h && echo y > u.c && git add a.c b.h",
         .shell = "git ls-files -z -- '*.c' '*.h' | cmeasure --json --files0-from=-"}
), caseName);

INSTANTIATE_TEST_SUITE_P(CommandLineOutput, ProgramTest, testing::Values(
    Case{.name = "TableAlignedWithTotal", .args = {"main.c", "a b.c"},
         .expected = "lines  densest_line  max_symbols  identifiers  code  comment  blank  path\n"
                     "    1             1           11            2     1        0      0  main.c\n"
                     "    1             1            1            1     1        0      0  a b.c\n"
                     "    2             1           11            3     2        0      0  total of 2 files; densest line in main.c\n",
         .source = NOTE, .setup = "echo x > 'a b.c'"},
    Case{.name = "TableOfOneFileHasNoTotal", .args = {"main.c"},
         .expected = "lines  densest_line  max_symbols  identifiers  code  comment  blank  path\n    1             1           11            2     1        0      0  main.c\n",
         .source = NOTE},
    Case{.name = "TableEscapesControlsAndBackslash", .args = {"t"},
         .expected = "lines  densest_line  max_symbols  identifiers  code  comment  blank  path\n    1             1            1            1     1        0      0  t/a\\nb\\\\\\x01.c\n",
         .setup = "mkdir t && echo x > \"t/$(printf 'a\\nb\\\\\\001.c')\""},
    Case{.name = "JsonEscapesUtf8AndGivesOtherBytesAsNumbers", .args = {"--json", "t"},
         .expected = row("\"t/a\\nb\\\"\\\\\xC3\xA9.c\"", 1, 1, 1, 1) + row("[116, 47, 255, 46, 99]", 1, 1, 1, 1) +
                     total(2, 2, 2, 1, "\"t/a\\nb\\\"\\\\\xC3\xA9.c\"", 1),
         .setup = "mkdir t && echo x > \"t/$(printf 'a\\nb\"\\\\\\303\\251.c')\" && echo x > \"t/$(printf '\\377.c')\""},
    // One worker, so that the program sleeps only to wait for room.
    Case{.name = "FullNonBlockingOutputIsAwaited", .args = {"--json", "-j1", "main.c"},
         .expected = NOTE_C_ROW + total(1, 1, 2, 11, "\"main.c\"", 1), .source = NOTE, .fullOutput = true},
    // A table sized on its first 1 000 rows (big.c and 999 files of t) keeps
    // room in each column of sums for three more digits than its own sum so
    // far: 9 digits of lines, 3 of identifiers, within its header's width.
    Case{.name = "ColumnsOfSumsSizedEachOnItsOwnSum",
         .expected = "       lines  densest_line  max_symbols  identifiers     code  comment         blank  path\n"
                     "   100001000             1            1         1000     1000        0     100000000  "
                     "total of 1001 files; densest line in t/1.c\n",
         .setup = "mkfifo big.c && { head -c 100000000 /dev/zero | tr '\\0' '\\n' > big.c & } && mkdir t && "
                  "for i in $(seq 1000); do echo x > t/$i.c; done",
         .shell = "cmeasure big.c t | sed -n '1p;$p'"},
    Case{.name = "TableEscapesC1AndWhatIsNotUtf8", .args = {"t"},
         .expected = "lines  densest_line  max_symbols  identifiers  code  comment  blank  path\n    1             1            1            1     1        0      0  t/a\\xc2\\x9b\\xff\xC3\xA9.c\n",
         .setup = "mkdir t && echo x > \"t/$(printf 'a\\302\\233\\377\\303\\251.c')\""}
), caseName);

INSTANTIATE_TEST_SUITE_P(CommandLineErrors, ProgramTest, testing::Values(
    Case{.name = "MissingPathReportedOthersMeasured", .args = {"--json", "none.c", "main.c"},
         .expected = NOTE_C_ROW + total(1, 1, 2, 11, "\"main.c\"", 1),
         .errors = "cmeasure: none.c: No such file or directory\n", .status = 1, .source = NOTE},
    Case{.name = "MessageEscapesC1", .args = {"a\xC2\x85.c"}, .expected = "",
         .errors = "cmeasure: a\\xc2\\x85.c: No such file or directory\ncmeasure: no file measured\n", .status = 1},
    Case{.name = "ReadErrorReportedNotMeasured", .args = {"--json", "/proc/self/mem", "main.c"},
         .expected = NOTE_C_ROW + total(1, 1, 2, 11, "\"main.c\"", 1),
         .errors = "cmeasure: /proc/self/mem: Input/output error\n", .status = 1, .source = NOTE},
    Case{.name = "UnreadableDirectoryReportedWalkGoesOn", .args = {"--json", "t"},
         .expected = row("\"t/a.c\"", 1, 1, 1, 1) + row("\"t/z.c\"", 1, 1, 1, 1) + total(2, 2, 2, 1, "\"t/a.c\"", 1),
         .errors = "cmeasure: t/locked: Permission denied\n", .status = 1,
         .setup = "mkdir -p t/locked && echo x > t/a.c && echo x > t/z.c && echo x > t/locked/b.c && chmod 0 t/locked",
         .unprivileged = true},
    Case{.name = "UnwritableOutputFails", .args = {"main.c"}, .expected = "",
         .errors = "cmeasure: write error: No space left on device\n", .status = 1, .source = NOTE, .output = "/dev/full"}
), caseName);

INSTANTIATE_TEST_SUITE_P(CommandLineUsage, ProgramTest, testing::Values(
    Case{.name = "Help", .args = {"--help", "--bogus"}, .expected = USAGE},
    Case{.name = "Version", .args = {"--version"}, .expected = "cmeasure " CMEASURE_VERSION "\n"},
    Case{.name = "UnknownLongOption", .args = {"--bogus"}, .expected = "",
         .errors = "cmeasure: unrecognized option '--bogus'\n" + TRY_HELP, .status = 2},
    Case{.name = "UnknownShortOption", .args = {"-x"}, .expected = "",
         .errors = "cmeasure: invalid option -- 'x'\n" + TRY_HELP, .status = 2},
    Case{.name = "ZeroJobs", .args = {"-j", "0"}, .expected = "",
         .errors = "cmeasure: invalid number of jobs: '0'\n" + TRY_HELP, .status = 2},
    Case{.name = "NegativeJobs", .args = {"--jobs=-1"}, .expected = "",
         .errors = "cmeasure: invalid number of jobs: '-1'\n" + TRY_HELP, .status = 2},
    Case{.name = "JobsNotANumber", .args = {"-j2x"}, .expected = "",
         .errors = "cmeasure: invalid number of jobs: '2x'\n" + TRY_HELP, .status = 2},
    Case{.name = "JobsWithoutValue", .args = {"-j"}, .expected = "",
         .errors = "cmeasure: option '-j' requires an argument\n" + TRY_HELP, .status = 2},
    Case{.name = "EmptyExtensionList", .args = {"--ext=", "main.c"}, .expected = "",
         .errors = "cmeasure: invalid extension list: ''\n" + TRY_HELP, .status = 2},
    Case{.name = "FlagWithValue", .args = {"--json=yes"}, .expected = "",
         .errors = "cmeasure: option '--json' doesn't allow an argument\n" + TRY_HELP, .status = 2},
    Case{.name = "AbbreviationsAndEveryFormOfValue", .args = {"--js", "--jo", "2", "-j3", "-j", "4", "--ext=c", "--no-i", "main.c"},
         .expected = NOTE_C_ROW + total(1, 1, 2, 11, "\"main.c\"", 1), .source = NOTE},
    Case{.name = "OptionAfterPathApplies", .args = {"main.c", "--json"},
         .expected = NOTE_C_ROW + total(1, 1, 2, 11, "\"main.c\"", 1), .source = NOTE},
    Case{.name = "AmbiguousAbbreviation", .args = {"--j", "main.c"}, .expected = "",
         .errors = "cmeasure: option '--j' is ambiguous; possibilities: '--jobs' '--json'\n" + TRY_HELP, .status = 2},
    Case{.name = "AbbreviatedFlagWithValue", .args = {"--js=yes"}, .expected = "",
         .errors = "cmeasure: option '--json' doesn't allow an argument\n" + TRY_HELP, .status = 2},
    Case{.name = "AbbreviatedOptionWithoutValue", .args = {"--jo"}, .expected = "",
         .errors = "cmeasure: option '--jobs' requires an argument\n" + TRY_HELP, .status = 2},
    Case{.name = "ValueInMessageEscaped", .args = {"-j", "1\n2"}, .expected = "",
         .errors = "cmeasure: invalid number of jobs: '1\\n2'\n" + TRY_HELP, .status = 2},
    Case{.name = "OptionInMessageEscaped", .args = {"--x\x9B"}, .expected = "",
         .errors = "cmeasure: unrecognized option '--x\\x9b'\n" + TRY_HELP, .status = 2},
    Case{.name = "JobsBeyondAnyIntegerCapped", .args = {"--json", "-j", "99999999999999999999", "main.c"},
         .expected = NOTE_C_ROW + total(1, 1, 2, 11, "\"main.c\"", 1), .source = NOTE},
    Case{.name = "ExtensionsWithTheirDots", .args = {"--json", "--ext=.c,.txt", "t"},
         .expected = row("\"t/B.c\"", 1, 1, 2, 1) + row("\"t/a-b.c\"", 1, 1, 1, 1) + row("\"t/a.c\"", 1, 1, 1, 1) +
                     row("\"t/a/b.c\"", 1, 1, 1, 1) + row("\"t/a/c.txt\"", 1, 1, 1, 1) + total(5, 5, 5, 2, "\"t/B.c\"", 1),
         .setup = TREE},
    Case{.name = "DoubleDashEndsOptions", .args = {"--json", "--", "--x.c"},
         .expected = row("\"--x.c\"", 1, 1, 1, 1) + total(1, 1, 1, 1, "\"--x.c\"", 1), .setup = "echo x > ./--x.c"}
), caseName);

// The JSON of m/1.c .. m/COUNT.c, each holding "x", in byte order of their paths.
std::string xFiles(int count)
{
    std::vector<std::string> paths;
    for (int k = 1; k <= count; k++)
        paths.push_back("\"m/" + std::to_string(k) + ".c\"");
    std::sort(paths.begin(), paths.end());
    std::string rows;
    for (const std::string &path : paths)
        rows += row(path, 1, 1, 1, 1);
    return rows + total(count, count, count, 1, paths[0], 1);
}

// FIFOs that each give "x" and stay open a moment, so that workers measuring
// them side by side hold their descriptors together.
const std::string SLOW_X_FILES = "mkdir m && for i in $(seq 64); do mkfifo m/$i.c && "
                                 "{ timeout 20 sh -c \"{ echo x; sleep 0.05; } > m/$i.c\" & } done";
const std::string AB = "echo x > a.c && echo yy > b.c";
const std::string NO_SUCH = "cmeasure: none.c: No such file or directory\n";
// slow.c is a FIFO that gets its line after a moment.
const std::string SLOW = "echo x > a.c && mkfifo slow.c && { { sleep 1.5; echo x > slow.c; } & }";
const std::string SLOW_ROWS = row("\"a.c\"", 1, 1, 1, 1) + row("\"slow.c\"", 1, 1, 1, 1) + total(2, 2, 2, 1, "\"a.c\"", 1);

INSTANTIATE_TEST_SUITE_P(CommandLineStreaming, ProgramTest, testing::Values(
    Case{.name = "MessageBetweenJsonRowsInItsPlace", .args = {"--json", "a.c", "none.c", "b.c"},
         .expected = row("\"a.c\"", 1, 1, 1, 1) + NO_SUCH + row("\"b.c\"", 1, 1, 2, 1) + total(2, 2, 2, 2, "\"b.c\"", 1),
         .status = 1, .setup = AB, .oneStream = true},
    Case{.name = "MessageBetweenTableRowsInItsPlace", .args = {"a.c", "none.c", "b.c"},
         .expected = "lines  densest_line  max_symbols  identifiers  code  comment  blank  path\n    1             1            1            1     1        0      0  a.c\n" + NO_SUCH +
                     "    1             1            2            1     1        0      0  b.c\n    2             1            2            2     2        0      0  total of 2 files; densest line in b.c\n",
         .status = 1, .setup = AB, .oneStream = true},
    Case{.name = "StandardInputReadAfterTheFifoBeforeIt", .expected = row("\"p\"", 1, 1, 1, 1) + row("\"-\"", 1, 1, 2, 1) +
                                                                     total(2, 2, 2, 2, "\"-\"", 1),
         .setup = AB + " && mkfifo p in", .shell = "{ cat a.c > p; cat b.c; } > in & exec cmeasure --json -j 1 p - < in"},
    // p is fed only once a.c's row has been read: a run that held the row
    // until p ended would wait for ever.
    Case{.name = "RowWrittenBeforeTheNextFileIsRead", .expected = row("\"a.c\"", 1, 1, 1, 1) + row("\"p\"", 1, 1, 2, 1) +
                                                                  total(2, 2, 2, 2, "\"p\"", 1),
         .setup = AB + " && mkfifo p",
         .shell = "cmeasure --json a.c p | { IFS= read -r row; cat b.c > p; printf '%s\\n' \"$row\"; cat; }"},
    Case{.name = "DevStdinReadWholeBeforeStandardInput",
         .expected = row("\"/dev/stdin\"", 30000, 10000, 5, 0) + row("\"-\"", 0, 0, 0, 0) + total(2, 30000, 0, 5, "\"/dev/stdin\"", 10000),
         .setup = "mkfifo in", .shell = "seq 30000 > in & exec cmeasure --json -j 8 /dev/stdin - < in"},
    Case{.name = "ClosedInputIsNotAFileOpenedInItsPlace", .expected = row("\"a.c\"", 1, 1, 1, 1) + total(1, 1, 1, 1, "\"a.c\"", 1),
         .errors = "cmeasure: -: Bad file descriptor\n", .status = 1, .setup = AB,
         .shell = "exec cmeasure --json -j 8 a.c - <&-"},
    Case{.name = "ClosedOutputIsAWriteError", .expected = "", .errors = "cmeasure: write error: Bad file descriptor\n",
         .status = 1, .setup = AB, .shell = "exec cmeasure --json a.c b.c >&-"},
    Case{.name = "ReadErrorOnStandardInput", .args = {"--json", "a.c", "-"}, .input = "int x;\n",
         .expected = row("\"a.c\"", 1, 1, 1, 1) + total(1, 1, 1, 1, "\"a.c\"", 1),
         .errors = "cmeasure: -: Connection reset by peer\n", .status = 1, .setup = AB, .from = Stdin::Failing},
    Case{.name = "ZeroLengthNameRefusedOthersMeasured", .args = {"--json", "", "main.c"},
         .expected = NOTE_C_ROW + total(1, 1, 2, 11, "\"main.c\"", 1), .errors = "cmeasure: invalid zero-length file name\n",
         .status = 1, .source = NOTE},
    Case{.name = "TableWithoutFilesSaysSo", .args = {"t"}, .expected = "", .errors = "cmeasure: no file measured\n",
         .setup = "mkdir t"},
    Case{.name = "FewDescriptorsManyWorkersAllMeasured", .expected = xFiles(64), .setup = SLOW_X_FILES,
         .shell = "ulimit -n 16 && exec cmeasure --json -j 64 m/*.c"},
    // The walk found b.c, a worker opened it only once it was a FIFO.
    Case{.name = "FileThatBecameAFifoPassedOver", .args = {"--json", "-j", "1", "gate", "t"},
         .expected = row("\"gate\"", 1, 1, 1, 1) + row("\"t/a.c\"", 1, 1, 1, 1) + total(2, 2, 2, 1, "\"gate\"", 1),
         .setup = "mkfifo gate && mkdir t && echo x > t/a.c && echo x > t/b.c && "
                  "{ { sleep 1; rm t/b.c; mkfifo t/b.c; echo x > gate; } & }"},
    // Rows beyond what the pipe holds; never.c is never written, so only a
    // run that stops at the write error ends.
    Case{.name = "BrokenPipeStopsTheRun", .expected = row("\"t/" + std::string(200, 'n') + "/1.c\"", 0, 0, 0, 0),
         .errors = "cmeasure: write error: Broken pipe\n", .status = 1,
         .setup = "mkdir -p t/" + std::string(200, 'n') + " && (cd t/n* && seq -f %g.c 500 | xargs touch) && mkfifo never.c",
         .shell = "trap '' PIPE && exec cmeasure --json t never.c", .readerLeaves = true},
    Case{.name = "ProgressShownOnASlowRunThenCleared", .args = {"--json", "a.c", "slow.c"}, .expected = SLOW_ROWS,
         .setup = SLOW, .terminal = {2}, .shown = "\rcmeasure: 1 file measured, 0.0 MiB"},
    // 25 columns: the line is cut to 24, so that it never wraps and its
    // clearing leaves nothing on the screen.
    Case{.name = "ProgressFitsANarrowTerminal", .args = {"--json", "a.c", "slow.c"}, .expected = SLOW_ROWS,
         .setup = SLOW, .terminal = {2}, .shown = "\rcmeasure: 1 file measure", .columns = 25},
    Case{.name = "NoProgressWhenStandardErrorIsAPipe", .args = {"--json", "a.c", "slow.c"}, .expected = SLOW_ROWS,
         .setup = SLOW, .oneStream = true},
    Case{.name = "NoProgressWhenStandardOutputIsTheTerminal", .args = {"--json", "a.c", "slow.c"}, .expected = "",
         .errors = SLOW_ROWS, .setup = SLOW, .terminal = {1, 2}}
), caseName);

namespace fs = std::filesystem;
using Measured = std::vector<std::pair<std::string, Figures>>;

// Names that differ only near '/' and '.': the files of a directory "a" sort
// after "a-b.c" and "a.c" but before "a0.c". Those without a suffix of the
// walk are not measured.
const char *const NAMES[] = {"a", "a.c", "a-b.c", "a0.c", "a.h", "b", "a-b", "a0", "a.c.c"};

// Random C text of `count` tokens, each followed by white space so that it
// stays whole: `identifiers` gains the identifiers drawn ('$' and letters
// beyond ASCII are identifier characters; numbers and punctuators hold none).
std::string cWords(randomtext::Rng &rng, int count, Count &identifiers)
{
    const char *const names[] = {"a", "foo", "_x1", "int", "$d", "\xc3\xa9t\xc3\xa9"};
    const char *const others[] = {"0x1F", "10UL", "1e+5", "+", "();", "..."};
    const char *const spaces[] = {" ", "\t", "\n", "\r\n", "\n\n"};
    std::string text;
    for (int k = 0; k < count; k++) {
        const bool name = randomtext::pick(rng, 0, 1) == 1;
        text += name ? names[randomtext::pick(rng, 0, 5)] : others[randomtext::pick(rng, 0, 5)];
        text += spaces[randomtext::pick(rng, 0, 4)];
        identifiers += name ? 1 : 0;
    }
    return text;
}

// The figures of `text` by C's rules, its lines and symbols as the model
// counts them. Words hold no comment: a line with a symbol is code, one
// without is blank.
Figures cFigures(const std::string &text, Count identifiers)
{
    const std::vector<cmodel::Line> lines = cmodel::lines(text);
    Figures figures{.lines = static_cast<Count>(lines.size()), .identifiers = identifiers};
    for (size_t k = 0; k < lines.size(); k++) {
        if (k == 0 || lines[k].symbols > figures.maxSymbols) {
            figures.densestLine = static_cast<Count>(k + 1);
            figures.maxSymbols = lines[k].symbols;
        }
        (lines[k].symbols > 0 ? figures.codeLines : figures.blankLines)++;
    }
    return figures;
}

// Fills `dir`, named `shown` in the output, with random files and
// directories, `depth` levels deep, and adds each file the walk measures to
// `files` with its figures.
void growTree(randomtext::Rng &rng, const fs::path &dir, const std::string &shown, int depth, Measured &files)
{
    for (const std::string name : NAMES) {
        const int kind = randomtext::pick(rng, 0, 4); // 0: none, 1 and 2: a file, 3 and 4: a directory
        if (kind >= 3 && depth > 0) {
            fs::create_directory(dir / name);
            growTree(rng, dir / name, shown + "/" + name, depth - 1, files);
        } else if (kind > 0) {
            Count identifiers = 0;
            const std::string text = cWords(rng, randomtext::pick(rng, 0, 200), identifiers);
            std::ofstream(dir / name, std::ios::binary) << text;
            if (name.ends_with(".c") || name.ends_with(".h"))
                files.push_back({shown + "/" + name, cFigures(text, identifiers)});
        }
    }
}

// What the program wrote when it gathered every row before writing any:
// the files in byte order of their paths, and a table whose columns are
// sized on its first 1 000 rows, and also on the total when there are no
// more; when there are, the columns of sums keep three more digits than
// the sums up to the 1 001st row.
//
// With `sortBy` (a figure, or none for the path), what --sort writes: every
// row held, so the table is sized on all of them and on the total, then
// the rows in that order, largest first, ties in output order.
std::string fullBufferOutput(Measured files, bool json, std::optional<Count Figures::*> sortBy = std::nullopt)
{
    std::sort(files.begin(), files.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    if (sortBy && *sortBy != nullptr)
        std::stable_sort(files.begin(), files.end(),
                         [m = *sortBy](const auto &a, const auto &b) { return a.second.*m > b.second.*m; });
    Totals totals;
    // Under C's rules, with the code, comment and blank lines.
    const std::unique_ptr<Format> format = json ? makeJsonLines(true) : makeTable(false, true);
    for (size_t k = 0; k < files.size(); k++) {
        totals.add(files[k].first, files[k].second);
        if (k < 1000 || sortBy)
            format->fit(files[k].second, files[k].first);
        if (k == 1000 && !sortBy)
            format->reserve(totals, 3);
    }
    if (files.size() <= 1000 || sortBy)
        format->fit(totals.figures(), totals.densestPath);
    std::string out;
    if (!files.empty())
        format->header(out);
    for (const auto &[path, figures] : files)
        format->fileRow(out, path, figures);
    format->total(out, totals, {.repeatsRow = files.size() == 1});
    return out;
}

// A file of `lines` empty lines, written at `path` and recorded in `files`.
void addEmptyLines(Measured &files, const std::string &path, Count lines)
{
    std::ofstream(path) << std::string(static_cast<size_t>(lines), '\n');
    files.push_back({path, {.lines = lines, .densestLine = 1, .blankLines = lines}});
}

// A random tree of more than a thousand files and a megabyte of rows. The
// 500th file has too many lines for the table's first column, which widens
// for every row; the last file has too many even for that, but fits the
// room kept for the total, which lines up with the header. With one worker
// and with four, the program streams byte for byte what gathering every
// row first would write, with the model's figures.
TEST(CommandLine, RandomTreesStreamWhatAFullBufferWrites)
{
    char pattern[] = "/tmp/cmeasure-tree-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    // Long names below the root make the rows long.
    const std::string name(250, 'n');
    const std::string deep = dir.string() + "/" + name + "/" + name + "/" + name + "/" + name;
    fs::create_directories(deep);
    randomtext::Rng rng(testseed::seedOr(7));
    Measured files;
    growTree(rng, dir, dir.string(), 1, files);
    for (int k = 0; files.size() < 1200; k++) {
        fs::create_directory(deep + "/" + std::to_string(k));
        growTree(rng, deep + "/" + std::to_string(k), deep + "/" + std::to_string(k), 3, files);
    }
    std::sort(files.begin(), files.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &[k, lines] : {std::pair{499, 100000}, std::pair{1099, 1000000}}) {
        const std::string path = files[k].first;
        files.erase(files.begin() + k);
        addEmptyLines(files, path, lines);
    }

    for (const bool json : {true, false}) {
        const std::string command = std::string(CMEASURE_PATH) + (json ? " --json " : " ") + dir.string();
        const std::string expected = fullBufferOutput(files, json);
        if (json) {
            EXPECT_GT(expected.size(), 1u << 20);
        } else {
            const size_t last = expected.rfind('\n', expected.size() - 2) + 1;
            EXPECT_EQ(expected.find("total of", last) - last, expected.find("path")) << "the total lines up";
        }
        EXPECT_TRUE(output(command + " -j 1") == expected) << command << " -j 1";
        EXPECT_TRUE(output(command + " -j 4") == expected) << command << " -j 4";
    }
    // Sorted by each key, the files' many ties among them; totals above the
    // room a streamed table keeps do not widen their own row here.
    std::vector<std::pair<std::string_view, std::optional<Count Figures::*>>> keys = {{"path", nullptr}};
    for (const FigureKey &key : FIGURE_KEYS)
        keys.emplace_back(key.name, key.member);
    for (const auto &[name, member] : keys) {
        for (const bool json : {true, false}) {
            const std::string command = std::string(CMEASURE_PATH) + " -j 4 --sort=" + std::string(name) +
                                        (json ? " --json " : " ") + dir.string();
            EXPECT_TRUE(output(command) == fullBufferOutput(files, json, member)) << command;
        }
    }
    fs::remove_all(dir);
}

// main.c and b.c committed; then b.c gains a line "z;" and n.c, "ab",
// is new.
const std::string CHANGED = "printf 'x\\n' > b.c && git init -q . && git add main.c b.c && "
                            "git -c user.name=t -c user.email=t@t commit -qm one && printf 'z;\\n' >> b.c && "
                            "printf 'ab\\n' > n.c";

INSTANTIATE_TEST_SUITE_P(CommandLineGate, ProgramTest, testing::Values(
    Case{.name = "StandardInputNamedDash", .args = {"--max-symbols=3"}, .input = "int abc;\n",
         .expected = "-:1:5: 7 symbols (limit 3)\n", .status = 1},
    Case{.name = "NoneOverGivesNothingAndZero", .args = {"--json", "--max-symbols=12", "main.c", "-"}, .input = "int abc;\n",
         .expected = "", .source = NOTE},
    Case{.name = "LinesAscendingPiecesByColumnCrNoSymbol", .args = {"--rules=menu", "--max-symbols=4", "t"},
         .expected = "t/a.c:2:1: 5 symbols (limit 4)\nt/a.c:3:1: 359 symbols (limit 4)\nt/a.c:3:360: 10 symbols (limit 4)\n"
                     "t/b/c.c:1:1: 5 symbols (limit 4)\n",
         .status = 1, .setup = "mkdir -p t/b && printf 'ab\\r\\nabcd\\r\\n%0368d\\n' 0 > t/a.c && echo abcd > t/b/c.c && "
                  "echo abc > t/b.c"},
    // Past a line of more than 63 symbols, the short lines between two
    // newlines of 64 bytes are passed over at once: the lines after them
    // keep their numbers, and the allowing marker is still read.
    Case{.name = "MenuRulesShortLinesPassedOverKeepTheLineNumbers", .args = {"--rules=menu", "--max-symbols=100", "t.c"},
         .expected = "t.c:42:1: 111 symbols (limit 100)\n",
         .errors = "cmeasure: 1 line over the limit allowed by 'cmeasure: allow'\n", .status = 1,
         .setup = "{ printf '%070d\\n' 0; yes 'a;' | head -n 40; printf '%0110d\\n' 0; yes 'b;' | head -n 40; "
                  "printf '%0110d // cmeasure: allow\\n' 0; } > t.c"},
    Case{.name = "ReadErrorAmongDiagnostics", .args = {"--max-symbols=10", "main.c", "/proc/self/mem", "-"}, .input = NOTE,
         .expected = "main.c:1:14: 11 symbols (limit 10)\ncmeasure: /proc/self/mem: Input/output error\n"
                     "-:1:14: 11 symbols (limit 10)\n",
         .status = 1, .source = NOTE, .oneStream = true},
    Case{.name = "ReadErrorAloneIsFailure", .args = {"--max-symbols=12", "main.c", "/proc/self/mem"}, .expected = "",
         .errors = "cmeasure: /proc/self/mem: Input/output error\n", .status = 1, .source = NOTE},
    Case{.name = "PathWithNewlineEscaped", .args = {"--max-symbols=0", "t"}, .expected = "t/a\\nb.c:1:1: 1 symbols (limit 0)\n",
         .status = 1, .setup = "mkdir t && echo x > \"t/$(printf 'a\\nb.c')\""},
    Case{.name = "JsonPathNotUtf8AsBytes", .args = {"--json", "--max-symbols=1", "t"},
         .expected = "{\"path\": [116, 47, 255, 46, 99], \"line\": 2, \"column\": 2, \"symbols\": 2, \"limit\": 1}\n",
         .status = 1, .setup = "mkdir t && printf '\\nxy\\n' > \"t/$(printf '\\377.c')\""},
    // More diagnostics (26 MB per a.c) than the workers hold before they
    // write their own: they come out in order all the same.
    // The expected lines are made when the case runs, not when the cases
    // are registered, as every test's process would otherwise build them.
    Case{.name = "ManyDiagnosticsPerFileInOrder", .expected = "", .status = 1,
         .setup = "seq 800000 > a.c && seq 3 > b.c && for f in a.c b.c a.c; do "
                  "awk -v f=$f 'length($0) > 1 { print f \":\" NR \":2: \" length($0) \" symbols (limit 1)\" }' $f; done > expected",
         .shell = "cmeasure --max-symbols=1 -j 4 a.c b.c a.c > out; status=$?; cmp out expected && exit $status"},
    // The first file turns into a link before a worker opens it, and is
    // passed over; the turn to write must still reach the second, which
    // has more diagnostics (29 MB) than the workers hold.
    Case{.name = "SkippedFileBeforeMoreDiagnosticsThanHeldInOrder", .expected = "", .status = 1,
         .setup = "mkdir t && echo x > t/a.c && seq 800000 > t/b.c && "
                  "awk 'length($0) > 1 { print \"t/b.c:\" NR \":2: \" length($0) \" symbols (limit 1)\" }' t/b.c > expected",
         .environment = changeOpening("a.c", "t/a.c:t/.a.c", "gone"),
         .shell = "cmeasure --max-symbols=1 t > out; status=$?; cmp out expected && exit $status"},
    Case{.name = "AllowMarkerInCommentNotReportedButCounted", .args = {"--rules=menu", "--max-symbols=8", "main.c"},
         .expected = "main.c:2:1: 9 symbols (limit 8)\n",
         .errors = "cmeasure: 1 line over the limit allowed by 'cmeasure: allow'\n", .status = 1,
         .source = "int xx; /* cmeasure: allow */\nint yyyy;\n"},
    Case{.name = "CRulesAllowMarkerInCommentNotReported", .args = {"--max-symbols=8", "main.c"},
         .expected = "main.c:2:10: 9 symbols (limit 8)\n",
         .errors = "cmeasure: 1 line over the limit allowed by 'cmeasure: allow'\n", .status = 1,
         .source = "int xx; /* cmeasure: allow */\nint yyyyy;\n"},
    Case{.name = "AllowMarkerOnlyLinesPass", .args = {"--max-symbols=9", "main.c"}, .expected = "",
         .errors = "cmeasure: 2 lines over the limit allowed by 'cmeasure: allow'\n",
         .source = "int x; // cmeasure: allow\nint y; //cmeasure: allow, a table\n"},
    Case{.name = "AllowMarkerAfterAnotherColonAtTheLinesEndAllowed", .args = {"--rules=menu", "--max-symbols=9", "main.c"},
         .expected = "", .errors = "cmeasure: 1 line over the limit allowed by 'cmeasure: allow'\n",
         .source = "x = a ? b : c; //cmeasure: allow\n"},
    Case{.name = "AllowMarkerAfterColonsOfItsFirstWordAllowed", .args = {"--rules=menu", "--max-symbols=9", "main.c"},
         .expected = "", .errors = "cmeasure: 1 line over the limit allowed by 'cmeasure: allow'\n",
         .source = "s = cmeasure::x; //cmeasure: allow\n"},
    Case{.name = "AllowMarkerOutsideCommentReported", .args = {"--rules=menu", "--max-symbols=9", "main.c"},
         .expected = "main.c:1:1: 24 symbols (limit 9)\n", .status = 1, .source = "s = \"cmeasure: allow\"; /**/\n"},
    Case{.name = "AllowMarkerAfterSlashesInAStringReported", .args = {"--rules=menu", "--max-symbols=9", "main.c"},
         .expected = "main.c:1:1: 50 symbols (limit 9)\n", .status = 1,
         .source = "puts(\"http://x\"); int cmeasure: allow_not_a_comment;\n"},
    Case{.name = "AllowMarkerAfterAClosedCommentReported", .args = {"--rules=menu", "--max-symbols=9", "main.c"},
         .expected = "main.c:1:1: 34 symbols (limit 9)\n", .status = 1,
         .source = "puts(\"a\"); /* x */ int cmeasure: allow;\n"},
    Case{.name = "AllowMarkerInCommentAfterQuotesOfLiterals", .args = {"--max-symbols=9", "main.c"},
         .expected = "", .errors = "cmeasure: 2 lines over the limit allowed by 'cmeasure: allow'\n",
         .source = "c = '\"'; /* cmeasure: allow */\ns = \"\\\\\" // \"; x = 1; // cmeasure: allow\n"},
    Case{.name = "AllowMarkerBeforeCommentReported", .args = {"--rules=menu", "--max-symbols=9", "main.c"},
         .expected = "main.c:1:1: 19 symbols (limit 9)\n", .status = 1, .source = "cmeasure: allow; // x\n"},
    // Pieces of 359 bytes: on line 1 the marker runs from the first piece,
    // where its comment opens, into the second, and allows neither; on
    // line 2 a comment opens in the second piece and allows it alone.
    Case{.name = "AllowMarkerAcrossAPieceEdgeAllowsNeitherPiece", .args = {"--rules=menu", "--max-symbols=4", "main.c"},
         .expected = "main.c:1:1: 357 symbols (limit 4)\nmain.c:1:360: 5 symbols (limit 4)\n"
                     "main.c:2:1: 359 symbols (limit 4)\n",
         .errors = "cmeasure: 1 line over the limit allowed by 'cmeasure: allow'\n", .status = 1,
         .source = std::string(345, 'x') + "// cmeasure: allow\n" + std::string(359, 'y') + "/* cmeasure: allow */\n"},
    Case{.name = "NoFileMeasuredFails", .args = {"--max-symbols=9", "--ext=cc", "t"}, .expected = "",
         .errors = "cmeasure: no file measured\n", .status = 1, .setup = "mkdir t && echo 'int x;' > t/a.c"},
    Case{.name = "EmptyDirectoryFails", .args = {"--json", "--max-symbols=9", "t"}, .expected = "",
         .errors = "cmeasure: no file measured\n", .status = 1, .setup = "mkdir t"},
    Case{.name = "SarifWithJsonIsUsageError", .args = {"--sarif", "--json", "--max-symbols=9"}, .expected = "",
         .errors = "cmeasure: options '--sarif' and '--json' cannot be used together\n" + TRY_HELP, .status = 2},
    Case{.name = "NewFromRevWithFiles0FromIsUsageError", .args = {"--files0-from=-", "--new-from-rev=HEAD",
         "--max-symbols=9"}, .expected = "",
         .errors = "cmeasure: options '--new-from-rev' and '--files0-from' cannot be used together\n" + TRY_HELP,
         .status = 2},
    Case{.name = "SarifWriteErrorFails", .expected = "", .errors = "cmeasure: write error: No space left on device\n",
         .status = 1, .source = NOTE, .shell = "cmeasure --sarif --max-symbols=1 main.c > /dev/full"},
    // A real run's log, read by jq: one result per line over the limit, the
    // allowed one suppressed, columns in characters (of a line of 300 'é',
    // the second piece starts at byte 360, within the 180th character: the
    // first that starts in it is the 181st), and the run successful.
    Case{.name = "SarifOfARunReadByJq", .expected = "true\n",
         .errors = "cmeasure: 1 line over the limit allowed by 'cmeasure: allow'\n",
         .setup = "mkdir t && printf 'int xx; // cmeasure: allow\\nint yyy;\\n' > t/a.c && "
                  "awk 'BEGIN { for (i = 0; i < 300; i++) printf \"\\303\\251\"; print \"\" }' > t/b.c",
         .shell = "cmeasure --rules=menu --sarif --max-symbols=9 t > log; [ $? = 1 ] && jq -c '.runs[0] | [.results[] | "
                  "[.locations[0].physicalLocation | .artifactLocation.uri, .region.startLine, .region.startColumn], "
                  ".suppressions] == [[\"t/a.c\", 1, 1], [{\"kind\": \"inSource\"}], "
                  "[\"t/b.c\", 1, 1], null, [\"t/b.c\", 1, 181], null] and .invocations[0].executionSuccessful' log"},
    // Under C's rules: the text gives the byte column, the log the
    // character column it declares; the 6th symbol is the 6th 'é', at
    // byte 11; after a tab, an 'é' and a broken sequence (2 bytes, each a
    // character) the 4th is 'z', at byte 6 and character 5.
    Case{.name = "CRulesSarifColumnInCharactersTextInBytes", .expected = "a.c:1:11: 11 symbols (limit 5)\n"
                                                                          "a.c:2:6: 5 symbols (limit 3)\n[6,5]\n",
         .setup = "printf '\303\251\303\251\303\251\303\251\303\251\303\251\303\251\303\251\303\251\303\251 x\n"
                  "\t\303\251\342\202z\303\251\n' > a.c",
         .shell = "cmeasure --max-symbols=5 a.c; cmeasure --max-symbols=3 a.c | tail -n 1; cmeasure --max-symbols=5 --sarif a.c > l5; "
                  "cmeasure --max-symbols=3 --sarif a.c > l3; jq -c -n '[input, input | .runs[0].results[-1].locations[0]"
                  ".physicalLocation.region.startColumn]' l5 l3"},
    Case{.name = "NewFromRevOutsideWorkTree", .args = {"--max-symbols=9", "--new-from-rev=HEAD", "."}, .expected = "",
         .errors = "cmeasure: .: git: not in a git work tree\n", .status = 2, .source = NOTE},
    Case{.name = "NewFromRevStandardInput", .args = {"--max-symbols=9", "--new-from-rev=HEAD"}, .expected = "",
         .errors = "cmeasure: -: git: standard input is in no work tree\n", .status = 2},
    Case{.name = "NewFromRevUnknownRevisionBeforeAnyOutput", .expected = "", .status = 2, .source = "int yyyy;\n",
         .setup = "git init -q . && git add main.c && git -c user.name=t -c user.email=t@t commit -qm one",
         .shell = "cmeasure --max-symbols=1 --new-from-rev=nope main.c 2> err; s=$?; grep -q '^cmeasure: main.c: git: .' err "
                  "&& [ $(wc -l < err) = 1 ] && exit $s"},
    Case{.name = "NewFromRevNothingChangedPasses", .args = {"--max-symbols=1", "--new-from-rev=HEAD", "."},
         .expected = "", .errors = "cmeasure: no changed file\n", .source = "int yyyy;\n",
         .setup = "git init -q . && git add main.c && git -c user.name=t -c user.email=t@t commit -qm one"},
    Case{.name = "NewFromRevNoFileAtAllFails", .args = {"--max-symbols=1", "--new-from-rev=HEAD", "--ext=h", "."},
         .expected = "", .errors = "cmeasure: no file measured\n", .status = 1, .source = "int yyyy;\n",
         .setup = "git init -q . && git add main.c && git -c user.name=t -c user.email=t@t commit -qm one"},
    // Git's view of a work tree, as git itself takes it from the current
    // directory, and nothing run that the repository or the user configures.
    Case{.name = "NewFromRevDirectoriesReplacingALinkAndAFile", .args = {"--max-symbols=5", "--new-from-rev=HEAD", "."},
         .expected = "./lib/l.c:1:7: 8 symbols (limit 5)\n./vendor/v.c:1:7: 8 symbols (limit 5)\n", .status = 1,
         .setup = "git init -q . && mkdir real && echo 'int r;' > real/r.c && ln -s real vendor && echo x > lib && "
                  "git add -A && git -c user.name=t -c user.email=t@t commit -qm one && rm vendor lib && mkdir vendor lib && "
                  "echo 'int vvvv;' > vendor/v.c && echo 'int llll;' > lib/l.c"},
    Case{.name = "NewFromRevPathsThatAreNotThereFail", .expected = "false\n",
         .errors = "cmeasure: scr: No such file or directory\ncmeasure: src/typo.c: No such file or directory\n"
                   "cmeasure: no file measured\n",
         .status = 1, .setup = "git init -q . && mkdir src && echo 'int x;' > src/a.c && git add -A && "
                               "git -c user.name=t -c user.email=t@t commit -qm one",
         .shell = "cmeasure --sarif --max-symbols=10 --new-from-rev=HEAD scr src/typo.c > log; s=$?; "
                  "jq '.runs[0].invocations[0].executionSuccessful' log; exit $s"},
    Case{.name = "NewFromRevRangesRefused", .expected = "2 2 2 2 2 2 2\n",
         .errors = NOT_ONE_COMMIT + NOT_ONE_COMMIT + NOT_ONE_COMMIT + NOT_ONE_COMMIT + NOT_ONE_COMMIT + NOT_ONE_COMMIT +
                   NOT_ONE_COMMIT,
         .setup = TWO_COMMITS,
         .shell = "for r in HEAD~1..HEAD HEAD~1...HEAD ..HEAD HEAD~1.. 'HEAD^!' 'HEAD^@' 'HEAD^-1'; do "
                  "cmeasure --max-symbols=1 --new-from-rev=$r a.c; printf '%s' \"$s$?\"; s=' '; done; echo"},
    // Names of no commit, which the diff refuses too: rev-parse says why.
    Case{.name = "NewFromRevNamesOfNoCommitRefused", .expected = "2 2 2\n",
         .errors = NOT_ONE_COMMIT + NOT_ONE_COMMIT + NOT_ONE_COMMIT, .setup = TWO_COMMITS,
         .shell = "for r in nope 'HEAD^{tree}' HEAD:a.c; do cmeasure --max-symbols=1 --new-from-rev=$r a.c; "
                  "printf '%s' \"$s$?\"; s=' '; done; echo"},
    // A revision the diff could read as a range is checked first, and
    // no diff runs; one that names a commit goes to the diff alone.
    Case{.name = "NewFromRevRangeCheckedBeforeTheDiff", .expected = "7 1\n1 1 1 1 1 0 0 6\n",
         .setup = RECORDING_GIT + TWO_COMMITS, .environment = {"PATH=bin:/usr/bin:/bin"},
         .shell = "for r in HEAD~1..HEAD ..HEAD HEAD~1.. 'HEAD^!' 'HEAD^@' 'HEAD^-' ^HEAD; do "
                  "cmeasure --max-symbols=1 --new-from-rev=$r a.c > /dev/null 2>&1; done; "
                  "echo $(grep -c -e --verify calls) $(grep -c ' diff ' calls); : > calls; "
                  "for r in HEAD^ HEAD^1 'HEAD^0^' 'HEAD^0~1' 'HEAD~1^{commit}' HEAD@{0}; do "
                  "cmeasure --max-symbols=1 --new-from-rev=$r a.c > /dev/null 2>&1; printf '%s ' $?; done; "
                  "echo $(grep -c -e --verify calls) $(grep -c ' diff ' calls)"},
    // a.c's clean filter is in the user's configuration, b.c's process in
    // the repository's; either would leave its file behind. Drivers named
    // with capitals and dots (c.c), and one of a command longer than any
    // setting the walk reads but short enough for sh -c to take (d.c), are
    // switched off too.
    Case{.name = "NewFromRevRunsNoFilter", .args = {"--max-symbols=5", "--new-from-rev=HEAD", "."},
         .expected = "./a.c:2:8: 11 symbols (limit 5)\n./b.c:2:8: 11 symbols (limit 5)\n"
                     "./c.c:2:8: 11 symbols (limit 5)\n./d.c:2:8: 11 symbols (limit 5)\n",
         .status = 1,
         .setup = "git init -q . && for f in a b c d; do echo \"int $f;\" > $f.c; done && "
                  "printf 'a.c filter=one\\nb.c filter=two\\nc.c filter=My.Dot\\nd.c filter=long\\n' > .gitattributes && "
                  "git add -A && git -c user.name=t -c user.email=t@t commit -qm one && "
                  "git config --global filter.one.clean \"touch $PWD/ran-clean; cat\" && git config --global filter.one.required true && "
                  "git config filter.two.process \"sh -c 'touch $PWD/ran-process'\" && git config filter.two.required true && "
                  "git config --global filter.My.Dot.clean \"touch $PWD/ran-dot; cat\" && "
                  "{ printf '[filter \"long\"]\\n\\tclean = touch ran-long && cat && : '; head -c 100000 /dev/zero | tr '\\0' x; echo; } >> .git/config && "
                  "for f in a b c d; do echo \"int $f; int $f$f;\" >> $f.c; done",
         .teardown = "test ! -e ran-clean && test ! -e ran-process && test ! -e ran-dot && test ! -e ran-long"},
    // REV's blob is not in the partial clone: fetching it would run the
    // remote's upload-pack command; the gate fails instead.
    Case{.name = "NewFromRevFetchesNothingInAPartialClone", .expected = "status 2, 1 line\n",
         .setup = "git init -q o && cd o && echo 'int a;' > a.c && git add a.c && git -c user.name=t -c user.email=t@t "
                  "commit -qm one && echo 'int b;' >> a.c && git -c user.name=t -c user.email=t@t commit -qam two && "
                  "git config uploadpack.allowFilter true && cd .. && git clone -q --filter=blob:none \"file://$PWD/o\" c && "
                  "git -C c config remote.origin.uploadpack \"touch $PWD/ran; git-upload-pack\" && echo 'int cc;' >> c/a.c",
         .teardown = "test ! -e ran",
         .shell = "cd c && cmeasure --max-symbols=5 --new-from-rev=HEAD~1 . 2> ../err; s=$?; "
                  "grep -q '^cmeasure: .: git: .' ../err && echo \"status $s, $(wc -l < ../err) line\""},
    Case{.name = "NewFromRevLinesInSubmodulesNotGated", .args = {"--max-symbols=5", "--new-from-rev=HEAD", "."},
         .expected = "", .errors = "cmeasure: no changed file\n", .source = "int y;\n",
         .setup = "git init -q . && git init -q sm && echo 'int s;' > sm/s.c && git -C sm add s.c && "
                  "git -C sm -c user.name=t -c user.email=t@t commit -qm s && git add main.c sm 2>/dev/null && "
                  "git -c user.name=t -c user.email=t@t commit -qm one && git config --global diff.submodule diff && "
                  "echo 'int ssssssss;' >> sm/s.c"},
    Case{.name = "NewFromRevRelativeGitDirFromTheCurrentDirectory", .args = {"--max-symbols=3", "--new-from-rev=HEAD", "sub"},
         .expected = "sub/a.c:2:5: 10 symbols (limit 3)\n", .status = 1,
         .setup = "git init -q . && mkdir sub && echo x > sub/a.c && git add -A && "
                  "git -c user.name=t -c user.email=t@t commit -qm one && echo 'int yyyyyy;' >> sub/a.c",
         .environment = {"GIT_DIR=.git"}},
    // The walk takes the work tree that git placed for the diff: two gits
    // find it and its filter drivers, one diffs a revision that can name
    // no range unchecked and one lists the untracked files; none starts
    // again for the walk.
    Case{.name = "NewFromRevAsksAboutTheWorkTreeOnce", .args = {"--max-symbols=3", "--new-from-rev=HEAD", "."},
         .expected = "./a.c:2:5: 10 symbols (limit 3)\n", .status = 1,
         .setup = RECORDING_GIT + "git init -q . && echo x > a.c && git add a.c && "
                  "git -c user.name=t -c user.email=t@t commit -qm one && echo 'int yyyyyy;' >> a.c",
         .teardown = "[ \"$(grep -c -e --is-inside-work-tree calls) $(grep -c . calls)\" = '1 4' ]",
         .environment = {"PATH=bin:/usr/bin:/bin"}},
    // Git refuses a repository of another user's: the gate says why.
    Case{.name = "NewFromRevDubiousOwnershipSaysSo", .args = {"--max-symbols=3", "--new-from-rev=HEAD", "."},
         .expected = "", .errors = "cmeasure: .: git: detected dubious ownership in repository at '@'\n", .status = 2,
         .source = "int y;\n", .setup = "[ \"$(id -u)\" = 0 ] || exit 77; git init -q . && git add main.c && "
                                       "git -c user.name=t -c user.email=t@t commit -qm one && chown -R nobody ."},
    // Without the gate: the whole figures of the files changed since the
    // revision (b.c edited, n.c new; main.c left as it was), and a total
    // that says so, even of one row or none.
    Case{.name = "NewFromRevFiguresOfChangedFilesOnly", .args = {"--new-from-rev=HEAD", "."},
         .expected = "lines  densest_line  max_symbols  identifiers  code  comment  blank  path\n"
                     "    2             2            2            2     2        0      0  ./b.c\n"
                     "    1             1            2            1     1        0      0  ./n.c\n"
                     "    3             2            2            3     3        0      0  total of 2 files changed since HEAD; densest line in ./b.c\n",
         .source = "int yyyy;\n", .setup = CHANGED},
    Case{.name = "NewFromRevSummarizedJsonTotalNamesTheRevision", .args = {"--json", "-s", "--new-from-rev=HEAD", "."},
         .expected = "{\"directory\": \".\", \"files\": 2, \"lines\": 3, \"identifiers\": 3, \"code_lines\": 3, "
                     "\"comment_lines\": 0, \"blank_lines\": 0, \"max_symbols\": 2, "
                     "\"path\": \"./b.c\", \"line_with_max_symbols\": 2}\n"
                     "{\"total\": true, \"files\": 2, \"lines\": 3, \"identifiers\": 3, \"code_lines\": 3, "
                     "\"comment_lines\": 0, \"blank_lines\": 0, \"max_symbols\": 2, "
                     "\"path\": \"./b.c\", \"line_with_max_symbols\": 2, \"changed_since\": \"HEAD\"}\n",
         .source = "int yyyy;\n", .setup = CHANGED},
    Case{.name = "NewFromRevOneChangedFileTotalStillSaysSo", .args = {"--new-from-rev=HEAD", "main.c", "b.c"},
         .expected = "lines  densest_line  max_symbols  identifiers  code  comment  blank  path\n"
                     "    2             2            2            2     2        0      0  b.c\n"
                     "    2             2            2            2     2        0      0  total of 1 file changed since HEAD; densest line in b.c\n",
         .source = "int yyyy;\n", .setup = CHANGED},
    Case{.name = "NewFromRevNothingChangedTotalOfNone", .args = {"--new-from-rev=HEAD", "."},
         .expected = "lines  densest_line  max_symbols  identifiers  code  comment  blank  path\n"
                     "    0             0            0            0     0        0      0  total of 0 files changed since HEAD\n",
         .source = "int yyyy;\n",
         .setup = "git init -q . && git add main.c && git -c user.name=t -c user.email=t@t commit -qm one"},
    Case{.name = "CRulesColumnWhereTheLineGoesOverTabsAndUtf8OneEach", .args = {"--max-symbols=3", "t"},
         .expected = "t/a.c:2:10: 5 symbols (limit 3)\nt/a.c:3:5: 5 symbols (limit 3)\n", .status = 1,
         .setup = "mkdir t && printf 'abc\\n\\t a  b\\303\\251\\tc d\\r\\n\\377\\377\\000\\342\\202z' > t/a.c"},
    Case{.name = "CRulesLongLineOneDiagnostic", .args = {"--max-symbols=1000", "a.c"},
         .expected = "a.c:2:1001: 1368 symbols (limit 1000)\n", .status = 1,
         .setup = "printf 'x\\n%01368d\\n' 0 > a.c"},
    Case{.name = "CRulesLimitAtTheLineIsNotOver", .args = {"--max-symbols=1368", "a.c"}, .expected = "",
         .setup = "printf 'x\\n%01368d\\n' 0 > a.c"},
    Case{.name = "CRulesJsonColumn", .args = {"--json", "--max-symbols=0", "-"}, .input = "\n  x\n",
         .expected = "{\"path\": \"-\", \"line\": 2, \"column\": 3, \"symbols\": 1, \"limit\": 0}\n", .status = 1},
    Case{.name = "MenuRulesLimitBeyondAPiece", .args = {"--rules=menu", "--max-symbols=360"}, .expected = "",
         .errors = "cmeasure: invalid symbol limit: '360'\n" + TRY_HELP, .status = 2},
    Case{.name = "RulesUnknown", .args = {"--rules=C", "a.c"}, .expected = "",
         .errors = "cmeasure: invalid argument 'C' for '--rules'\nValid arguments are 'c' and 'menu'\n" + TRY_HELP,
         .status = 2},
    Case{.name = "SymbolLimitNegative", .args = {"--max-symbols=-1", "main.c"}, .expected = "",
         .errors = "cmeasure: invalid symbol limit: '-1'\n" + TRY_HELP, .status = 2, .source = NOTE},
    Case{.name = "SymbolLimitNotANumber", .args = {"--max-symbols", "x"}, .expected = "",
         .errors = "cmeasure: invalid symbol limit: 'x'\n" + TRY_HELP, .status = 2},
    Case{.name = "SymbolLimitEmpty", .args = {"--max-symbols="}, .expected = "",
         .errors = "cmeasure: invalid symbol limit: ''\n" + TRY_HELP, .status = 2},
    Case{.name = "SymbolLimitWithExponent", .args = {"--max-symbols=1e2"}, .expected = "",
         .errors = "cmeasure: invalid symbol limit: '1e2'\n" + TRY_HELP, .status = 2},
    Case{.name = "SymbolLimitBeyondRange", .args = {"--max-symbols=9223372036854775808"}, .expected = "",
         .errors = "cmeasure: invalid symbol limit: '9223372036854775808'\n" + TRY_HELP, .status = 2},
    Case{.name = "SymbolLimitFarBeyondRange", .args = {"--max-symbols=99999999999999999999"}, .expected = "",
         .errors = "cmeasure: invalid symbol limit: '99999999999999999999'\n" + TRY_HELP, .status = 2},
    Case{.name = "SymbolLimitWithoutValue", .args = {"main.c", "--max-symbols"}, .expected = "",
         .errors = "cmeasure: option '--max-symbols' requires an argument\n" + TRY_HELP, .status = 2}
), caseName);

// The most memory (KiB) and the exit status of `argv`, run in `dir` with
// its output thrown away.
std::pair<long, int> peakMemoryOf(const fs::path &dir, std::vector<std::string> argv)
{
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null < 0 || dup2(null, STDOUT_FILENO) < 0 || chdir(dir.c_str()) != 0)
            _exit(127);
        std::vector<char *> pointers;
        for (std::string &argument : argv)
            pointers.push_back(argument.data());
        pointers.push_back(nullptr);
        execv(pointers[0], pointers.data());
        _exit(127);
    }
    int status = 0;
    rusage usage = {};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status))
        return {-1, -1};
    return {usage.ru_maxrss, WEXITSTATUS(status)};
}

// 64 files of 200 000 dense lines, each over the limit: however many
// workers make the diagnostics, they take at most 48 MiB, as the writer
// frees what the workers made. A sanitizer's allocator keeps freed memory
// on purpose, so the figure means something only without one.
TEST(CommandLine, GateMemoryBoundedWhateverTheWorkers)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's allocator keeps freed memory";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    GTEST_SKIP() << "a sanitizer's allocator keeps freed memory";
#endif
#endif
    char pattern[] = "/tmp/cmeasure-gate-memory-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    fs::create_directory(dir / "t");
    std::string dense;
    for (int line = 0; line < 200000; line++)
        dense += "abcdefgh\n";
    for (int k = 0; k < 64; k++)
        std::ofstream(dir / "t" / (std::to_string(k) + ".c"), std::ios::binary) << dense;
    for (const char *jobs : {"1", "8", "256"}) {
        const auto [kib, status] = peakMemoryOf(dir, {CMEASURE_PATH, "--max-symbols=5", "-j", jobs, "t"});
        EXPECT_EQ(status, 1) << "-j " << jobs;
        EXPECT_GT(kib, 0) << "-j " << jobs;
        EXPECT_LE(kib, 48 << 10) << "-j " << jobs;
    }
    fs::remove_all(dir);
}

// Random files around the lengths where lines are cut into pieces, in a
// tree and on standard input, under random limits and workers: the
// diagnostics are the model's, in output order, and the status says
// whether there was one.
TEST(CommandLine, RandomTreesGateAgreesWithModel)
{
    const unsigned seed = testseed::fresh();
    SCOPED_TRACE("seed " + std::to_string(seed));
    randomtext::Rng rng(seed);
    char pattern[] = "/tmp/cmeasure-gate-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    std::vector<std::pair<std::string, std::string>> files; // path below t, text
    for (int k = 0; k < 30; k++) {
        const std::string path = std::to_string(randomtext::pick(rng, 0, 3)) + "/" + std::to_string(k) + ".c";
        files.emplace_back(path, randomtext::aroundPieceEdges(rng, randomtext::pick(rng, 0, 12)));
        fs::create_directories((dir / "t" / path).parent_path());
        std::ofstream(dir / "t" / path, std::ios::binary) << files.back().second;
    }
    std::sort(files.begin(), files.end());
    const std::string input = randomtext::aroundPieceEdges(rng, randomtext::pick(rng, 0, 12));
    std::ofstream(dir / "input", std::ios::binary) << input;
    files.emplace_back("-", input);

    for (int round = 0; round < 4; round++) {
        const int limit = randomtext::pick(rng, 0, 1) ? randomtext::pick(rng, 0, 359) : randomtext::pick(rng, 300, 359);
        std::string expected;
        for (const auto &[path, text] : files)
            for (const model::OverLimit &over : model::overLimit(text, limit))
                expected += (path == "-" ? path : "t/" + path) + ":" + std::to_string(over.line) + ":" +
                            std::to_string(over.column) + ": " + std::to_string(over.symbols) + " symbols (limit " +
                            std::to_string(limit) + ")\n";
        const std::string command = "cd " + dir.string() + " && " + CMEASURE_PATH + " --rules=menu -j " +
                                    std::to_string(randomtext::pick(rng, 1, 8)) + " --max-symbols=" +
                                    std::to_string(limit) + " t - < input";
        EXPECT_EQ(output(command, expected.empty() ? 0 : 1), expected) << command;
    }
    fs::remove_all(dir);
}

// The model knows nothing of the allow markers, whose lines the gate leaves
// out: its random pieces hold them, each made plain text by a letter broken.
std::string withoutAllowMarker(std::string text)
{
    for (std::size_t at; (at = text.find("cmeas")) != std::string::npos;)
        text[at + 4] = '-';
    return text;
}

// Random C text, with lines long enough for any limit, in files of either
// dialect and on standard input, under random limits and workers: with C's
// rules each line over the limit gives one diagnostic, at the column of the
// symbol past the limit, as the model counts them.
TEST(CommandLine, RandomTreesCRulesGateAgreesWithModel)
{
    const unsigned seed = testseed::fresh();
    SCOPED_TRACE("seed " + std::to_string(seed));
    crandom::Rng rng(seed);
    char pattern[] = "/tmp/cmeasure-cgate-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    const char *const suffixes[] = {".c", ".h", ".cc", ".hpp"};
    std::vector<std::pair<std::string, std::string>> files; // path below t, text
    for (int k = 0; k < 20; k++) {
        const std::string path = std::to_string(k) + suffixes[k % 4];
        files.emplace_back(path, withoutAllowMarker(crandom::text(rng, std::uniform_int_distribution(0, 900)(rng))));
        std::ofstream(dir / path, std::ios::binary) << files.back().second;
    }
    std::sort(files.begin(), files.end());
    const std::string input = withoutAllowMarker(crandom::text(rng, 400));
    std::ofstream(dir / "input", std::ios::binary) << input;
    files.emplace_back("-", input);

    for (int round = 0; round < 4; round++) {
        const std::int64_t limit = std::uniform_int_distribution(0, round < 2 ? 40 : 1200)(rng);
        std::string expected;
        for (const auto &[path, text] : files) {
            const std::vector<cmodel::Line> lines = cmodel::lines(text);
            for (size_t k = 0; k < lines.size(); k++)
                if (lines[k].symbols > limit)
                    expected += (path == "-" ? path : "./" + path) + ":" + std::to_string(k + 1) + ":" +
                                std::to_string(lines[k].columns[static_cast<size_t>(limit)]) + ": " +
                                std::to_string(lines[k].symbols) + " symbols (limit " + std::to_string(limit) + ")\n";
        }
        const std::string command = "cd " + dir.string() + " && " + CMEASURE_PATH + " --ext=c,h,cc,hpp -j " +
                                    std::to_string(std::uniform_int_distribution(1, 8)(rng)) + " --max-symbols=" +
                                    std::to_string(limit) + " . - < input";
        EXPECT_EQ(output(command, expected.empty() ? 0 : 1), expected) << command;
    }
    fs::remove_all(dir);
}

} // namespace
