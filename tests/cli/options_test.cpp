// What the options become: every form of a value, the cap on -j, suffixes
// with a dot, and paths around options. Each row is parsed right after a
// parse that stopped in the middle of "-xj", so a parser that kept its
// place from one call to the next would fail it.
#include <cstdint>
#include <cstdlib>
#include <optional>

#include <gtest/gtest.h>

#include "options.h"

namespace {

using namespace cli;

struct ParseCase {
    const char *name;
    std::vector<std::string> args;
    unsigned jobs = 0;
    std::int64_t maxSymbols = -1;
    Rules rules = Rules::C;
    std::vector<std::string> extensions = {"c", "h"};
    std::vector<std::string> cxxExtensions = {};
    std::vector<std::string> paths = {};
    std::optional<std::string> newFromRev = {};
    Form form = Form::Table;
};

void PrintTo(const ParseCase &c, std::ostream *os)
{
    *os << c.name;
}

Parsed parse(std::vector<std::string> args, Options &options, std::string &error)
{
    args.insert(args.begin(), "cmeasure");
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    return parseOptions(static_cast<int>(args.size()), argv.data(), options, error);
}

class ParseTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, GivesTheOptions)
{
    const ParseCase &c = GetParam();
    Options options;
    std::string error;
    ASSERT_EQ(parse({"-xj"}, options, error), Parsed::USAGE_ERROR);
    // Paths keep their place among options even where POSIX asks getopt to
    // stop at the first.
    setenv("POSIXLY_CORRECT", "1", 1);
    options = {};
    const Parsed parsed = parse(c.args, options, error);
    unsetenv("POSIXLY_CORRECT");
    ASSERT_EQ(parsed, Parsed::RUN) << error;
    EXPECT_EQ(options.jobs, c.jobs);
    EXPECT_EQ(options.form, c.form);
    EXPECT_EQ(options.maxSymbols, c.maxSymbols);
    EXPECT_EQ(options.rules, c.rules);
    EXPECT_EQ(options.extensions, c.extensions);
    EXPECT_EQ(options.cxxExtensions, c.cxxExtensions);
    EXPECT_EQ(options.paths, c.paths);
    EXPECT_EQ(options.newFromRev, c.newFromRev);
}

INSTANTIATE_TEST_SUITE_P(Options, ParseTest, testing::Values(
    ParseCase{.name = "JobsGlued", .args = {"-j4"}, .jobs = 4},
    ParseCase{.name = "JobsSeparate", .args = {"-j", "5"}, .jobs = 5},
    ParseCase{.name = "JobsLongWithEquals", .args = {"--jobs=6"}, .jobs = 6},
    ParseCase{.name = "JobsLongSeparate", .args = {"--jobs", "7"}, .jobs = 7},
    ParseCase{.name = "JobsAbbreviated", .args = {"--jo=08"}, .jobs = 8},
    ParseCase{.name = "JobsAtTheCap", .args = {"-j256"}, .jobs = 256},
    ParseCase{.name = "JobsJustAboveTheCap", .args = {"-j257"}, .jobs = 256},
    ParseCase{.name = "JobsBeyondAnyInteger", .args = {"-j", "99999999999999999999999999"}, .jobs = 256},
    ParseCase{.name = "ExtensionsLoseOneLeadingDot", .args = {"--ext=.c,h,..x"}, .extensions = {"c", "h", ".x"}},
    ParseCase{.name = "SuffixWithCharactersOfNeitherPatternNorPath", .args = {"--ext=c+,h!,]x,\\y"},
              .extensions = {"c+", "h!", "]x", "\\y"}},
    ParseCase{.name = "RepeatedExtensionsAddUp", .args = {"--ext=c", "--ext", ".h,y", "a", "--ext=z"},
              .extensions = {"c", "h", "y", "z"}, .paths = {"a"}},
    ParseCase{.name = "CxxSuffixesAddUpAndLeaveTheWalksAlone", .args = {"--cxx-ext=.h,inl", "--cxx", "CUH"},
              .cxxExtensions = {"h", "inl", "CUH"}},
    ParseCase{.name = "SarifAfterTheLimit", .args = {"--max-symbols=5", "--sarif"}, .maxSymbols = 5, .form = Form::Sarif},
    ParseCase{.name = "SarifBeforeTheLimitAbbreviated", .args = {"--sa", "--max-symbols=5"}, .maxSymbols = 5, .form = Form::Sarif},
    ParseCase{.name = "RevisionAbbreviatedGlued", .args = {"--new=HEAD~1", "--max-symbols=0"}, .maxSymbols = 0,
              .newFromRev = "HEAD~1", .form = Form::Text},
    ParseCase{.name = "RevisionSeparate", .args = {"--new-from-rev", "@{upstream}", "--max-symbols", "9"}, .maxSymbols = 9,
              .newFromRev = "@{upstream}", .form = Form::Text},
    ParseCase{.name = "RevisionWithoutTheLimitForTheFigures", .args = {"--new-from-rev=v1", "-s", "."}, .paths = {"."},
              .newFromRev = "v1"},
    ParseCase{.name = "SymbolLimitZero", .args = {"--max-symbols=0"}, .maxSymbols = 0, .form = Form::Text},
    ParseCase{.name = "SymbolLimitHighestWithLeadingZerosAbbreviatedSeparate", .args = {"--max-s", "000359"}, .maxSymbols = 359, .form = Form::Text},
    ParseCase{.name = "MenuRulesHighestLimitAfterTheRules", .args = {"--rules=menu", "--max-symbols=359"}, .maxSymbols = 359,
              .rules = Rules::Menu, .form = Form::Text},
    ParseCase{.name = "MenuRulesHighestLimitBeforeTheRules", .args = {"--max-symbols=359", "--rul", "menu"}, .maxSymbols = 359,
              .rules = Rules::Menu, .form = Form::Text},
    ParseCase{.name = "CRulesLimitAboveAPiece", .args = {"--max-symbols=360"}, .maxSymbols = 360, .form = Form::Text},
    ParseCase{.name = "CRulesLimitOfAThousand", .args = {"--max-symbols=1000", "--rules=menu", "--rules=c"}, .maxSymbols = 1000, .form = Form::Text},
    ParseCase{.name = "CRulesHighestLimit", .args = {"--max-symbols=" + std::to_string(INT64_MAX)}, .maxSymbols = INT64_MAX, .form = Form::Text},
    ParseCase{.name = "JsonAbbreviated", .args = {"--js"}, .form = Form::Json},
    ParseCase{.name = "FormatOfFiguresSeparate", .args = {"--format", "csv"}, .form = Form::Csv},
    ParseCase{.name = "FormatOfFiguresAbbreviated", .args = {"--form=markdown"}, .form = Form::Markdown},
    ParseCase{.name = "FormatJsonWithItsShortForm", .args = {"--json", "--format=json"}, .form = Form::Json},
    ParseCase{.name = "FormatOfTheGateBeforeTheLimit", .args = {"--format=github", "--max-symbols=3"}, .maxSymbols = 3,
              .form = Form::Github},
    ParseCase{.name = "FormatSarifWithItsShortForm", .args = {"--max-symbols=3", "--sarif", "--format=sarif"},
              .maxSymbols = 3, .form = Form::Sarif},
    ParseCase{.name = "FormatGitlab", .args = {"--max-symbols=3", "--format=gitlab"}, .maxSymbols = 3,
              .form = Form::Gitlab},
    ParseCase{.name = "FormatTextNamedAsTheDefault", .args = {"--max-symbols=3", "--format=text"}, .maxSymbols = 3,
              .form = Form::Text},
    ParseCase{.name = "CheckTakesTheFormsOfTheGate", .args = {"--check", "--format=gitlab"}, .form = Form::Gitlab},
    ParseCase{.name = "HistogramInJsonByFormat", .args = {"--histogram", "--format=json"}, .form = Form::Json},
    ParseCase{.name = "HistogramWithALimitInText", .args = {"--max-symbols=4", "--histogram"}, .maxSymbols = 4,
              .form = Form::Text},
    ParseCase{.name = "TopInTextNamed", .args = {"--format=text", "--top=2"}, .form = Form::Text},
    ParseCase{.name = "TopInJsonByItsShortForm", .args = {"--top=2", "--json"}, .form = Form::Json},
    ParseCase{.name = "OptionsAfterPathsDashAndDoubleDash", .args = {"a", "--json", "-", "--", "-j", "--json"},
              .paths = {"a", "-", "-j", "--json"}, .form = Form::Json}
), [](const testing::TestParamInfo<ParseCase> &info) { return std::string(info.param.name); });

// Refused values, and options that need --max-symbols, with what the
// message says.
struct RefusalCase {
    const char *name;
    std::vector<std::string> args;
    std::string error;
};

void PrintTo(const RefusalCase &c, std::ostream *os)
{
    *os << c.name;
}

class RefusalTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, IsAUsageError)
{
    const RefusalCase &c = GetParam();
    Options options;
    std::string error;
    EXPECT_EQ(parse(c.args, options, error), Parsed::USAGE_ERROR);
    EXPECT_EQ(error, c.error);
}

const std::string EXT_HINT = " in extension list\n--ext takes suffixes of names, such as c,h, not patterns";

INSTANTIATE_TEST_SUITE_P(Options, RefusalTest, testing::Values(
    RefusalCase{"SuffixWithAStar", {"--ext=*.c"}, "invalid suffix '*.c'" + EXT_HINT},
    RefusalCase{"SuffixWithAQuestionMark", {"--ext=c,h?"}, "invalid suffix 'h?'" + EXT_HINT},
    RefusalCase{"SuffixWithABracket", {"--ext=.[ch]"}, "invalid suffix '[ch]'" + EXT_HINT},
    RefusalCase{"SuffixWithASlash", {"--ext=src/c"}, "invalid suffix 'src/c'" + EXT_HINT},
    RefusalCase{"SuffixWithASpace", {"--ext=c, h"}, "invalid suffix ' h'" + EXT_HINT},
    RefusalCase{"BadSuffixInARepeatedExt", {"--ext=c", "--ext=*"}, "invalid suffix '*'" + EXT_HINT},
    RefusalCase{"EmptySuffixInARepeatedExt", {"--ext=c", "--ext=h,"}, "invalid extension list: 'h,'"},
    RefusalCase{"CxxSuffixWithAStar", {"--cxx-ext=*.h"},
                "invalid suffix '*.h' in extension list\n--cxx-ext takes suffixes of names, such as c,h, not patterns"},
    RefusalCase{"EmptyCxxSuffix", {"--cxx-ext="}, "invalid extension list: ''"},
    RefusalCase{"SarifWithoutTheLimit", {"--sarif", "a.c"}, "option '--sarif' requires --max-symbols or --check"},
    RefusalCase{"FormatOfTheGateWithoutTheLimit", {"--format=github", "a.c"}, "format 'github' requires --max-symbols or --check"},
    RefusalCase{"FormatTextWithoutAReport", {"--format=text"},
                "format 'text' requires --max-symbols, --check, --histogram or --top"},
    RefusalCase{"FormatOfFiguresWithTheLimit", {"--format=markdown", "--max-symbols=1"},
                "format 'markdown' cannot be used with --max-symbols"},
    RefusalCase{"FormatTableWithTheLimit", {"--max-symbols=1", "--format=table"},
                "format 'table' cannot be used with --max-symbols"},
    RefusalCase{"FormatOfFiguresWithCheck", {"--format=csv", "--check"}, "format 'csv' cannot be used with --check"},
    RefusalCase{"FormatCsvWithHistogram", {"--histogram", "--format=csv"},
                "options '--format=csv' and '--histogram' cannot be combined"},
    RefusalCase{"FormatTableWithHistogram", {"--format=table", "--histogram", "--max-symbols=4"},
                "options '--format=table' and '--histogram' cannot be combined"},
    RefusalCase{"FormatOfTheGateWithTop", {"--top=3", "--max-symbols=1", "--format=github"},
                "options '--format=github' and '--top' cannot be combined"},
    RefusalCase{"SarifWithTop", {"--sarif", "--top=3"}, "options '--sarif' and '--top' cannot be combined"},
    RefusalCase{"FormatCsvWithList", {"--list", "--format=csv"}, "format 'csv' cannot be used with --list"},
    RefusalCase{"FormatAgainstJson", {"--format=csv", "--json"},
                "options '--json' and '--format=csv' cannot be used together"},
    RefusalCase{"JsonAgainstSarifEitherOrder", {"--json", "--sarif", "--max-symbols=1"},
                "options '--sarif' and '--json' cannot be used together"},
    RefusalCase{"FormatAgainstFormat", {"--format=sarif", "--format=gitlab", "--max-symbols=1"},
                "options '--format=sarif' and '--format=gitlab' cannot be used together"},
    RefusalCase{"FormatUnknown", {"--format=xml"},
                "invalid argument 'xml' for '--format'\nValid arguments are 'table', 'json', 'csv', 'markdown', "
                "'text', 'sarif', 'github' and 'gitlab'"},
    RefusalCase{"FormatCaseMatters", {"--format=CSV"},
                "invalid argument 'CSV' for '--format'\nValid arguments are 'table', 'json', 'csv', 'markdown', "
                "'text', 'sarif', 'github' and 'gitlab'"},
    RefusalCase{"FormatWithoutValue", {"--format"}, "option '--format' requires an argument"},
    RefusalCase{"EmptyRevision", {"--max-symbols=1", "--new-from-rev="}, "invalid revision: ''"},
    RefusalCase{"RevisionLikeAnOption", {"--max-symbols=1", "--new-from-rev", "--output=x"}, "invalid revision: '--output=x'"},
    RefusalCase{"RevisionWithoutValue", {"--max-symbols=1", "--new-from-rev"}, "option '--new-from-rev' requires an argument"},
    RefusalCase{"SarifWithValue", {"--max-symbols=1", "--sarif=yes"}, "option '--sarif' doesn't allow an argument"},
    RefusalCase{"MenuRulesLimitOneAboveAPiece", {"--max-symbols=0360", "--rules=menu"}, "invalid symbol limit: '0360'"},
    RefusalCase{"CRulesLimitOneAbove64Bits", {"--max-symbols=9223372036854775808"},
                "invalid symbol limit: '9223372036854775808'"},
    RefusalCase{"RulesUnknown", {"--rules=cpp"}, "invalid argument 'cpp' for '--rules'\nValid arguments are 'c' and 'menu'"},
    RefusalCase{"RulesEmpty", {"--rules="}, "invalid argument '' for '--rules'\nValid arguments are 'c' and 'menu'"},
    RefusalCase{"RulesAbbreviatedValue", {"--rules=m"}, "invalid argument 'm' for '--rules'\nValid arguments are 'c' and 'menu'"},
    RefusalCase{"RulesWithoutValue", {"--rules"}, "option '--rules' requires an argument"},
    RefusalCase{"CodeSymbolsWithMenuRules", {"--symbols=code", "--rules=menu"},
                "options '--symbols=code' and '--rules=menu' cannot be used together"},
    RefusalCase{"CodeSymbolsAfterMenuRules", {"--rules=menu", "a.c", "--symbols=code"},
                "options '--symbols=code' and '--rules=menu' cannot be used together"},
    RefusalCase{"SymbolsUnknown", {"--symbols=comments"},
                "invalid argument 'comments' for '--symbols'\nValid arguments are 'all' and 'code'"},
    RefusalCase{"AbbreviationOfNoIgnoreAndNewFromRev", {"--n"},
                "option '--n' is ambiguous; possibilities: '--no-ignore' '--new-from-rev' '--no-config'"}
), [](const testing::TestParamInfo<RefusalCase> &info) { return std::string(info.param.name); });

} // namespace
