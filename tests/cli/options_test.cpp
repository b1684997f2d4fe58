// What the options become: every form of a value, the cap on -j, suffixes
// with a dot, and paths around options. Each row is parsed right after a
// parse that stopped in the middle of "-xj", so a parser that kept its
// place from one call to the next would fail it.
#include <cstdlib>

#include <gtest/gtest.h>

#include "options.h"

namespace {

using namespace cli;

struct ParseCase {
    const char *name;
    std::vector<std::string> args;
    unsigned jobs = 0;
    bool json = false;
    int maxSymbols = -1;
    std::vector<std::string> extensions = {"c", "h"};
    std::vector<std::string> paths = {};
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
    EXPECT_EQ(options.json, c.json);
    EXPECT_EQ(options.maxSymbols, c.maxSymbols);
    EXPECT_EQ(options.extensions, c.extensions);
    EXPECT_EQ(options.paths, c.paths);
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
    ParseCase{.name = "SymbolLimitZero", .args = {"--max-symbols=0"}, .maxSymbols = 0},
    ParseCase{.name = "SymbolLimitHighestWithLeadingZerosAbbreviatedSeparate", .args = {"--max", "000359"}, .maxSymbols = 359},
    ParseCase{.name = "JsonAbbreviated", .args = {"--js"}, .json = true},
    ParseCase{.name = "OptionsAfterPathsDashAndDoubleDash", .args = {"a", "--json", "-", "--", "-j", "--json"}, .json = true,
              .paths = {"a", "-", "-j", "--json"}}
), [](const testing::TestParamInfo<ParseCase> &info) { return std::string(info.param.name); });

} // namespace
