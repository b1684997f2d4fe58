// The settings read from git's configuration answer: each answer fed whole,
// byte by byte, and cut in two at every byte (every 997th of a long one),
// so that an entry, a key or a driver's command may end in any piece.
#include <gtest/gtest.h>

#include "find/settings.h"

namespace {

using cli::worktree::Settings;
using namespace std::string_literals;

struct SettingsCase {
    const char *name;
    std::string answer;
    std::optional<std::string> excludesFile;
    bool ignoreCase;
    std::set<std::string> drivers;
    bool read = true; // false: an entry too long
};

void PrintTo(const SettingsCase &c, std::ostream *os)
{
    *os << c.name;
}

class SettingsTest : public testing::TestWithParam<SettingsCase> {};

void expectRead(const SettingsCase &c, const std::vector<std::string_view> &pieces, const std::string &how)
{
    Settings settings;
    bool read = true;
    for (std::string_view piece : pieces)
        read = read && settings.feed(piece);
    EXPECT_EQ(read, c.read) << how;
    if (!c.read)
        return;
    EXPECT_EQ(settings.excludesFile, c.excludesFile) << how;
    EXPECT_EQ(settings.ignoreCase, c.ignoreCase) << how;
    EXPECT_EQ(settings.filterDrivers, c.drivers) << how;
}

TEST_P(SettingsTest, ReadInAnyPieces)
{
    const SettingsCase &c = GetParam();
    const std::string_view answer = c.answer;
    expectRead(c, {answer}, "whole");
    std::vector<std::string_view> bytes;
    for (std::size_t at = 0; at < answer.size(); at++)
        bytes.push_back(answer.substr(at, 1));
    expectRead(c, bytes, "byte by byte");
    for (std::size_t cut = 1; cut < answer.size(); cut += answer.size() < 1000 ? 1 : 997)
        expectRead(c, {answer.substr(0, cut), answer.substr(cut)}, "cut at " + std::to_string(cut));
}

const std::string LONG = std::string(100000, 'x');
const std::string LONGEST = std::string(Settings::MOST_ENTRY_BYTES - 18, 'x'); // "core.excludesfile\n" before it

INSTANTIATE_TEST_SUITE_P(Settings, SettingsTest, testing::Values(
    SettingsCase{"NothingSet", "", std::nullopt, false, {}},
    // A key without a value is true; the last value set wins.
    SettingsCase{"IgnoreCaseWithoutValue", "core.ignorecase\0"s, std::nullopt, true, {}},
    SettingsCase{"IgnoreCaseLastWins", "core.ignorecase\nTrue\0core.ignorecase\n0\0"s, std::nullopt, false, {}},
    SettingsCase{"IgnoreCaseNumber", "core.ignorecase\n-2\0"s, std::nullopt, true, {}},
    SettingsCase{"ExcludesFileAsItStands", "core.excludesfile\n~/x\ny\0"s, "~/x\ny", false, {}},
    SettingsCase{"ExcludesFileWithoutValue", "core.excludesfile\n/a\0core.excludesfile\0"s, "", false, {}},
    // The name is all between "filter." and the last dot: capitals and
    // dots kept; filter.KEY and an empty name make none.
    SettingsCase{"DriversByName", "filter.a.clean\ncat\0filter.a.smudge\ncat\0filter.My.Dot.process\nx\n\0"
                                  "filter.required\ntrue\0filter..clean\nx\0filter.b.required\0"s,
                 std::nullopt, false, {"a", "My.Dot", "b"}},
    // A driver's command of any length, its key kept whatever the cut.
    SettingsCase{"LongCommandThenExcludesFile", "filter.long.clean\n" + LONG + "\0core.excludesfile\n/e\0"s, "/e",
                 false, {"long"}},
    SettingsCase{"LongestExcludesFile", "core.excludesfile\n" + LONGEST + "\0"s, LONGEST, false, {}},
    SettingsCase{"ExcludesFileTooLong", "core.excludesfile\n" + LONGEST + "x\0"s, std::nullopt, false, {}, false},
    // An entry git did not end is not one.
    SettingsCase{"UnendedEntryLeftOut", "core.ignorecase\ntrue\0core.ignorecase\nfalse"s, std::nullopt, true, {}}
), [](const testing::TestParamInfo<SettingsCase> &info) { return std::string(info.param.name); });

} // namespace

namespace {

// A configuration file is plain only where git would take its defaults
// from it and not fail: a row per rule, a plain file beside each that is not.
struct PlainCase {
    const char *name;
    std::string text;
    bool plain;
};

void PrintTo(const PlainCase &c, std::ostream *os)
{
    *os << c.name;
}

class PlainConfigurationTest : public testing::TestWithParam<PlainCase> {};

TEST_P(PlainConfigurationTest, PlainOnlyWhereGitKeepsItsDefaults)
{
    EXPECT_EQ(cli::worktree::isPlainConfiguration(GetParam().text), GetParam().plain) << GetParam().text;
}

const std::string INIT = "[core]\n\trepositoryformatversion = 0\n\tfilemode = true\n\tbare = false\n\tlogallrefupdates = true\n";

INSTANTIATE_TEST_SUITE_P(Settings, PlainConfigurationTest, testing::Values(
    PlainCase{"Empty", "", true},
    PlainCase{"AsGitInitWritesIt", INIT, true},
    PlainCase{"BlankLinesCommentsAndCrlf", "# x\n\n; y\r\n[core] ; z\r\n  bare=false # w\r\n", true},
    PlainCase{"NamesInAnyCase", "[CORE]\n\tBare = FALSE\n[User]\n\tEMAIL = a@b\n", true},
    PlainCase{"SectionsOfOtherCommands", "[user]\n\tname = A B\n[remote \"origin\"]\n\turl = https://x/y.git\n"
                                         "\tfetch = +refs/heads/*:refs/remotes/origin/*\n[branch \"main\"]\n\tremote = origin\n"
                                         "[credential \"https://x\"]\n\thelper = store\n[init]\n\tdefaultBranch = main\n"
                                         "[gc]\n\tauto = 0\n[merge]\n\tconflictStyle = diff3\n[url \"git@x:\"]\n\tinsteadOf = https://x/\n", true},
    PlainCase{"FormatOneReadable", "[core]\nrepositoryformatversion = 1\n", true},
    // What git would take from it, or make a work tree of.
    PlainCase{"ExcludesFile", INIT + "\texcludesFile = ~/x\n", false},
    PlainCase{"IgnoreCase", "[core]\n\tignorecase = false\n", false},
    PlainCase{"Bare", "[core]\n\tbare = true\n", false},
    PlainCase{"WorkTree", "[core]\n\tworktree = /x\n", false},
    PlainCase{"Include", "[include]\n\tpath = x\n", false},
    PlainCase{"IncludeIf", "[includeIf \"gitdir:/x/\"]\n\tpath = x\n", false},
    PlainCase{"Extensions", "[extensions]\n\tobjectFormat = sha256\n", false},
    PlainCase{"FilterDriver", "[filter \"lfs\"]\n\tclean = git-lfs clean\n", false},
    PlainCase{"FormatGitCannotRead", "[core]\n\trepositoryformatversion = 2\n", false},
    // What every command checks, or git could not parse.
    PlainCase{"OtherCoreKey", "[core]\n\tabbrev = 12\n", false},
    PlainCase{"CoreNumberForAWord", "[core]\n\tfilemode = 1\n", false},
    PlainCase{"UserKeyGitChecks", "[user]\n\tuseConfigOnly = maybe\n", false},
    PlainCase{"UnknownSection", "[push]\n\tdefault = nowhere\n", false},
    PlainCase{"BranchSettingEveryCommandChecks", "[branch]\n\tautosetupmerge = banana\n", false},
    PlainCase{"ColorSettingEveryCommandChecks", "[color]\n\tpager = banana\n", false},
    PlainCase{"KeyBeforeAnySection", "bare = false\n", false},
    PlainCase{"KeyWithoutValue", "[pull]\n\trebase\n", false},
    PlainCase{"KeyOnTheHeadersLine", "[core] bare = true\n", false},
    PlainCase{"HeaderUnclosed", "[core\n", false},
    PlainCase{"DottedSubsection", "[remote.origin]\n\turl = x\n", false},
    PlainCase{"QuotedValue", "[alias]\n\tst = \"status\"\n", false},
    PlainCase{"ValueContinued", "[alias]\n\tst = sta\\\ntus\n", false},
    PlainCase{"EscapedSubsection", "[branch \"a\\\"b\"]\n\tremote = x\n", false},
    PlainCase{"KeyNotAName", "[user]\n\tna_me = x\n", false}
), [](const testing::TestParamInfo<PlainCase> &info) { return std::string(info.param.name); });

} // namespace
