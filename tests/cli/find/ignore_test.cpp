// The walk's ignore rules against git itself: random trees in fresh work
// trees, with random rules files drawn from the whole pattern syntax; the
// files the program measures must be those that git lists as untracked and
// not ignored. Then the same with --exclude, against git given the same
// patterns. HOME is a private directory, so no user's configuration counts.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <fcntl.h>
#include <ostream>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "config/config_file.h"
#include "find/git.h"
#include "find/ignore_rules.h"
#include "find/settings.h"
#include "program.h"
#include "random_text.h"
#include "find/wildmatch.h"
#include "seed.h"

using cli::wildmatch;

namespace {

namespace fs = std::filesystem;
using randomtext::pick;
using randomtext::Rng;
using Files = std::set<std::string>;

// Runs `argv` in `directory` and returns what it writes on standard output.
std::string capture(const std::vector<std::string> &argv, const fs::path &directory, int *status = nullptr)
{
    int out[2];
    if (pipe(out) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char *> args;
        for (const std::string &arg : argv)
            args.push_back(const_cast<char *>(arg.c_str()));
        args.push_back(nullptr);
        dup2(out[1], 1);
        close(out[0]);
        if (chdir(directory.c_str()) == 0)
            execvp(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char block[4096];
    for (ssize_t got; (got = read(out[0], block, sizeof block)) > 0;)
        text.append(block, static_cast<size_t>(got));
    close(out[0]);
    int waited = 0;
    waitpid(child, &waited, 0);
    if (status != nullptr)
        *status = WIFEXITED(waited) ? WEXITSTATUS(waited) : -1;
    return text;
}

// The non-hidden .c and .h files among git's NUL-separated list, below `under`.
Files gitList(const std::string &list, const std::string &under = "")
{
    Files files;
    for (size_t at = 0, end; (end = list.find('\0', at)) != std::string::npos; at = end + 1) {
        const std::string path = list.substr(at, end - at);
        if (path.starts_with(under) && (path.ends_with(".c") || path.ends_with(".h")) && path[0] != '.' &&
            path.find("/.") == std::string::npos)
            files.insert(path.substr(under.size()));
    }
    return files;
}

// The files that the program measures below `root`, named from there.
Files measured(std::vector<std::string> args, const fs::path &root, const std::string &argument)
{
    args.insert(args.begin(), {CMEASURE_PATH, "--json", "-j", "1"});
    args.push_back(argument);
    const std::string printed = capture(args, root);
    Files files;
    const std::string start = "{\"path\": \"" + argument + "/";
    for (size_t at = 0; (at = printed.find(start, at)) != std::string::npos; at++)
        files.insert(printed.substr(at + start.size(), printed.find("\", \"lines\"", at) - at - start.size()));
    return files;
}

const std::vector<std::string> DIRECTORIES = {"a", "b", "build", "src", "x y", "#d", "!e", "[f]", "g*", "c "};
// "c", "d" and "C": the last member of the patterns' ranges [a-c] and [A-C],
// and the first past it.
const std::vector<std::string> STEMS = {"a", "b", "ab", "main", "x y", "#c", "!d", "[e]", "f?", "a ", "T", "Main", "AB",
                                        "c", "d", "C"};
const std::vector<std::string> EXTENSIONS = {".c", ".h", ".c", ".o", ".txt"};
const std::vector<std::string> SEGMENTS = {
    "a", "b", "build", "src", "ab.c", "main.h", "*", "*.c", "*.h", "a*", "?", "?.c", "[ab]*", "[!a]*", "[^b].c",
    "[a-c]*", "[[:alpha:]]*.h", "[[:digit:][:upper:]].c", "\\#c.c", "\\#d", "\\!d.c", "\\!e", "*.[ch]", "\\[e].c",
    "[[]f]", "x\\ y", "x?y", "g\\*", "**", "T.?", "a .c", "[]]", "*b*", "c", "c\\ ", "c ", "A*", "MAIN.H", "*.C",
    "[A-C]*", "[[:upper:]]*", "Src", "B", "\\A*", "[a-c].c", "[b-c]", "[!a-c]*"};

std::string pattern(Rng &rng)
{
    std::string line = pick(rng, 0, 4) == 0 ? "!" : "";
    line += std::vector<std::string>{"", "", "", "/", "**/"}[pick(rng, 0, 4)];
    for (int k = pick(rng, 1, 3); k > 0; k--)
        line += SEGMENTS[pick(rng, 0, static_cast<int>(SEGMENTS.size()) - 1)] + (k > 1 ? "/" : "");
    line += std::vector<std::string>{"", "", "", "/", "/**", "/**/*.c", "  ", "\\ ", "\\ \\  ", "/ ", "/  "}[pick(rng, 0, 10)];
    return line;
}

// A rules file of random lines, comments and blank lines among them.
std::string rules(Rng &rng)
{
    const std::string end = pick(rng, 0, 3) == 0 ? "\r\n" : "\n";
    std::string text;
    for (int k = pick(rng, 1, 5); k > 0; k--)
        text += (pick(rng, 0, 9) == 0 ? std::string(pick(rng, 0, 1) ? "# a.c" : "") : pattern(rng)) + end;
    return text;
}

void write(const fs::path &path, const std::string &text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A tree three directories deep at most, with .gitignore files here and there.
void makeTree(Rng &rng, const fs::path &directory, int depth)
{
    if (depth == 0 || pick(rng, 0, 2) > 0)
        write(directory / ".gitignore", rules(rng));
    for (int k = pick(rng, 1, 5); k > 0; k--)
        write(directory / (STEMS[pick(rng, 0, static_cast<int>(STEMS.size()) - 1)] +
                           EXTENSIONS[pick(rng, 0, static_cast<int>(EXTENSIONS.size()) - 1)]),
              "x\n");
    if (depth < 3)
        for (int k = pick(rng, 0, 3); k > 0; k--)
            makeTree(rng, directory / DIRECTORIES[pick(rng, 0, static_cast<int>(DIRECTORIES.size()) - 1)], depth + 1);
}

class GitIgnore : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/cmeasure-ignore-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch_ = pattern;
        home_ = scratch_ / "home";
        setenv("HOME", home_.c_str(), 1);
        setenv("GIT_CONFIG_NOSYSTEM", "1", 1);
        unsetenv("XDG_CONFIG_HOME");
    }
    void TearDown() override
    {
        unsetenv("GIT_CONFIG_NOSYSTEM");
        fs::remove_all(scratch_);
    }

    // The excludes file of git's configuration, or its default, in one of
    // the ways a user sets it, or none.
    void excludesFile(Rng &rng, const fs::path &repository)
    {
        fs::remove_all(home_);
        fs::create_directories(home_);
        switch (pick(rng, 0, 3)) {
        case 1:
            capture({"git", "config", "core.excludesFile", (home_ / "mine").string()}, repository);
            write(home_ / "mine", rules(rng));
            break;
        case 2:
            write(home_ / ".gitconfig", "[core]\n\texcludesFile = ~/global\n");
            write(home_ / "global", rules(rng));
            break;
        case 3:
            write(home_ / ".config/git/ignore", rules(rng));
            break;
        default:
            break;
        }
    }

    fs::path scratch_;
    fs::path home_;
};

std::string describe(const fs::path &root)
{
    std::string text;
    for (const auto &entry : fs::recursive_directory_iterator(root))
        if (entry.path().filename() == ".gitignore" || entry.path().filename() == "exclude") {
            std::ifstream in(entry.path(), std::ios::binary);
            text += entry.path().string() + ":\n" + std::string(std::istreambuf_iterator<char>(in), {});
        }
    return text;
}

// The ways a repository is set up, each checked against git: plain; with
// core.ignoreCase; with its global configuration named by GIT_CONFIG_GLOBAL
// (and a ~/.gitconfig that must not count); as a linked worktree; with
// SHA-256 object names.
enum class Variant { Plain, IgnoreCase, ConfigGlobal, LinkedWorktree, Sha256, COUNT };

const char *variantName(Variant variant)
{
    static const char *const NAMES[] = {"plain", "core.ignoreCase", "GIT_CONFIG_GLOBAL", "linked worktree", "SHA-256"};
    return NAMES[static_cast<int>(variant)];
}

// Makes `root` a work tree of the variant's kind, and returns the directory
// whose .git holds its configuration and info/exclude.
fs::path makeRepository(Variant variant, const fs::path &root, const fs::path &scratch)
{
    fs::create_directories(root);
    if (variant == Variant::LinkedWorktree) {
        const fs::path main = root.string() + "-main";
        fs::create_directories(main);
        capture({"git", "init", "-q"}, main);
        capture({"git", "-c", "user.name=t", "-c", "user.email=t@t", "commit", "-q", "--allow-empty", "-m", "t"}, main);
        capture({"git", "worktree", "add", "-q", root.string()}, main);
        return main;
    }
    if (variant == Variant::Sha256)
        capture({"git", "init", "-q", "--object-format=sha256"}, root);
    else
        capture({"git", "init", "-q"}, root);
    if (variant == Variant::IgnoreCase)
        capture({"git", "config", "core.ignoreCase", "true"}, root);
    if (variant == Variant::ConfigGlobal) {
        write(scratch / "global", "[core]\n\texcludesFile = " + (scratch / "global-ignore").string() + "\n");
        setenv("GIT_CONFIG_GLOBAL", (scratch / "global").c_str(), 1);
    }
    return root;
}

// Git's untracked files that it does not ignore, against the walk of the
// root and of a subdirectory that git does not ignore either.
TEST_F(GitIgnore, WalkListsWhatGitListsAsUntrackedAndNotIgnored)
{
    const unsigned first = testseed::first(1);
    int subdirectories = 0;
    for (unsigned seed = first; seed < first + 125 && !HasFailure(); seed++) {
        Rng rng(seed);
        const fs::path root = scratch_ / std::to_string(seed);
        const auto variant = static_cast<Variant>(seed % static_cast<unsigned>(Variant::COUNT));
        // A plain repository as users have one, the system's configuration
        // read too: there the walk reads git's answer off the files.
        if (variant == Variant::Plain)
            unsetenv("GIT_CONFIG_NOSYSTEM");
        else
            setenv("GIT_CONFIG_NOSYSTEM", "1", 1);
        const fs::path repository = makeRepository(variant, root, scratch_);
        makeTree(rng, root, 0);
        if (pick(rng, 0, 1) == 0)
            write(repository / ".git/info/exclude", rules(rng));
        excludesFile(rng, repository);
        if (variant == Variant::ConfigGlobal)
            write(scratch_ / "global-ignore", rules(rng));
        const std::string listed = capture({"git", "ls-files", "-z", "--others", "--exclude-standard"}, root);
        EXPECT_EQ(measured({}, root, "."), gitList(listed))
            << "seed " << seed << ", " << variantName(variant) << "\n" << describe(root);

        std::vector<fs::path> directories;
        for (const auto &entry : fs::recursive_directory_iterator(root))
            if (entry.is_directory() && entry.path().filename() != ".git" &&
                entry.path().string().find("/.git/") == std::string::npos)
                directories.push_back(fs::relative(entry.path(), root));
        if (!directories.empty()) {
            const std::string below = directories[pick(rng, 0, static_cast<int>(directories.size()) - 1)].string();
            int ignored = 0;
            capture({"git", "check-ignore", "-q", below}, root, &ignored);
            if (ignored == 1) {
                subdirectories++;
                EXPECT_EQ(measured({}, root, below), gitList(listed, below + "/"))
                    << "seed " << seed << ", " << variantName(variant) << ", " << below;
            }
        }
        unsetenv("GIT_CONFIG_GLOBAL");
    }
    EXPECT_GT(subdirectories, 30);
}

// A configuration file the walk takes as plain, without asking git, must
// be one git reads without failing and takes nothing from: random files of
// lines plain and not, as the repository's configuration and as the
// user's, against git's own answers.
const std::vector<std::string> PLAIN_LINES = {
    "[core]", "[CORE]", "[user]", "[remote \"o\"]", "[branch \"m\"]", "[branch]", "[color]", "[init]", "[pull]",
    "[alias]", "[credential]", "[gc]", "[merge]", "[url \"git@x:\"]", "[status]", "autosetupmerge = banana",
    "pager = banana", "auto = banana", "insteadOf = https://x/",
    "[http \"https://x\"]", "[safe]", "\trepositoryformatversion = 0", "repositoryformatversion = 1", "\tbare = false",
    "filemode = true", "\tfilemode = False", "logallrefupdates = true", "symlinks = false", "\tname = A B",
    "email = a@b", "url = /r", "remote = o", "defaultBranch = m", "rebase = true", "st = status", "helper = store",
    "directory = *", "sslVerify = false", "# c", "; c", "", "  "};
const std::vector<std::string> OTHER_LINES = {
    "[core \"x\"]", "[push]", "[include]", "[filter \"f\"]", "[extensions]", "bare = true", "ignorecase = true",
    "excludesfile = /x", "worktree = /w", "path = /nonexistent", "objectformat = sha256", "clean = cat",
    "useConfigOnly = true", "abbrev = 9", "default = nothing", "repositoryformatversion = 2"};

TEST_F(GitIgnore, PlainConfigurationIsOneGitTakesNothingFrom)
{
    // First settings that every git command checks, in sections whose
    // other settings it leaves alone; then random files.
    std::vector<std::string> texts = {"[branch]\n\tautosetupmerge = banana\n", "[color]\n\tpager = banana\n",
                                      "[user]\n\tuseConfigOnly = banana\n", "[core]\n\tfilemode = banana\n",
                                      "[push]\n\tdefault = banana\n", "[pack]\n\tcompression = banana\n"};
    const unsigned first = testseed::first(1);
    for (unsigned seed = first; seed < first + 150; seed++) {
        Rng rng(seed);
        std::string &text = texts.emplace_back();
        for (int k = pick(rng, 1, 8); k > 0; k--) {
            const std::vector<std::string> &lines = pick(rng, 0, 7) == 0 ? OTHER_LINES : PLAIN_LINES;
            text += lines[pick(rng, 0, static_cast<int>(lines.size()) - 1)] + "\n";
        }
    }
    int plain = 0;
    for (std::size_t at = 0; at < texts.size() && !HasFailure(); at++) {
        const std::string &text = texts[at];
        if (!cli::worktree::isPlainConfiguration(text))
            continue;
        plain++;
        const fs::path root = scratch_ / std::to_string(at);
        fs::create_directories(root);
        capture({"git", "init", "-q"}, root);
        fs::remove_all(home_);
        write(at % 2 == 0 ? root / ".git/config" : home_ / ".gitconfig", text);
        int status = 0;
        EXPECT_EQ(capture({"git", "rev-parse", "--is-inside-work-tree", "--show-cdup"}, root, &status), "true\n\n")
            << "file " << at << ":\n" << text;
        EXPECT_EQ(status, 0) << "file " << at << ":\n" << text;
        EXPECT_EQ(capture({"git", "config", "--null", "--get-regexp", cli::worktree::SETTINGS_PATTERN}, root, &status), "")
            << "file " << at << ":\n" << text;
        EXPECT_EQ(status, 1) << "file " << at << ":\n" << text;
    }
    EXPECT_GT(plain, 20);
}

// --exclude patterns against git given the same patterns: alone (with
// --no-ignore, and outside any work tree, where .gitignore files mean
// nothing), and as if they ended the root's .gitignore.
TEST_F(GitIgnore, ExcludedAsGitExcludesTheSamePatterns)
{
    const unsigned first = testseed::first(1);
    for (unsigned seed = first; seed < first + 60 && !HasFailure(); seed++) {
        Rng rng(seed);
        const fs::path root = scratch_ / std::to_string(seed);
        makeTree(rng, root, 0);
        capture({"git", "init", "-q"}, root);
        excludesFile(rng, root);
        std::vector<std::string> excludes;
        std::string patterns;
        for (int k = pick(rng, 1, 4); k > 0; k--) {
            excludes.push_back("--exclude=" + pattern(rng));
            patterns += excludes.back().substr(10) + "\n";
        }
        write(scratch_ / "patterns", patterns);
        const Files alone = gitList(capture(
            {"git", "ls-files", "-z", "--others", "--exclude-from=" + (scratch_ / "patterns").string()}, root));
        std::vector<std::string> noIgnore = excludes;
        noIgnore.emplace_back("--no-ignore");
        EXPECT_EQ(measured(noIgnore, root, "."), alone) << "seed " << seed << "\n" << patterns;

        std::ifstream in(root / ".gitignore", std::ios::binary);
        const std::string own(std::istreambuf_iterator<char>(in), {});
        write(root / ".gitignore", own + "\n" + patterns);
        const Files after = gitList(capture({"git", "ls-files", "-z", "--others", "--exclude-standard"}, root));
        write(root / ".gitignore", own);
        EXPECT_EQ(measured(excludes, root, "."), after) << "seed " << seed << "\n" << patterns << describe(root);

        fs::rename(root / ".git", scratch_ / "away");
        EXPECT_EQ(measured(excludes, root, "."), alone) << "seed " << seed << " outside git\n" << patterns;
        fs::remove_all(scratch_ / "away");
    }
}

} // namespace

namespace {

// What the random patterns seldom reach: git's own answers for bracket
// corners, classes, "**" inside a name, a trailing backslash, a run of
// stars deeper than the matcher follows, and case folding (where a set's
// plain member and an escaped letter stay as written).
struct Glob {
    const char *name;
    const char *pattern;
    const char *text;
    bool pathname;
    bool matches;
    bool ignoreCase = false;
};

void PrintTo(const Glob &glob, std::ostream *os)
{
    *os << glob.name;
}

class Wildmatch : public testing::TestWithParam<Glob> {};

TEST_P(Wildmatch, AnswersAsGit)
{
    const Glob &glob = GetParam();
    EXPECT_EQ(cli::wildmatch(glob.pattern, glob.text, glob.pathname, glob.ignoreCase), glob.matches)
        << glob.pattern << " " << glob.text;
}

INSTANTIATE_TEST_SUITE_P(GitCases, Wildmatch, testing::Values(
    Glob{"SpaceClass", "[[:space:]]", " ", true, true}, Glob{"VerticalTabNotSpace", "[[:space:]]", "\v", true, false},
    Glob{"XdigitClass", "[[:xdigit:]]x", "Fx", true, true}, Glob{"UnknownClass", "[[:bogus:]]", "a", true, false},
    Glob{"UnclosedClass", "[[:alpha:]", "a", true, false}, Glob{"TrailingDashMember", "[a-]", "-", true, true},
    Glob{"EscapedBracket", "[\\]]", "]", true, true}, Glob{"NegatedBracketDash", "[!]-]", "a", true, true},
    Glob{"DoubleStarInNameStopsAtSlash", "a**b", "a/b", true, false}, Glob{"DoubleStarInName", "a**b", "axxb", true, true},
    Glob{"StarStarSlashMatchesNone", "a/**/b", "a/b", true, true}, Glob{"LeadingStarStar", "**/b", "x/y/b", true, true},
    Glob{"TrailingBackslash", "a\\", "a", true, false}, Glob{"StarStopsAtSlash", "*/b", "a/x/b", true, false},
    Glob{"RangeWithoutPathname", "[a-c]-x", "b-x", false, true},
    Glob{"RangeHoldsItsFirst", "[a-c]", "a", true, true}, Glob{"RangeHoldsItsLast", "[a-c]", "c", true, true},
    Glob{"RangeEndsAtItsLast", "[a-c]", "d", true, false}, Glob{"RangeBeginsAtItsFirst", "[b-c]", "a", true, false},
    Glob{"NegatedRangeLeavesOutItsLast", "[!a-c]", "c", true, false}, Glob{"StarCrossesSlashWithoutPathname", "*", "a/b", false, true},
    Glob{"DeepStars", "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", true, false},
    Glob{"FoldedLiteral", "Build", "bUILD", true, true, true}, Glob{"UnfoldedLiteral", "Build", "build", true, false},
    Glob{"FoldedStarLiteral", "*.C", "x.c", true, true, true}, Glob{"FoldedRange", "[A-C]x", "bx", true, true, true},
    Glob{"FoldedUpperClass", "[[:upper:]]", "q", true, true, true},
    Glob{"SetMemberNotFolded", "[A]", "A", true, false, true},
    Glob{"EscapedLetterNotFolded", "\\A", "a", true, false, true}), [](const auto &info) {
        return std::string(info.param.name);
    });

// A pattern without a '/' in its cheapest form (a literal name, "*" and a
// suffix, a prefix and "*") against the full matcher, on random names and
// patterns of both cases, with and without case folding.
TEST(IgnorePatternForms, AnswerAsTheFullMatcher)
{
    const unsigned first = testseed::first(1);
    for (unsigned seed = first; seed < first + 2000 && !HasFailure(); seed++) {
        Rng rng(seed);
        const auto draw = [&rng](const std::string &from, int most) {
            std::string text;
            for (int k = pick(rng, 0, most); k > 0; k--)
                text += from[pick(rng, 0, static_cast<int>(from.size()) - 1)];
            return text;
        };
        const std::string glob = std::vector<std::string>{"*", "", ""}[pick(rng, 0, 2)] + draw("aAb.", 3) +
                                 std::vector<std::string>{"*", "", "", "?"}[pick(rng, 0, 3)];
        const std::string name = draw("aAb.", 5);
        const bool ignoreCase = pick(rng, 0, 1) == 1;
        cli::ignore::PatternList list;
        list.addLines(glob);
        const bool expected = !glob.empty() && cli::wildmatch(glob, name, false, ignoreCase);
        EXPECT_EQ(list.verdict(name, name, false, ignoreCase) == cli::ignore::Verdict::Excluded, expected)
            << "seed " << seed << ": " << glob << " against " << name << (ignoreCase ? ", case folded" : "");
    }
}

// Patterns that try exponentially many ways to split a text: each must
// answer under a generous cap (a hang is killed by the alarm), and still
// match when the text ends as the pattern asks.
struct Slow {
    const char *name;
    std::string pattern;
    std::string text;
    bool matches;
    bool pathname = true; // false for a pattern without '/', matched against a last name
};

std::string times(const std::string &text, int count)
{
    std::string all;
    while (count-- > 0)
        all += text;
    return all;
}

void PrintTo(const Slow &slow, std::ostream *os)
{
    *os << slow.name;
}

class SlowPattern : public testing::TestWithParam<Slow> {};

TEST_P(SlowPattern, AnswersWithinTheCap)
{
    const Slow &slow = GetParam();
    const pid_t child = fork();
    if (child == 0) {
        alarm(30);
        _exit(cli::wildmatch(slow.pattern, slow.text, slow.pathname) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "no answer in 30 s: " << slow.pattern;
    EXPECT_EQ(WEXITSTATUS(status) == 1, slow.matches);
}

INSTANTIATE_TEST_SUITE_P(Patterns, SlowPattern, testing::Values(
    Slow{"StarStarSlashTenTimesNoMatch", times("**/", 10) + "b", times("a/", 30) + "x.c", false},
    Slow{"StarStarSlashTenTimesMatch", times("**/", 10) + "x.c", times("a/", 30) + "x.c", true},
    Slow{"StarFortyTimesNoMatch", times("a*", 40) + "b", times("a", 240), false, false},
    Slow{"StarFortyTimesMatch", times("a*", 40) + "b", times("a", 240) + "b", true, false},
    Slow{"StarFortyTimesNoMatchInPath", times("a*", 40) + "b", times("a", 240), false},
    Slow{"StarFortyTimesShortText", times("a*", 40) + "b", times("a", 39) + "b", false}), [](const auto &info) {
        return std::string(info.param.name);
    });

} // namespace

namespace {

// Files of "x\n" each as --json lists them, then their total.
std::string rowsOfX(const std::vector<std::string> &paths)
{
    std::string rows;
    for (const std::string &path : paths)
        rows += "{\"path\": \"" + path +
                "\", \"lines\": 1, \"line_with_max_symbols\": 1, \"max_symbols\": 1, \"identifiers\": 1, "
                "\"code_lines\": 1, \"comment_lines\": 0, \"blank_lines\": 0}\n";
    const std::string n = std::to_string(paths.size());
    return rows + "{\"total\": true, \"files\": " + n + ", \"lines\": " + n + ", \"identifiers\": " + n +
           ", \"code_lines\": " + n + ", \"comment_lines\": 0, \"blank_lines\": 0, \"max_symbols\": 1, \"path\": \"" +
           paths[0] + "\", \"line_with_max_symbols\": 1}\n";
}

const std::string AB = "echo a.c > .gitignore && echo x > a.c && echo x > b.c";

// How the repository and its configuration are found: every source git
// reads, and git's own answer when it fails or is missing.
INSTANTIATE_TEST_SUITE_P(GitRead, ProgramTest, testing::Values(
    Case{.name = "IgnoreCaseFoldsPatterns", .args = {"--json", "."}, .expected = rowsOfX({"./src/keep.c"}),
         .setup = "git init -q && git config core.ignoreCase true && mkdir Build src && echo x > Build/x.c && "
                  "echo x > src/Foo.c && echo x > src/keep.c && printf 'build/\\nfoo.c\\n' > .gitignore"},
    Case{.name = "WorkTreeWhoseTopIsTheRoot", .expected = rowsOfX({"t/c.c"}),
         .setup = "git init -q --bare g.git && echo b.c > g.git/info/exclude && mkdir t && echo a.c > t/.gitignore && "
                  "echo x > t/a.c && echo x > t/b.c && echo x > t/c.c",
         .shell = "GIT_DIR=$PWD/g.git GIT_WORK_TREE=/ cmeasure --json t"},
    Case{.name = "ConfigurationFromEnvironment", .expected = rowsOfX({"./b.c"}),
         .setup = "git init -q && echo a.c > mine && echo x > a.c && echo x > b.c",
         .shell = "GIT_CONFIG_COUNT=1 GIT_CONFIG_KEY_0=core.excludesFile GIT_CONFIG_VALUE_0=$PWD/mine cmeasure --json ."},
    // The configuration comes in one answer with the filter drivers,
    // whose commands may run longer than any setting read here.
    Case{.name = "ExcludesFileAfterALongFilterCommand", .args = {"--json", "."}, .expected = rowsOfX({"./b.c"}),
         .setup = "git init -q && { printf '[filter \"big\"]\\n\\tclean = '; head -c 100000 /dev/zero | tr '\\0' x; echo; } > .gitconfig && "
                  "git config core.excludesFile mine && echo a.c > mine && echo x > a.c && echo x > b.c"},
    // Where the files git reads leave anything in doubt, git is asked: a
    // HEAD that names nothing (git searches on above it), a directory
    // within a bare repository, core.bare, an included file, the
    // configuration under XDG_CONFIG_HOME, a relative HOME.
    Case{.name = "HeadNamingNothingLeavesTheRepositoryAbove", .args = {"--json", "s"}, .expected = rowsOfX({"s/b.c"}),
         .setup = "git init -q && echo a.c > .gitignore && mkdir s && git init -q s && echo nothing > s/.git/HEAD && "
                  "echo x > s/a.c && echo x > s/b.c"},
    Case{.name = "DirectoryInABareRepositoryHasNoRules", .args = {"--json", "b.git/x"},
         .expected = rowsOfX({"b.git/x/a.c", "b.git/x/b.c"}),
         .setup = "git init -q && echo a.c > .gitignore && git init -q --bare b.git && mkdir b.git/x && "
                  "echo x > b.git/x/a.c && echo x > b.git/x/b.c"},
    Case{.name = "CoreBareMakesNoWorkTree", .args = {"--json", "."}, .expected = rowsOfX({"./a.c", "./b.c"}),
         .setup = "git init -q && git config core.bare true && " + AB},
    Case{.name = "IncludedConfigurationCounts", .args = {"--json", "."}, .expected = rowsOfX({"./a.c"}),
         .setup = "git init -q && printf '[include]\\n\\tpath = more\\n' > .gitconfig && "
                  "printf '[core]\\n\\texcludesFile = '$PWD'/mine\\n' > more && echo b.c > mine && "
                  "echo x > a.c && echo x > b.c"},
    Case{.name = "ConfigurationUnderXdgConfigHome", .expected = rowsOfX({"./a.c"}),
         .setup = "git init -q && mkdir -p xdg/git && printf '[core]\\n\\texcludesFile = '$PWD'/mine\\n' > xdg/git/config && "
                  "echo b.c > mine && echo x > a.c && echo x > b.c",
         .shell = "XDG_CONFIG_HOME=$PWD/xdg cmeasure --json ."},
    // A relative HOME is git's from the top of the work tree, not from
    // where the program runs.
    Case{.name = "RelativeHomeTakenAsGitTakesIt", .expected = rowsOfX({"r/s/b.c"}),
         .setup = "git init -q r && mkdir -p r/h r/s && printf '[core]\\n\\texcludesFile = '$PWD'/mine\\n' > r/h/.gitconfig && "
                  "echo a.c > mine && echo x > r/s/a.c && echo x > r/s/b.c",
         .shell = "HOME=h cmeasure --json r/s"},
    Case{.name = "CeilingDirectoryHidesRepository", .expected = rowsOfX({"s/a.c"}),
         .setup = "git init -q && echo '*.c' > .gitignore && mkdir s && echo x > s/a.c",
         .shell = "GIT_CEILING_DIRECTORIES=$PWD cmeasure --json s"},
    Case{.name = "LinkedWorktreeWithBrokenConfigKeepsItsRules", .args = {"--json", "w"}, .expected = rowsOfX({"w/b.c"}),
         .errors = "cmeasure: w: git: bad config line 6 in file @/r/.git/config\n", .status = 1,
         .setup = "git init -q r && git -C r -c user.name=t -c user.email=t@t commit -q --allow-empty -m t && "
                  "git -C r worktree add -q ../w && printf '[core\\n' >> r/.git/config && cd w && " + AB},
    Case{.name = "Sha256Repository", .args = {"--json", "."}, .expected = rowsOfX({"./b.c"}),
         .setup = "git init -q --object-format=sha256 && " + AB},
    Case{.name = "NestedMalformedGitFileIsAnOrdinaryDirectory", .args = {"--json", "."},
         .expected = rowsOfX({"./n2/b.c"}),
         .setup = "git init -q && echo a.c > .gitignore && mkdir n2 && echo garbage > n2/.git && echo x > n2/a.c && "
                  "echo x > n2/b.c"},
    Case{.name = "ConfigurationFifoAbandonedInTime", .args = {"--json", "."}, .expected = rowsOfX({"./b.c"}),
         .errors = "cmeasure: .: git: no answer from git in time\n", .status = 1,
         .setup = "git init -q && mkfifo f && git config include.path ../f && " + AB},
    Case{.name = "GitMissingRulesFilesStillRead", .expected = rowsOfX({"./c.c"}),
         .errors = "cmeasure: .: git: cannot run git: No such file or directory; the .gitignore files and "
                   "info/exclude are read without git's configuration\n",
         .status = 1, .setup = "git init -q && echo b.c > .git/info/exclude && echo x > c.c && " + AB,
         .shell = "p=$(command -v cmeasure) && PATH=/nonexistent \"$p\" --json ."}
), caseName);

// The largest resident size of a child that runs the program in `directory`.
long peakKibibytes(const std::vector<std::string> &args, const fs::path &directory)
{
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char *> argv;
        for (const std::string &arg : args)
            argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        const int null = open("/dev/null", O_WRONLY);
        if (null < 0 || dup2(null, 1) != 1 || chdir(directory.c_str()) != 0)
            _exit(127);
        execv(CMEASURE_PATH, argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_maxrss;
}

// A chain d/d/…/x.c of 20 000 directories: with rules active, memory grows
// with the depth as it does without them, not with its square.
TEST(IgnoreDepth, MemoryLinearInDepthWithRules)
{
    // In memory where it can be: 20 000 directories on a busy disk take a minute.
    std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm/cmeasure-depth-XXXXXX" : "/tmp/cmeasure-depth-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path scratch = pattern;
    int at = open(pattern.c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < 20000 && at >= 0; level++) {
        const int next = mkdirat(at, "d", 0700) == 0 ? openat(at, "d", O_RDONLY | O_DIRECTORY) : -1;
        close(at);
        at = next;
    }
    ASSERT_GE(at, 0);
    const int file = openat(at, "x.c", O_WRONLY | O_CREAT, 0600);
    EXPECT_EQ(::write(file, "x\n", 2), 2);
    close(file);
    close(at);
    const long without = peakKibibytes({"cmeasure", "--json", "--no-ignore", "d"}, scratch);
    const long with = peakKibibytes({"cmeasure", "--json", "--exclude=x", "d"}, scratch);
    EXPECT_EQ(std::system(("rm -rf " + scratch.string()).c_str()), 0);
    ASSERT_GT(without, 0);
    ASSERT_GT(with, 0);
    EXPECT_LT(with, 2 * without + 32 * 1024) << with << " KiB with rules, " << without << " KiB without";
}

} // namespace

namespace {

// The runner of git: what git writes reaches the sink, its complaint the
// outcome, and a sink that stops ends the run.
struct GitRun {
    const char *name;
    std::vector<std::string> args;
    bool sinkStops;
    bool succeeds;
    const char *output;  // what the output starts with
    const char *message; // what the message holds
};

void PrintTo(const GitRun &run, std::ostream *os)
{
    *os << run.name;
}

class GitRunner : public testing::TestWithParam<GitRun> {};

TEST_P(GitRunner, HandsOverOutputAndStatus)
{
    const GitRun &run = GetParam();
    std::string output;
    const cli::git::Outcome outcome = cli::git::run("/", run.args, [&](std::string_view chunk) {
        output.append(chunk);
        return !run.sinkStops;
    });
    EXPECT_EQ(outcome.succeeded(), run.succeeds);
    EXPECT_EQ(outcome.stopped, run.sinkStops);
    EXPECT_TRUE(output.starts_with(run.output)) << output;
    EXPECT_NE(outcome.message.find(run.message), std::string::npos) << outcome.message;
}

INSTANTIATE_TEST_SUITE_P(Runs, GitRunner, testing::Values(
    GitRun{"AnswerReachesTheSink", {"--version"}, false, true, "git version ", ""},
    GitRun{"FailureGivesItsReason", {"no-such-command"}, false, false, "", "'no-such-command' is not a git command"},
    GitRun{"SinkThatStopsEndsTheRun", {"--version"}, true, false, "git version ", ""}), [](const auto &info) {
        return std::string(info.param.name);
    });

} // namespace

namespace {

// The overrides of a configuration against git given each override's
// patterns: in random trees, a file's limit and dialect must be those of
// the last override whose patterns git would ignore it by, else the file's
// own. A file over any limit reports its limit; a line of C++'s raw string
// counts one identifier fewer in C++ than in C.
struct Override {
    std::string patterns; // one a line, for git
    std::string toml;
    int limit = 0;        // -1: "off", 0: none
    int dialect = 0;      // 1: C, 2: C++, 0: none
};

Override randomOverride(Rng &rng)
{
    Override override;
    std::string paths;
    for (int k = pick(rng, 1, 3); k > 0;) {
        const std::string line = pattern(rng);
        std::string why;
        if (line.find('\'') != std::string::npos || !cli::config::validPattern(line, why))
            continue;
        override.patterns += line + "\n";
        paths += (paths.empty() ? "'" : ", '") + line + "'";
        k--;
    }
    override.toml = "[[override]]\npaths = [" + paths + "]\n";
    if ((override.limit = pick(rng, -1, 3) * 50) != 0)
        override.toml += override.limit < 0 ? "max-symbols = \"off\"\n" : "max-symbols = " + std::to_string(override.limit) + "\n";
    if ((override.dialect = pick(rng, 0, 2)) != 0)
        override.toml += override.dialect == 1 ? "dialect = \"c\"\n" : "dialect = \"c++\"\n";
    return override;
}

void makePlainTree(Rng &rng, const fs::path &directory, int depth)
{
    for (int k = pick(rng, 1, 4); k > 0; k--)
        write(directory / (STEMS[pick(rng, 0, static_cast<int>(STEMS.size()) - 1)] + (pick(rng, 0, 1) ? ".c" : ".h")),
              "R\"x(a b)x\";\n" + std::string(180, 'x') + "\n");
    if (depth < 3)
        for (int k = pick(rng, 0, 3); k > 0; k--)
            makePlainTree(rng, directory / DIRECTORIES[pick(rng, 0, static_cast<int>(DIRECTORIES.size()) - 1)],
                          depth + 1);
}

// Each JSON line's "path" and the number after `key`, the path without "./".
std::map<std::string, int> valuesOf(const std::string &printed, const std::string &key)
{
    std::map<std::string, int> values;
    std::istringstream lines(printed);
    for (std::string line; std::getline(lines, line);) {
        const size_t path = line.find("{\"path\": \"./");
        const size_t value = line.find("\"" + key + "\": ");
        if (path != 0 || value == std::string::npos)
            continue;
        const size_t end = line.find("\", ", 12);
        values[line.substr(12, end - 12)] = std::stoi(line.substr(value + key.size() + 4));
    }
    return values;
}

TEST_F(GitIgnore, OverridesMatchWhatGitIgnoresByTheirPatterns)
{
    const unsigned first = std::getenv("CMEASURE_SEED") ? std::stoul(std::getenv("CMEASURE_SEED")) : 1;
    for (unsigned seed = first; seed < first + 60 && !HasFailure(); seed++) {
        Rng rng(seed);
        const fs::path root = scratch_ / std::to_string(seed);
        makePlainTree(rng, root, 0);
        capture({"git", "init", "-q"}, root);
        fs::create_directories(home_);
        const int top = pick(rng, 0, 1) ? 100 : -1;
        std::string toml = top < 0 ? "max-symbols = \"off\"\n" : "max-symbols = 100\n";
        std::vector<Override> overrides;
        for (int k = pick(rng, 1, 4); k > 0; k--)
            toml += (overrides.emplace_back(randomOverride(rng))).toml;
        write(root / ".cmeasure.toml", toml);
        const Files all = gitList(capture({"git", "ls-files", "-z", "--others"}, root));
        std::map<std::string, int> limits;
        std::map<std::string, int> identifiers;
        for (const std::string &file : all) {
            limits[file] = top;
            identifiers[file] = 2;
        }
        for (const Override &override : overrides) {
            write(scratch_ / "patterns", override.patterns);
            const Files unmatched = gitList(capture(
                {"git", "ls-files", "-z", "--others", "--exclude-from=" + (scratch_ / "patterns").string()}, root));
            for (const std::string &file : all) {
                if (unmatched.count(file) != 0)
                    continue;
                limits[file] = override.limit != 0 ? override.limit : limits[file];
                identifiers[file] = override.dialect != 0 ? 3 - override.dialect : identifiers[file];
            }
        }
        std::erase_if(limits, [](const auto &entry) { return entry.second < 0; });
        const std::string gated = capture({CMEASURE_PATH, "--check", "--json", "-j", "1", "."}, root);
        const std::string figures = capture({CMEASURE_PATH, "--json", "-j", "1", "."}, root);
        EXPECT_EQ(valuesOf(gated, "limit"), limits) << "seed " << seed << "\n" << toml;
        EXPECT_EQ(valuesOf(figures, "identifiers"), identifiers) << "seed " << seed << "\n" << toml;
    }
}

} // namespace
