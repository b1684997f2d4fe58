// The configuration file and the baseline end to end: which .cmeasure.toml
// governs a file, what counts over it, each fault of a file named with its
// line and status 2 before anything is written, and a baseline that keeps
// lines by their text as they move.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "config/baseline.h"
#include "config/config_file.h"
#include "program.h"

namespace {

const std::string TRY_HELP = "Try 'cmeasure --help' for more information.\n";
// Two files of one line of 6 symbols ("int ab;"), the 4th at byte 5.
const std::string TWO_FILES = "mkdir -p t/sub && echo 'int ab;' > t/a.c && echo 'int ab;' > t/sub/b.c && ";
const std::string NO_LIMIT =
    "cmeasure: --check needs a limit: no .cmeasure.toml gives one, and --max-symbols is not given\n";

// Two files of a call with a literal and a comment after it.
const std::string CALLS = "mkdir -p t/sub && echo 'f(\"a long text\"); // note' > t/a.c && cp t/a.c t/sub/b.c && ";

std::string configIn(const std::string &directory, const std::string &text)
{
    return "printf '" + text + "' > " + directory + "/.cmeasure.toml && ";
}

INSTANTIATE_TEST_SUITE_P(ConfigLookup, ProgramTest, testing::Values(
    Case{.name = "NearestFileWinsWhole", .args = {"--check", "t"},
         .expected = "t/a.c:1:5: 6 symbols (limit 3)\nt/sub/b.c:1:7: 6 symbols (limit 5)\n", .status = 1,
         .setup = TWO_FILES + configIn("t", "max-symbols = 3\\nexclude = [\"b.c\"]\\n") + configIn("t/sub", "max-symbols = 5\\n") + "true"},
    Case{.name = "FileAboveTheArgumentCounts", .args = {"--check", "t/sub"},
         .expected = "t/sub/b.c:1:5: 6 symbols (limit 3)\n", .status = 1,
         .setup = TWO_FILES + configIn(".", "max-symbols = 3\\n") + "true"},
    Case{.name = "NamedFileByItsDirectorysFile", .args = {"--check", "t/sub/b.c", "-"}, .input = "int ab;\n",
         .expected = "t/sub/b.c:1:5: 6 symbols (limit 3)\n-:1:6: 6 symbols (limit 4)\n", .status = 1,
         .setup = TWO_FILES + configIn("t", "max-symbols = 3\\n") + configIn(".", "max-symbols = 4\\n") + "true"},
    Case{.name = "StopsAtTheWorkTreesTop", .args = {"--check", "r"}, .expected = "", .errors = NO_LIMIT, .status = 2,
         .setup = configIn(".", "max-symbols = 3\\n") + "git init -q r && echo 'int ab;' > r/a.c"},
    Case{.name = "ConfigOptionNamesTheFile", .args = {"--check", "--config=other.toml", "t"},
         .expected = "t/a.c:1:7: 6 symbols (limit 5)\n", .status = 1,
         .setup = TWO_FILES + configIn("t/sub", "max-symbols = 3\\n") +
                  "printf 'max-symbols = 5\\n[[override]]\\npaths = [\"sub/\"]\\nmax-symbols = \"off\"\\n' > other.toml"},
    Case{.name = "NoConfigReadsNone", .args = {"--check", "--no-config", "t"}, .expected = "", .errors = NO_LIMIT,
         .status = 2, .setup = TWO_FILES + configIn("t", "max-symbols = 3\\n") + "true"},
    Case{.name = "NoConfigPassesOverABrokenFile", .args = {"--no-config", "--max-symbols=5", "t"},
         .expected = "t/a.c:1:7: 6 symbols (limit 5)\nt/sub/b.c:1:7: 6 symbols (limit 5)\n", .status = 1,
         .setup = TWO_FILES + configIn("t", "max-symbols = \\n") + "true"},
    Case{.name = "ConfigWithNoConfigIsUsageError", .args = {"--config=a.toml", "--no-config", "t"}, .expected = "",
         .errors = "cmeasure: options '--config' and '--no-config' cannot be used together\n" + TRY_HELP, .status = 2},
    Case{.name = "FileNeverTurnsFiguresIntoAGate", .args = {"t/sub"}, .expected =
         "lines  densest_line  max_symbols  identifiers  code  comment  blank  path\n"
         "    1             1            6            2     1        0      0  t/sub/b.c\n",
         .setup = TWO_FILES + configIn("t", "max-symbols = 3\\n") + "true"}
), caseName);

INSTANTIATE_TEST_SUITE_P(ConfigPrecedence, ProgramTest, testing::Values(
    Case{.name = "CommandLineLimitOverFileAndOverrides", .args = {"--max-symbols=4", "t"},
         .expected = "t/a.c:1:6: 6 symbols (limit 4)\nt/sub/b.c:1:6: 6 symbols (limit 4)\n", .status = 1,
         .setup = TWO_FILES + configIn("t", "max-symbols = 3\\n[[override]]\\npaths = [\"sub\"]\\nmax-symbols = 9\\n") + "true"},
    Case{.name = "LastOverrideThatMatchesWins", .args = {"--check", "t"},
         .expected = "t/a.c:1:6: 6 symbols (limit 4)\nt/sub/b.c:1:7: 6 symbols (limit 5)\n", .status = 1,
         .setup = TWO_FILES + configIn("t", "max-symbols = 3\\n[[override]]\\npaths = [\"sub/\"]\\nmax-symbols = 5\\n"
                                            "[[override]]\\npaths = [\"*.c\", \"!b.c\"]\\nmax-symbols = 4\\n") + "true"},
    Case{.name = "OverrideOffPassesADirectory", .args = {"--check", "t"}, .expected = "",
         .setup = TWO_FILES + configIn("t", "max-symbols = 6\\n[[override]]\\npaths = [\"/sub/\"]\\nmax-symbols = \"off\"\\n") +
                  "echo 'int abc;' > t/sub/b.c"},
    Case{.name = "DialectOfHeadersByOverride", .args = {"--json", "t"},
         .expected = "{\"path\": \"t/a.h\", \"lines\": 1, \"line_with_max_symbols\": 1, \"max_symbols\": 10, \"identifiers\": 0, "
                     "\"code_lines\": 1, \"comment_lines\": 0, \"blank_lines\": 0}\n"
                     "{\"path\": \"t/b.c\", \"lines\": 1, \"line_with_max_symbols\": 1, \"max_symbols\": 10, \"identifiers\": 1, "
                     "\"code_lines\": 1, \"comment_lines\": 0, \"blank_lines\": 0}\n"
                     "{\"total\": true, \"files\": 2, \"lines\": 2, \"identifiers\": 1, \"code_lines\": 2, \"comment_lines\": 0, "
                     "\"blank_lines\": 0, \"max_symbols\": 10, \"path\": \"t/a.h\", \"line_with_max_symbols\": 1}\n",
         .setup = "mkdir t && echo 'R\"x(a b)x\";' > t/a.h && cp t/a.h t/b.c && " +
                  configIn("t", "[[override]]\\npaths = [\"*.h\"]\\ndialect = \"c++\"\\n") + "true"},
    // "f(" and ");", and one for the literal: 5 symbols of code, 21 in all
    Case{.name = "SymbolsOfTheFileAndOfAnOverride", .args = {"--json", "t"},
         .expected = "{\"path\": \"t/a.c\", \"lines\": 1, \"line_with_max_symbols\": 1, \"max_symbols\": 5, \"identifiers\": 1, \"code_lines\": 1, \"comment_lines\": 0, \"blank_lines\": 0}\n"
                     "{\"path\": \"t/sub/b.c\", \"lines\": 1, \"line_with_max_symbols\": 1, \"max_symbols\": 21, \"identifiers\": 1, \"code_lines\": 1, \"comment_lines\": 0, \"blank_lines\": 0}\n"
                     "{\"total\": true, \"files\": 2, \"lines\": 2, \"identifiers\": 2, \"code_lines\": 2, \"comment_lines\": 0, "
                     "\"blank_lines\": 0, \"max_symbols\": 21, \"path\": \"t/sub/b.c\", \"line_with_max_symbols\": 1, \"symbols\": \"mixed\"}\n",
         .setup = CALLS + configIn("t", "symbols = \"code\"\\n[[override]]\\npaths = [\"sub\"]\\nsymbols = \"all\"\\n") + "true"},
    Case{.name = "SymbolsOptionOverTheFile", .args = {"--symbols=code", "--max-symbols=4", "t"},
         .expected = "t/a.c:1:17: 5 symbols (limit 4)\nt/sub/b.c:1:17: 5 symbols (limit 4)\n", .status = 1,
         .setup = CALLS + configIn("t", "[[override]]\\npaths = [\"sub\"]\\nsymbols = \"all\"\\n") + "true"},
    Case{.name = "CodeSymbolsSaidInTheTotal", .args = {"--symbols=code", "--json", "t/a.c"},
         .expected = "{\"path\": \"t/a.c\", \"lines\": 1, \"line_with_max_symbols\": 1, \"max_symbols\": 5, \"identifiers\": 1, \"code_lines\": 1, \"comment_lines\": 0, \"blank_lines\": 0}\n"
                     "{\"total\": true, \"files\": 1, \"lines\": 1, \"identifiers\": 1, \"code_lines\": 1, \"comment_lines\": 0, \"blank_lines\": 0, "
                     "\"max_symbols\": 5, \"path\": \"t/a.c\", \"line_with_max_symbols\": 1, \"symbols\": \"code\"}\n",
         .setup = CALLS + "true"},
    // The code, comment and blank lines are the lines', whatever symbols count.
    Case{.name = "CodeSymbolsLeaveTheLineClasses", .args = {"--symbols=code", "--json", "t/c.c"},
         .expected = "{\"path\": \"t/c.c\", \"lines\": 3, \"line_with_max_symbols\": 3, \"max_symbols\": 5, \"identifiers\": 1, "
                     "\"code_lines\": 1, \"comment_lines\": 1, \"blank_lines\": 1}\n"
                     "{\"total\": true, \"files\": 1, \"lines\": 3, \"identifiers\": 1, \"code_lines\": 1, \"comment_lines\": 1, "
                     "\"blank_lines\": 1, \"max_symbols\": 5, \"path\": \"t/c.c\", \"line_with_max_symbols\": 3, \"symbols\": \"code\"}\n",
         .setup = "mkdir t && printf '/* a note */\\n\\nf(\"x\");\\n' > t/c.c"},
    Case{.name = "ExtAndExcludeOfTheFileUntilTheCommandLine", .args = {"--list", "t"}, .expected = "t/a.cc\n",
         .setup = "mkdir -p t/skip && touch t/a.c t/a.cc t/skip/b.cc && " +
                  configIn("t", "ext = [\"cc\"]\\nexclude = [\"skip/\"]\\n") + "true"},
    Case{.name = "ExtOfTheCommandLineOverTheFile", .args = {"--list", "--ext=c", "--exclude=a.c", "t"}, .expected = "",
         .setup = "mkdir -p t/skip && touch t/a.c t/a.cc t/skip/b.cc && " +
                  configIn("t", "ext = [\"cc\"]\\nexclude = [\"skip/\"]\\n") + "true"}
), caseName);

// Each fault: the file named, with its line where there is one, status 2,
// and nothing on standard output.
Case fault(const char *name, const std::string &setup, const std::string &errors, bool unprivileged = false)
{
    return Case{.name = name, .args = {"--check", "t"}, .expected = "", .errors = errors, .status = 2,
                .setup = "mkdir t && echo 'int ab;' > t/a.c && " + setup + (setup.ends_with("&& ") ? "true" : ""),
                .unprivileged = unprivileged};
}

INSTANTIATE_TEST_SUITE_P(ConfigFaults, ProgramTest, testing::Values(
    fault("NotToml", configIn("t", "max-symbols = 3\\nrules = \\n"),
          "cmeasure: t/.cmeasure.toml:2: Error while parsing key-value pair: expected value, saw '\\\\n'\n"),
    fault("NotUtf8", configIn("t", "max-symbols = 3\\n# \\377\\n"), "cmeasure: t/.cmeasure.toml:2: not valid UTF-8\n"),
    fault("ADirectory", "mkdir t/.cmeasure.toml", "cmeasure: t/.cmeasure.toml: Is a directory\n"),
    fault("AFifo", "mkfifo t/.cmeasure.toml", "cmeasure: t/.cmeasure.toml: not a regular file\n"),
    fault("Unreadable", configIn("t", "max-symbols = 3\\n") + "chmod 0 t/.cmeasure.toml",
          "cmeasure: t/.cmeasure.toml: Permission denied\n", true),
    fault("Huge", "head -c 1048577 /dev/zero | tr '\\\\0' '#' > t/.cmeasure.toml",
          "cmeasure: t/.cmeasure.toml: larger than 1 MiB, which no configuration needs\n"),
    fault("KeyTwice", configIn("t", "max-symbols = 3\\nmax-symbols = 4\\n"),
          "cmeasure: t/.cmeasure.toml:2: Error while parsing key-value pair: cannot redefine existing integer 'max-symbols'\n"),
    fault("MisspeltKey", configIn("t", "max_symbols = 3\\n"), "cmeasure: t/.cmeasure.toml:1: unknown key 'max_symbols'\n"),
    fault("UnknownKeyOfOverride", configIn("t", "max-symbols = 3\\n[[override]]\\npaths = [\"a\"]\\ndialects = \"c\"\\n"),
          "cmeasure: t/.cmeasure.toml:4: unknown key 'dialects' in [[override]]\n"),
    fault("WrongType", configIn("t", "max-symbols = \"3\"\\n"),
          "cmeasure: t/.cmeasure.toml:1: key 'max-symbols' must be a number of symbols, 0 or more, or \"off\"\n"),
    fault("InvalidOverridePattern", configIn("t", "max-symbols = 3\\n[[override]]\\npaths = [\"*.c\", \"[ab\"]\\n"),
          "cmeasure: t/.cmeasure.toml:3: invalid pattern '[ab' in 'paths': a '[' is not closed\n"),
    fault("MenuLimitPast359", configIn("t", "rules = \"menu\"\\nmax-symbols = 360\\n"),
          "cmeasure: t/.cmeasure.toml:2: key 'max-symbols' must be at most 359 with rules = \"menu\"\n"),
    fault("MenuRulesCountingCodeAlone", configIn("t", "max-symbols = 3\\nrules = \"menu\"\\nsymbols = \"code\"\\n"),
          "cmeasure: t/.cmeasure.toml:3: key 'symbols' must be \"all\" with rules = \"menu\"\n"),
    fault("MenuRulesWithAnOverrideCountingCodeAlone",
          configIn("t", "rules = \"menu\"\\n[[override]]\\npaths = [\"a\"]\\nsymbols = \"code\"\\n"),
          "cmeasure: t/.cmeasure.toml:4: key 'symbols' must be \"all\" with rules = \"menu\"\n"),
    Case{.name = "CodeSymbolsOptionUnderAFileOfMenuRules", .args = {"--symbols=code", "t"}, .expected = "",
         .errors = "cmeasure: t/.cmeasure.toml: --symbols=code needs C's rules: the file sets rules = \"menu\"\n",
         .status = 2, .setup = "mkdir t && echo 'int ab;' > t/a.c && " + configIn("t", "rules = \"menu\"\\n") + "true"},
    fault("CheckWithoutLimit", configIn("t", "ext = [\"c\"]\\n"),
          "cmeasure: t/.cmeasure.toml: --check needs a limit: the file has no 'max-symbols'\n"),
    // Found by the walk below the argument: said in its place, its files
    // not measured, the others are.
    Case{.name = "FaultBelowTheArgumentInItsPlace", .args = {"--check", "t"},
         .expected = "t/a.c:1:5: 6 symbols (limit 3)\ncmeasure: t/sub/.cmeasure.toml:1: unknown key 'limit'\n",
         .status = 2, .setup = TWO_FILES + configIn("t", "max-symbols = 3\\n") + configIn("t/sub", "limit = 5\\n") + "true",
         .oneStream = true}
), caseName);

// A baseline written from the tree's top: later runs read it from anywhere.
const std::string LONG = "int a = b + c + d + e;";  // 13 symbols
const std::string BASELINED = "mkdir t && printf 'int x;\\n" + LONG + "\\n" + LONG + "\\n' > t/a.c && " +
                              configIn("t", "max-symbols = 10\\nbaseline = \"base.txt\"\\n") +
                              CMEASURE_PATH " --check --write-baseline=t/base.txt t 2>/dev/null && ";

Case baseline(const char *name, const std::string &edit, const std::string &expected, int status,
              const std::string &errors = "")
{
    return Case{.name = name, .args = {"--check", "t"}, .expected = expected, .errors = errors, .status = status,
                .setup = BASELINED + edit};
}

INSTANTIATE_TEST_SUITE_P(Baseline, ProgramTest, testing::Values(
    Case{.name = "WrittenSortedRelativeToItsDirectory",
         .expected = "# cmeasure baseline 1\na.c\t" + LONG + "\na.c\t" + LONG +
                     "\nsub/b c.c\tint\\tyy = 1 + 2 + 3 + 4;\n# end of baseline\n",
         .errors = "cmeasure: 3 lines over the limit recorded in ../base.txt\n",
         .setup = "mkdir -p t/sub && printf 'int\\tyy = 1 + 2 + 3 + 4;\\n' > 't/sub/b c.c' && printf '" + LONG +
                  "\\nx;\\n" + LONG + "\\n' > t/a.c",
         .shell = "cd t/sub && cmeasure --max-symbols=10 --write-baseline=../base.txt .. && cat ../base.txt"},
    baseline("NextRunPasses", "true", "", 0),
    baseline("MovedLinesStayIn", "sed -i '1i /* new */' t/a.c", "", 0),
    baseline("ChangedLineIsNew", "sed -i '2s/e;/f;/' t/a.c", "t/a.c:2:19: 13 symbols (limit 10)\n", 1,
             "cmeasure: 1 baseline entry no longer found\n"),
    baseline("ThirdOfTwoIdenticalLinesIsNew", "echo '" + LONG + "' >> t/a.c", "t/a.c:4:19: 13 symbols (limit 10)\n", 1),
    baseline("RemovedLineCountedAsNoLongerFound", "sed -i 3d t/a.c", "", 0, "cmeasure: 1 baseline entry no longer found\n"),
    Case{.name = "OptionOverTheFile", .args = {"--check", "--baseline=empty.txt", "t"},
         .expected = "t/a.c:2:19: 13 symbols (limit 10)\nt/a.c:3:19: 13 symbols (limit 10)\n", .status = 1,
         .setup = BASELINED + "printf '# cmeasure baseline 1\\n# end of baseline\\n' > empty.txt"},
    Case{.name = "SecondWriteLeavesTheFileAsItWas", .expected = "",
         .setup = BASELINED + "cp t/base.txt first.txt",
         .shell = "cmeasure --check --write-baseline=t/base.txt t 2>/dev/null && cmp first.txt t/base.txt"},
    // Line 2 changed and is not in the baseline; line 4 is in neither the
    // change nor the baseline; lines 3 and 5 are in the baseline.
    Case{.name = "WithNewFromRevBothMustReport", .args = {"--check", "--new-from-rev=HEAD", "t"},
         .expected = "t/a.c:2:19: 13 symbols (limit 10)\n", .status = 1,
         .setup = BASELINED + "echo 'int zz = 1 + 2 + 3 + 4 + 5;' >> t/a.c && git init -q && git add t && "
                  "git -c user.name=t -c user.email=t@t commit -qm t && sed -i '2s/e;/f;/' t/a.c && "
                  "echo '" + LONG + "' >> t/a.c"},
    baseline("TruncatedIsAFault", "head -c 30 t/base.txt > cut && mv cut t/base.txt", "", 2,
             "cmeasure: t/base.txt:2: truncated: the line has no end\n"),
    baseline("CutAtALineIsAFault", "sed -i '$d' t/base.txt", "", 2,
             "cmeasure: t/base.txt:3: truncated: the baseline has no end line\n"),
    baseline("AnotherVersionIsAFault", "sed -i '1s/1/2/' t/base.txt", "", 2,
             "cmeasure: t/base.txt:1: a baseline of another version, which this cmeasure does not read\n"),
    baseline("PathNoLongerThereIsAFault", "mv t/a.c t/b.c", "", 2,
             "cmeasure: t/base.txt:2: 'a.c' no longer exists: write the baseline again with --write-baseline\n")
), caseName);

// Every form of the gate's report takes each file's limit from its own
// configuration, and leaves out the lines the baseline holds, as the text
// does: the forms differ only in how they write the same findings. Paths
// are relative to the directory of the run, which is in no work tree.
const std::string EVERY_FORM =
    "for f in json github; do cmeasure --check --format=$f t; done; "
    "cmeasure --check --format=gitlab t | jq -c '.[] | [.location.path, .location.lines.begin, .description]'; "
    "cmeasure --check --format=sarif t | jq -c '.runs[0] | .tool.driver.rules[0].properties.limit, (.results[] | "
    "[.locations[0].physicalLocation | .artifactLocation.uri, .region.startLine, .region.startColumn], .message.text)'";

INSTANTIATE_TEST_SUITE_P(ConfigInEveryForm, ProgramTest, testing::Values(
    Case{.name = "EachFilesLimit",
         .expected = "{\"path\": \"t/a.c\", \"line\": 1, \"column\": 5, \"symbols\": 6, \"limit\": 3}\n"
                     "{\"path\": \"t/sub/b.c\", \"line\": 1, \"column\": 7, \"symbols\": 6, \"limit\": 5}\n"
                     "::error file=t/a.c,line=1,col=5,title=cmeasure::6 symbols (limit 3)\n"
                     "::error file=t/sub/b.c,line=1,col=7,title=cmeasure::6 symbols (limit 5)\n"
                     "[\"t/a.c\",1,\"6 symbols (limit 3)\"]\n[\"t/sub/b.c\",1,\"6 symbols (limit 5)\"]\n"
                     "3\n[\"t/a.c\",1,5]\n\"6 symbols (limit 3)\"\n[\"t/sub/b.c\",1,7]\n\"6 symbols (limit 5)\"\n",
         .setup = TWO_FILES + configIn("t", "max-symbols = 3\\n") + configIn("t/sub", "max-symbols = 5\\n") + "true",
         .shell = EVERY_FORM},
    Case{.name = "BaselinedLinesInNone",
         .expected = "{\"path\": \"t/a.c\", \"line\": 4, \"column\": 18, \"symbols\": 11, \"limit\": 10}\n"
                     "::error file=t/a.c,line=4,col=18,title=cmeasure::11 symbols (limit 10)\n"
                     "[\"t/a.c\",4,\"11 symbols (limit 10)\"]\n"
                     "10\n[\"t/a.c\",4,18]\n\"11 symbols (limit 10)\"\n",
         .setup = BASELINED + "echo 'int y = 1 + 2 + 3;' >> t/a.c",
         .shell = EVERY_FORM}
), caseName);

} // namespace

namespace {

// An override pattern that could never match is refused, rather than taken
// for one that matches nothing: a set left open, a backslash with nothing
// to quote, a comment, a line break, a pattern of no name.
struct PatternCase {
    const char *name;
    std::string pattern;
    bool valid;
};

void PrintTo(const PatternCase &c, std::ostream *os)
{
    *os << c.name;
}

class PatternTest : public testing::TestWithParam<PatternCase> {};

TEST_P(PatternTest, ValidOnlyWhenItCanMatch)
{
    std::string why;
    EXPECT_EQ(cli::config::validPattern(GetParam().pattern, why), GetParam().valid) << why;
    EXPECT_EQ(why.empty(), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(Config, PatternTest, testing::ValuesIn(std::vector<PatternCase>{
    {"SetClosed", "[ab].c", true},
    {"SetOpen", "[ab", false},
    {"BracketFirstInSetIsAMember", "[]a]", true},
    {"BracketFirstInNegatedSet", "[!]]", true},
    {"ClassInsideSet", "[[:alpha:]]*", true},
    {"ClassWithoutTheSetsEnd", "[[:alpha:]", false},
    {"EscapedBracketNoSet", "\\[ab", true},
    {"EscapedBracketInsideSet", "[\\]]", true},
    {"TrailingBackslash", "a\\", false},
    {"EscapedBackslashAtTheEnd", "a\\\\", true},
    {"Comment", "#x.c", false},
    {"EscapedHashIsAName", "\\#x.c", true},
    {"LineBreak", "a\nb", false},
    {"ZeroByte", std::string("a\0b", 3), false},
    {"Empty", "", false},
    {"NegationAlone", "!", false},
    {"SlashAlone", "/", false},
    {"AnchoredDirectory", "/gen/", true},
}), [](const auto &info) { return std::string(info.param.name); });

// A baseline written and read again gives back every path and text, bytes
// that are escaped in the file among them, and matches each line by its
// text: a tab, a backslash, a CR inside a line, invalid UTF-8, a format
// character, and two lines alike.
TEST(Baseline, WrittenAndReadBackWhateverTheBytes)
{
    char directory[] = "/tmp/cmeasure-baseline-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    const std::string base = std::string(directory) + "/b.txt";
    const std::vector<std::string> texts = {"a\tb", "back\\slash", "cr\rinside", "\xff\xfe", "\xe2\x80\xae", "same",
                                            "same"};
    const std::string file = std::string(directory) + "/t\tx.c";
    ASSERT_EQ(std::system(("printf '%s' '' > '" + file + "'").c_str()), 0);
    std::vector<std::pair<std::string, std::string>> entries;
    for (const std::string &text : texts)
        entries.emplace_back("t\tx.c", text);
    ASSERT_EQ(cli::config::writeBaseline(base, entries), 0);
    std::string error;
    const std::unique_ptr<cli::config::Baseline> read = cli::config::Baseline::read(base, error);
    ASSERT_NE(read, nullptr) << error;
    std::vector<std::string> back;
    for (const std::string_view text : read->linesOf("t\tx.c"))
        back.emplace_back(text);
    std::vector<std::string> sorted = texts;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(back, sorted);
    EXPECT_TRUE(read->linesOf("t").empty());
    std::system(("rm -rf " + std::string(directory)).c_str());
}

} // namespace
