// The walk's ignore rules against git itself: random trees in fresh work
// trees, with random rules files drawn from the whole pattern syntax; the
// files the program measures must be those that git lists as untracked and
// not ignored. Then the same with --exclude, against git given the same
// patterns. HOME is a private directory, so no user's configuration counts.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "random_text.h"
#include "wildmatch.h"

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
const std::vector<std::string> STEMS = {"a", "b", "ab", "main", "x y", "#c", "!d", "[e]", "f?", "a ", "T"};
const std::vector<std::string> EXTENSIONS = {".c", ".h", ".c", ".o", ".txt"};
const std::vector<std::string> SEGMENTS = {
    "a", "b", "build", "src", "ab.c", "main.h", "*", "*.c", "*.h", "a*", "?", "?.c", "[ab]*", "[!a]*", "[^b].c",
    "[a-c]*", "[[:alpha:]]*.h", "[[:digit:][:upper:]].c", "\\#c.c", "\\#d", "\\!d.c", "\\!e", "*.[ch]", "\\[e].c",
    "[[]f]", "x\\ y", "x?y", "g\\*", "**", "T.?", "a .c", "[]]", "*b*", "c", "c\\ ", "c "};

std::string pattern(Rng &rng)
{
    std::string line = pick(rng, 0, 4) == 0 ? "!" : "";
    line += std::vector<std::string>{"", "", "", "/", "**/"}[pick(rng, 0, 4)];
    for (int k = pick(rng, 1, 3); k > 0; k--)
        line += SEGMENTS[pick(rng, 0, static_cast<int>(SEGMENTS.size()) - 1)] + (k > 1 ? "/" : "");
    line += std::vector<std::string>{"", "", "", "/", "/**", "/**/*.c", "  ", "\\ ", "\\ \\  "}[pick(rng, 0, 8)];
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
    void TearDown() override { fs::remove_all(scratch_); }

    // The excludes file of git's configuration, or its default, in one of
    // the ways a user sets it, or none.
    void excludesFile(Rng &rng, const fs::path &repository)
    {
        fs::remove_all(home_);
        fs::create_directories(home_);
        switch (pick(rng, 0, 3)) {
        case 1:
            write(repository / ".git/config", "[core]\n\texcludesFile = " + (home_ / "mine").string() + "\n");
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

// Git's untracked files that it does not ignore, against the walk of the
// root and of a subdirectory that git does not ignore either.
TEST_F(GitIgnore, WalkListsWhatGitListsAsUntrackedAndNotIgnored)
{
    const unsigned first = std::getenv("CMEASURE_SEED") ? std::stoul(std::getenv("CMEASURE_SEED")) : 1;
    int subdirectories = 0;
    for (unsigned seed = first; seed < first + 100 && !HasFailure(); seed++) {
        Rng rng(seed);
        const fs::path root = scratch_ / std::to_string(seed);
        makeTree(rng, root, 0);
        capture({"git", "init", "-q"}, root);
        if (pick(rng, 0, 1) == 0)
            write(root / ".git/info/exclude", rules(rng));
        excludesFile(rng, root);
        const std::string listed = capture({"git", "ls-files", "-z", "--others", "--exclude-standard"}, root);
        EXPECT_EQ(measured({}, root, "."), gitList(listed)) << "seed " << seed << "\n" << describe(root);

        std::vector<fs::path> directories;
        for (const auto &entry : fs::recursive_directory_iterator(root))
            if (entry.is_directory() && entry.path().filename() != ".git" &&
                entry.path().string().find("/.git/") == std::string::npos)
                directories.push_back(fs::relative(entry.path(), root));
        if (directories.empty())
            continue;
        const std::string below = directories[pick(rng, 0, static_cast<int>(directories.size()) - 1)].string();
        int ignored = 0;
        capture({"git", "check-ignore", "-q", below}, root, &ignored);
        if (ignored == 1) {
            subdirectories++;
            EXPECT_EQ(measured({}, root, below), gitList(listed, below + "/")) << "seed " << seed << ", " << below;
        }
    }
    EXPECT_GT(subdirectories, 20);
}

// --exclude patterns against git given the same patterns: alone (with
// --no-ignore, and outside any work tree, where .gitignore files mean
// nothing), and as if they ended the root's .gitignore.
TEST_F(GitIgnore, ExcludedAsGitExcludesTheSamePatterns)
{
    const unsigned first = std::getenv("CMEASURE_SEED") ? std::stoul(std::getenv("CMEASURE_SEED")) : 1;
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
// corners, classes, "**" inside a name, a trailing backslash, and a run of
// stars deeper than the matcher follows.
struct Glob {
    const char *pattern;
    const char *text;
    bool pathname;
    bool matches;
};

class Wildmatch : public testing::TestWithParam<Glob> {};

TEST_P(Wildmatch, AnswersAsGit)
{
    const Glob &glob = GetParam();
    EXPECT_EQ(wildmatch(glob.pattern, glob.text, glob.pathname), glob.matches) << glob.pattern << " " << glob.text;
}

INSTANTIATE_TEST_SUITE_P(GitCases, Wildmatch, testing::Values(
    Glob{"[[:space:]]", " ", true, true}, Glob{"[[:space:]]", "\v", true, false},
    Glob{"[[:xdigit:]]x", "Fx", true, true}, Glob{"[[:bogus:]]", "a", true, false},
    Glob{"[[:alpha:]", "a", true, false}, Glob{"[a-]", "-", true, true},
    Glob{"[\\]]", "]", true, true}, Glob{"[!]-]", "a", true, true},
    Glob{"a**b", "a/b", true, false}, Glob{"a**b", "axxb", true, true},
    Glob{"a/**/b", "a/b", true, true}, Glob{"**/b", "x/y/b", true, true},
    Glob{"a\\", "a", true, false}, Glob{"*/b", "a/x/b", true, false},
    Glob{"[a-c]-x", "b-x", false, true}, Glob{"*", "a/b", false, true},
    Glob{"*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", true, false}));

} // namespace
