// The lines a change adds, against git itself: random edit histories in
// fresh repositories (insertions, deletions, replacements, renames, CRLF
// lines, lines without an end, mode changes, new, deleted, staged and
// unstaged files), their diff fed to the parser in
// random pieces; the (path, line) pairs it gives must be the '+' lines of
// the same diff, counted one by one by awk. Then the few forms that random
// histories do not reach.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "changes/changed_lines.h"
#include "model.h"
#include "report/output.h"
#include "random_text.h"
#include "seed.h"

namespace {

namespace fs = std::filesystem;
using cli::changed::ChangedLines;
using cli::changed::LineRange;
using randomtext::pick;
using randomtext::Rng;
using Lines = std::set<std::pair<std::string, Count>>;

const char DIFF[] = "diff -U0 --inter-hunk-context=0 --no-color --no-ext-diff --no-textconv -M --ignore-submodules=all "
                    "--src-prefix=a/ --dst-prefix=b/ ";

// Names with a space (a tab follows it on "+++"), UTF-8 and a byte that is
// not UTF-8 (quoted by git, with octal escapes).
const std::vector<std::string> NAMES = {"a.c", "b.h", "d/c.c", "d/e/f.c", "sp ace.c", "d/\xc3\xa9t\xc3\xa9.c",
                                        "raw\xff.h", "g.c", "d/h h.h"};
// Words and ends of lines: files mix LF and CRLF, and a line may lack its
// end, the last one too.
const std::vector<std::string> WORDS = {"int x;", "}", "{", "", "return 0;", "a", "/* c */"};
const std::vector<std::string> ENDS = {"\n", "\n", "\n", "\r\n", ""};
using File = std::vector<std::string>; // lines with their ends

std::string inQuotes(const std::string &name)
{
    return "'" + name + "'"; // no name here holds a quote
}

// Runs a shell command in `directory`; its standard output.
std::string shell(const fs::path &directory, const std::string &command)
{
    const std::string line = "cd " + inQuotes(directory) + " && " + command;
    FILE *pipe = popen(line.c_str(), "r");
    std::string text;
    char block[4096];
    for (size_t got; pipe != nullptr && (got = fread(block, 1, sizeof block, pipe)) > 0;)
        text.append(block, got);
    EXPECT_EQ(pipe == nullptr ? -1 : pclose(pipe), 0) << line;
    return text;
}

std::string randomLine(Rng &rng)
{
    return WORDS[static_cast<size_t>(pick(rng, 0, 6))] + ENDS[static_cast<size_t>(pick(rng, 0, 4))];
}

void write(const fs::path &path, const File &file)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const std::string &line : file)
        out << line;
}

// Lines inserted, removed and replaced at random places.
void edit(Rng &rng, File &file)
{
    for (int k = pick(rng, 1, 4); k > 0; k--) {
        const auto where = file.begin() + pick(rng, 0, static_cast<int>(file.size()));
        const int action = pick(rng, 0, 2);
        if (action == 0 || where == file.end())
            file.insert(where, pick(rng, 1, 3), randomLine(rng));
        else if (action == 1)
            file.erase(where);
        else
            *where = randomLine(rng);
    }
}

// One random change to a tracked file: removed, renamed (and edited),
// made executable, or edited, staged or not; new names come from `free`.
void change(Rng &rng, const fs::path &root, std::map<std::string, File> &files, const std::string &name,
            std::vector<std::string> &free)
{
    const int action = pick(rng, 0, 5);
    if (action == 0) {
        shell(root, (pick(rng, 0, 1) ? "git rm -q " : "rm ") + inQuotes(name));
        files.erase(name);
    } else if (action == 1 && !free.empty()) {
        const std::string to = free.back();
        free.pop_back();
        fs::create_directories((root / to).parent_path());
        shell(root, "git mv " + inQuotes(name) + " " + inQuotes(to));
        files[to] = files[name];
        files.erase(name);
        edit(rng, files[to]);
        write(root / to, files[to]);
    } else if (action == 2) {
        shell(root, "chmod +x " + inQuotes(name));
    } else {
        edit(rng, files[name]);
        write(root / name, files[name]);
        if (pick(rng, 0, 1) != 0)
            shell(root, "git add " + inQuotes(name));
    }
}

// Git's configuration confined to `scratch`, so that the user's own
// settings cannot change what the random histories show.
void confineGitTo(const fs::path &scratch)
{
    setenv("HOME", scratch.c_str(), 1);
    setenv("GIT_CONFIG_NOSYSTEM", "1", 1);
    unsetenv("XDG_CONFIG_HOME");
}

// The first seed of a randomized test: CMEASURE_SEED, or 1.
unsigned firstSeed()
{
    return testseed::first(1);
}

// A repository with one or two commits, then edits left in the work tree
// and the index; the revision to compare with. With `nested`, the first
// commit also holds a link, a file and a repository of its own (a
// submodule), for replaceAndNest to change.
std::string makeHistory(Rng &rng, const fs::path &root, bool nested = false)
{
    shell(root, "git init -q . && git config user.name t && git config user.email t@t && git config core.safecrlf false && "
                "git config core.autocrlf " + std::string(pick(rng, 0, 3) == 0 ? "true" : "false"));
    if (nested)
        shell(root, "ln -s d link && echo x > plain && git add link plain && git init -q sm && echo 'int s;' > sm/s.c && "
                    "git -C sm add s.c && git -C sm -c user.name=t -c user.email=t@t commit -qm s && git add sm 2>/dev/null");
    std::map<std::string, File> files;
    std::vector<std::string> free = NAMES;
    std::shuffle(free.begin(), free.end(), rng);
    const auto create = [&](int count) {
        for (; count > 0 && !free.empty(); count--, free.pop_back()) {
            for (int k = pick(rng, 0, 25); k > 0; k--)
                files[free.back()].push_back(randomLine(rng));
            write(root / free.back(), files[free.back()]);
            shell(root, "git add " + inQuotes(free.back()));
        }
    };
    create(pick(rng, 1, 5));
    shell(root, "git commit -qm one");
    const bool twoCommits = pick(rng, 0, 1) != 0;
    for (int round = twoCommits ? 2 : 1; round > 0; round--) {
        std::vector<std::string> names;
        for (const auto &[name, file] : files)
            if (pick(rng, 0, 2) != 0)
                names.push_back(name);
        for (const std::string &name : names)
            change(rng, root, files, name, free);
        create(pick(rng, 0, 1));
        if (round == 2)
            shell(root, "git add -A && git commit -q --allow-empty -m two");
    }
    return twoCommits ? "HEAD~1" : "HEAD";
}

// The '+' lines of the diff, each counted from its hunk's first line; the
// paths unquoted by git itself.
Lines addedByAwk(const fs::path &root, const std::string &revision)
{
    const std::string text = shell(root, "LC_ALL=C git -c core.quotePath=false " + std::string(DIFF) + revision +
                                             " | LC_ALL=C awk '/^diff --git /{h=1; next} "
                                             "h && /^[+][+][+] /{p=substr($0,7); sub(/\\t$/,\"\",p); next} "
                                             "/^@@ /{h=0; split($3,c,\",\"); n=substr(c[1],2)+0; next} "
                                             "!h && /^[+]/{print p \"\\t\" n; n++}'");
    Lines lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = text.substr(start, end - start);
        const size_t tab = line.rfind('\t');
        lines.emplace(line.substr(0, tab), std::stoll(line.substr(tab + 1)));
    }
    return lines;
}

Lines addedByParser(Rng &rng, const std::string &diff, ChangedLines &parser)
{
    for (size_t at = 0, size = 0; at < diff.size(); at += size) {
        size = static_cast<size_t>(pick(rng, 1, pick(rng, 0, 1) ? 8 : 300));
        EXPECT_TRUE(parser.feed(std::string_view(diff).substr(at, size))) << parser.error();
    }
    EXPECT_TRUE(parser.finish()) << parser.error();
    Lines lines;
    for (const std::string &name : NAMES) {
        Count previousEnd = 0;
        for (const LineRange &range : parser.ranges(name)) {
            EXPECT_GT(range.first, previousEnd) << name; // sorted, apart and not touching
            previousEnd = range.end();
            for (Count line = range.first; line < range.end(); line++)
                lines.emplace(name, line);
        }
        for (Count line = 0; line <= 40; line++)
            EXPECT_EQ(parser.changed(name, line), lines.contains({name, line})) << name << ":" << line;
    }
    return lines;
}

TEST(ChangedLines, AddedLinesAreTheDiffsPlusLines)
{
    char pattern[] = "/tmp/cmeasure-changed-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path scratch = pattern;
    confineGitTo(scratch);
    const unsigned first = firstSeed();
    for (unsigned seed = first; seed < first + 40 && !HasFailure(); seed++) {
        Rng rng(seed);
        const fs::path root = scratch / std::to_string(seed);
        fs::create_directories(root);
        const std::string revision = makeHistory(rng, root);
        const std::string diff = shell(root, "git " + std::string(DIFF) + revision + " 2>/dev/null");
        ChangedLines parser;
        EXPECT_EQ(addedByParser(rng, diff, parser), addedByAwk(root, revision)) << "seed " << seed << "\n" << diff;
        // The files that exist after the change, as git lists them apart.
        const std::string listed = shell(root, "git diff -z --name-only --diff-filter=d -M " + revision);
        std::set<std::string> present;
        for (size_t start = 0, end; (end = listed.find('\0', start)) != std::string::npos; start = end + 1)
            present.insert(listed.substr(start, end - start));
        for (const std::string &name : NAMES)
            EXPECT_EQ(parser.contains(name), present.contains(name)) << "seed " << seed << " " << name;
    }
    fs::remove_all(scratch);
}

// Files git neither tracks nor ignores, one in a directory of its own, and
// one that it ignores; the .gitignore is left untracked.
void addUntracked(Rng &rng, const fs::path &root)
{
    for (const std::string name : {"new.c", "u dir/new.h", "ign.c"}) {
        File file;
        for (int k = pick(rng, 0, 8); k > 0; k--)
            file.push_back(randomLine(rng));
        write(root / name, file);
    }
    write(root / ".gitignore", {"ign.c\n"});
}

// The link and the file of the first commit become directories of new
// files, which git lists one by one; the submodule's file gets new lines,
// in its work tree and in a commit of its own, which are not gated, and the
// user's configuration asks git to show them. Then the diff
// may name context lines between hunks, which are not added.
void replaceAndNest(Rng &rng, const fs::path &root)
{
    shell(root, "rm link plain && git config --global diff.submodule diff && git config diff.interHunkContext 3");
    for (const std::string name : {"link/l.c", "plain/p.c", "sm/s.c", "sm/t.c"}) {
        File file;
        for (int k = pick(rng, 1, 8); k > 0; k--)
            file.push_back(randomLine(rng));
        write(root / name, file);
    }
    if (pick(rng, 0, 1) != 0)
        shell(root, "git -C sm add t.c && git -C sm -c user.name=t -c user.email=t@t commit -qm t");
}

std::string readAll(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What the gate must report with --new-from-rev: each line over the limit
// of a file on disk that git shows as added, or of a file git lists as
// neither tracked nor ignored, but none of the submodule; then the status,
// which a path that is not there makes 1.
std::string expectedReport(const fs::path &root, const std::string &revision, int limit, bool missing)
{
    const Lines added = addedByAwk(root, revision);
    const std::string listed = shell(root, "git ls-files -z --others --exclude-standard");
    std::set<std::string> untracked;
    for (size_t start = 0, end; (end = listed.find('\0', start)) != std::string::npos; start = end + 1)
        untracked.insert(listed.substr(start, end - start));
    std::set<std::string> reports;
    for (const fs::directory_entry &entry : fs::recursive_directory_iterator(root)) {
        const std::string path = entry.path().lexically_relative(root).string();
        if (!entry.is_regular_file() || path.starts_with(".") || path.starts_with("sm/") ||
            !(path.ends_with(".c") || path.ends_with(".h")))
            continue;
        for (const model::OverLimit &over : model::overLimit(readAll(entry.path()), limit))
            if (untracked.contains(path) || added.contains({path, over.line}))
                reports.insert("./" + cli::printablePath(path) + ":" + std::to_string(over.line) + ":" +
                               std::to_string(over.column) + ": " + std::to_string(over.symbols) + " symbols (limit " +
                               std::to_string(limit) + ")\n");
    }
    std::string text;
    for (const std::string &line : reports)
        text += line;
    return text + "status " + (reports.empty() && !missing ? "0" : "1") + "\n";
}

// The program's report, sorted as expectedReport sorts it; with `missing`,
// two more paths are named that are not there.
std::string gateReport(const fs::path &root, const std::string &revision, int limit, bool missing)
{
    const std::string out = shell(root, std::string(CMEASURE_PATH) + " --rules=menu --max-symbols=" + std::to_string(limit) +
                                            " --new-from-rev=" + revision + " ." + (missing ? " gone.c d/gone" : "") +
                                            " 2>/dev/null; echo \"status $?\"");
    std::multiset<std::string> lines;
    std::string status;
    for (size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = out.substr(start, end - start + 1);
        if (line.starts_with("status "))
            status = line;
        else
            lines.insert(std::move(line));
    }
    std::string text;
    for (const std::string &line : lines)
        text += line;
    return text + status;
}

// End to end: each line over the limit is reported exactly when git shows
// it added, in random edit histories with untracked and ignored files, now
// and then a link and a file replaced by directories, a submodule, and
// paths that are not there.
TEST(ChangedLines, GateReportsTheAddedLinesOverTheLimit)
{
    char pattern[] = "/tmp/cmeasure-newfrom-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path scratch = pattern;
    confineGitTo(scratch);
    const unsigned first = firstSeed();
    for (unsigned seed = first; seed < first + 25 && !HasFailure(); seed++) {
        Rng rng(seed);
        const fs::path root = scratch / std::to_string(seed);
        fs::create_directories(root);
        const bool nested = pick(rng, 0, 2) == 0;
        const std::string revision = makeHistory(rng, root, nested);
        if (nested)
            replaceAndNest(rng, root);
        if (pick(rng, 0, 1) != 0)
            addUntracked(rng, root);
        const int limit = pick(rng, 0, 9);
        const bool missing = pick(rng, 0, 3) == 0;
        EXPECT_EQ(gateReport(root, revision, limit, missing), expectedReport(root, revision, limit, missing))
            << "seed " << seed << ", limit " << limit;
        shell(root, "git config --global --unset diff.submodule; true");
    }
    fs::remove_all(scratch);
}

// The forms random histories do not reach: copies (git diff -C), binary
// files, escapes in quoted names, a diff without its last newline, and
// malformed input. Each is read whole and one byte at a time.
struct DiffCase {
    const char *name;
    std::string diff;
    std::string path;
    std::vector<LineRange> ranges = {};
    bool valid = true;
};

void PrintTo(const DiffCase &c, std::ostream *os)
{
    *os << c.name;
}

class DiffTest : public testing::TestWithParam<DiffCase> {};

TEST_P(DiffTest, GivesThePostImagesLines)
{
    const DiffCase &c = GetParam();
    for (const size_t size : {c.diff.size(), size_t{1}}) {
        ChangedLines parser;
        for (size_t at = 0; at < c.diff.size(); at += size)
            parser.feed(std::string_view(c.diff).substr(at, size));
        ASSERT_EQ(parser.finish(), c.valid) << parser.error();
        if (!c.valid)
            continue;
        EXPECT_TRUE(parser.contains(c.path));
        const std::span<const LineRange> ranges = parser.ranges(c.path);
        EXPECT_EQ(std::vector<LineRange>(ranges.begin(), ranges.end()), c.ranges);
    }
}

INSTANTIATE_TEST_SUITE_P(ChangedLines, DiffTest, testing::Values(
    DiffCase{.name = "CopyNamesTheNewPath", .diff = "diff --git a/x.c b/y.c\nsimilarity index 90%\ncopy from x.c\n"
             "copy to y.c\n--- a/x.c\n+++ b/y.c\n@@ -3 +3 @@\n-a\n+b\n", .path = "y.c", .ranges = {{3, 1}}},
    DiffCase{.name = "PureCopyOfANameWithSpacesHasNoLines", .diff = "diff --git a/x y.c b/y x.c\nsimilarity index 100%\n"
             "copy from x y.c\ncopy to y x.c\n", .path = "y x.c"},
    DiffCase{.name = "BinaryFileIsWhole", .diff = "diff --git a/x.c b/x.c\nindex 1..2 100644\n"
             "Binary files a/x.c and b/x.c differ\n", .path = "x.c", .ranges = {cli::changed::WHOLE_FILE}},
    DiffCase{.name = "QuotedNameWithEveryEscape", .diff = "diff --git \"a/t\\tq\\\"\\\\\\303\\251.c\" \"b/t\\tq\\\"\\\\\\303\\251.c\"\n"
             "new file mode 100644\nindex 0000000..e69de29\n", .path = "t\tq\"\\\xc3\xa9.c"},
    DiffCase{.name = "OmittedCountIsOneAndZeroAddsNothing", .diff = "diff --git a/a.c b/a.c\n--- a/a.c\n+++ b/a.c\n"
             "@@ -0,0 +1 @@\n+x\n@@ -5,2 +6,0 @@\n-y\n-z\n@@ -9 +9,2 @@\n-u\n+v\n+w", .path = "a.c",
             .ranges = {{1, 1}, {9, 2}}},
    DiffCase{.name = "AddedLineThatLooksLikeAHeader", .diff = "diff --git a/a.c b/a.c\n--- a/a.c\n+++ b/a.c\n"
             "@@ -1 +1,2 @@\n-diff --git a/b.c b/b.c\n++++ b/b.c\n+@@ -1 +1,9 @@\n", .path = "a.c", .ranges = {{1, 2}}},
    DiffCase{.name = "MalformedHunkHeader", .diff = "diff --git a/a.c b/a.c\n--- a/a.c\n+++ b/a.c\n@@ -x +1 @@\n",
             .path = "a.c", .valid = false},
    DiffCase{.name = "UnterminatedQuotedName", .diff = "diff --git a/a.c b/a.c\n--- a/a.c\n+++ \"b/a.c\n",
             .path = "a.c", .valid = false},
    DiffCase{.name = "UnknownEscapeInName", .diff = "diff --git a/a.c b/a.c\nrename to \"a\\q.c\"\n", .path = "a.c",
             .valid = false}
), [](const testing::TestParamInfo<DiffCase> &info) { return std::string(info.param.name); });

} // namespace
