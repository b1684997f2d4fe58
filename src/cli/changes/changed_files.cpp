#include "changes/changed_files.h"

#include <future>
#include <set>
#include <sys/stat.h>

#include "find/git.h"
#include "find/worktree.h"

namespace cli::changed {

namespace {

// A commit's name; anything longer is not one.
constexpr std::size_t MOST_ANSWER_BYTES = std::size_t{1} << 16;

// A whole file, for a path git could not place.
const LineRange EVERY_LINE[1] = {WHOLE_FILE};

// The directory that holds the file `path`, and its name there.
std::pair<std::string, std::string> splitFile(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// Pathspecs are taken as paths: a name holding '*' or '?' matches itself only.
std::vector<std::string> command(std::initializer_list<std::string> words, const std::vector<std::string> &pathspecs)
{
    std::vector<std::string> arguments = {"--literal-pathspecs"};
    arguments.insert(arguments.end(), words);
    arguments.emplace_back("--");
    arguments.insert(arguments.end(), pathspecs.begin(), pathspecs.end());
    return arguments;
}

// What git printed, whole: a commit's name.
git::Outcome answer(const std::string &top, const std::vector<std::string> &arguments, std::string &text)
{
    return git::run(top, arguments, [&text](std::string_view chunk) {
        text.append(chunk);
        return text.size() <= MOST_ANSWER_BYTES;
    });
}

// The commit that `revision` names, as git's full name. One commit only:
// the diff of a range (A..B, A...B, A^!) is between two commits, so the
// lines it shows as added would be another version's.
std::optional<std::string> commitOf(const std::string &top, const std::string &revision, std::string &reason)
{
    std::string name;
    const git::Outcome outcome = answer(top, {"rev-parse", "--verify", "--end-of-options", revision + "^{commit}"}, name);
    if (outcome.succeeded() && name.ends_with('\n')) {
        name.pop_back();
        return name;
    }
    reason = outcome.message == "fatal: Needed a single revision"
                 ? "git: not the name of one commit (a range such as A..B is refused)"
                 : "git: " + outcome.reason();
    return std::nullopt;
}

// Whether a diff could read `revision` as other than one commit: a range
// (A..B, A...B, ..B), a commit left out (^A) or a commit's parents (A^@,
// A^!, A^-N). Of a '^' after the start only the forms of one commit pass:
// A^, A^N, A^^, A^~N, A^{TYPE}. Such a revision is checked before the diff
// runs; any other names one commit if the diff takes it at all.
bool maySpan(std::string_view revision)
{
    if (revision.starts_with('^') || revision.find("..") != std::string_view::npos)
        return true;
    for (std::size_t caret = revision.find('^'); caret != std::string_view::npos; caret = revision.find('^', caret + 1)) {
        const char next = caret + 1 < revision.size() ? revision[caret + 1] : '^';
        if ((next < '0' || next > '9') && next != '^' && next != '~' && next != '{')
            return true;
    }
    return false;
}

// Settings that switch off every filter driver git's configuration defines:
// git reads the work tree's files through their clean command (or process),
// which would run on each changed file. Files are then compared as they are
// on disk; git's own conversions (end of line, ident, encoding) still apply.
std::vector<std::string> filtersOff(const std::set<std::string> &drivers)
{
    std::vector<std::string> settings;
    for (const std::string &driver : drivers)
        for (const char *setting : {".clean=", ".process=", ".required=false"})
            settings.insert(settings.end(), {"-c", "filter." + driver + setting});
    return settings;
}

// The files git neither tracks nor ignores below the pathspecs, into `names`.
git::Outcome listUntracked(const std::string &top, const std::vector<std::string> &pathspecs,
                           std::vector<std::string> &names, const git::Limits &limits)
{
    std::string name;
    return git::run(
        top, command({"ls-files", "-z", "--others", "--exclude-standard"}, pathspecs),
        [&names, &name](std::string_view chunk) {
            for (std::size_t end; (end = chunk.find('\0')) != std::string_view::npos; chunk.remove_prefix(end + 1)) {
                name.append(chunk.substr(0, end));
                names.push_back(std::move(name));
                name.clear();
            }
            name.append(chunk);
            return true;
        },
        limits);
}

} // namespace

std::optional<Failure> ChangedFiles::load(const std::vector<std::string> &paths)
{
    for (const std::string &path : paths) {
        if (path.empty())
            continue; // reported in its place as an empty name
        if (path == "-")
            return Failure{path, "git: standard input is in no work tree"};
        struct stat status;
        if (stat(path.c_str(), &status) != 0)
            continue; // reported in its place as a path that cannot be opened, as without a revision
        const bool directory = S_ISDIR(status.st_mode);
        auto [parent, name] = directory ? std::pair{path, std::string()} : splitFile(path);
        // Where git could not answer (its configuration, the repository's
        // owner), the walk goes on by the .git entries, but a diff cannot.
        worktree::Found found = workTrees_.containing(parent);
        if (!found.failure.empty())
            return Failure{path, found.failure};
        if (!found.tree || !found.tree->inside)
            return Failure{path, "git: not in a git work tree"};
        Tree &tree = trees_[found.tree->top];
        if (tree.top.empty()) {
            tree.top = found.tree->top;
            tree.firstArgument = path;
            tree.filterDrivers = std::move(found.tree->filterDrivers);
        }
        std::string key = found.tree->prefix + name;
        tree.pathspecs.push_back(key.empty() ? "." : key);
        places_.insert_or_assign(path, Place{&tree, std::move(key)});
    }
    for (auto &[top, tree] : trees_)
        if (std::optional<Failure> failure = ask(tree))
            return failure;
    return std::nullopt;
}

// Git's diff of the revision against the work tree, and beside it the
// files git neither tracks nor ignores, each by its name: with --directory,
// git would name an untracked directory alone, but leave out one that
// replaced a tracked file or link. A repository inside the work tree, which
// git does not enter, comes as one entry, "DIR/". The list is asked at
// once, as each git takes a few milliseconds to start; its names join the
// diff's once the diff is read. The diff takes the revision as rev-parse
// would, and rev-parse is asked only when the diff fails, to say why, or
// first where the diff could read the revision as a range.
std::optional<Failure> ChangedFiles::ask(Tree &tree) const
{
    const git::Limits limits{.time = GIT_TIME};
    std::vector<std::string> untracked;
    std::future<git::Outcome> others =
        std::async(std::launch::async, listUntracked, std::cref(tree.top), std::cref(tree.pathspecs),
                   std::ref(untracked), std::cref(limits));
    std::string reason;
    std::optional<std::string> commit;
    if (maySpan(revision_) && !(commit = commitOf(tree.top, revision_, reason)))
        return Failure{tree.firstArgument, reason};
    // No context between hunks (diff.interHunkContext), whose lines would
    // count as added; submodules are other repositories, whose lines are
    // not gated, whatever diff.submodule and diff.ignoreSubmodules say.
    std::vector<std::string> arguments = filtersOff(tree.filterDrivers);
    const std::vector<std::string> diffing =
        command({"diff", "-U0", "--inter-hunk-context=0", "--no-color", "--no-ext-diff", "--no-textconv", "-M",
                 "--ignore-submodules=all", "--src-prefix=a/", "--dst-prefix=b/", "--end-of-options",
                 commit.value_or(revision_ + "^{commit}")},
                tree.pathspecs);
    arguments.insert(arguments.end(), diffing.begin(), diffing.end());
    ChangedLines &lines = tree.lines;
    const git::Outcome diff =
        git::run(tree.top, arguments, [&lines](std::string_view chunk) { return lines.feed(chunk); }, limits);
    if (!diff.succeeded() && !commit && !commitOf(tree.top, revision_, reason))
        return Failure{tree.firstArgument, reason};
    if (!lines.error().empty() || (diff.succeeded() && !lines.finish()))
        return Failure{tree.firstArgument, "git: cannot read its diff: " + lines.error()};
    if (!diff.succeeded())
        return Failure{tree.firstArgument, "git: " + diff.reason()};
    const git::Outcome listed = others.get();
    if (!listed.succeeded())
        return Failure{tree.firstArgument, "git: " + listed.reason()};
    for (const std::string &name : untracked)
        lines.addWholeFile(name);
    return std::nullopt;
}

std::optional<std::span<const LineRange>> ChangedFiles::linesOf(const std::string &argument,
                                                                std::string_view below) const
{
    const auto place = places_.find(argument);
    if (place == places_.end())
        return EVERY_LINE;
    const ChangedLines &lines = place->second.tree->lines;
    std::string key = place->second.key;
    key.append(below);
    if (lines.contains(key))
        return lines.ranges(key);
    // A file in an untracked directory, which git names alone.
    for (std::size_t slash = key.find('/'); slash != std::string::npos; slash = key.find('/', slash + 1))
        if (lines.contains(std::string_view(key).substr(0, slash + 1)))
            return EVERY_LINE;
    return std::nullopt;
}

} // namespace cli::changed
