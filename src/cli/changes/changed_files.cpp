#include "changes/changed_files.h"

#include <sys/stat.h>

#include "find/git.h"
#include "find/worktree.h"

namespace cli::changed {

namespace {

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

bool isDirectory(const std::string &path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
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

} // namespace

std::optional<Failure> ChangedFiles::load(const std::vector<std::string> &paths)
{
    worktree::Finder finder;
    for (const std::string &path : paths) {
        if (path.empty())
            continue; // reported in its place as an empty name
        if (path == "-")
            return Failure{path, "git: standard input is in no work tree"};
        const bool directory = isDirectory(path);
        auto [parent, name] = directory ? std::pair{path, std::string()} : splitFile(path);
        if (worktree::canonical(parent).empty())
            continue; // reported in its place as a path that cannot be opened
        worktree::Found found = finder.containing(parent);
        if (!found.tree || !found.tree->inside)
            return Failure{path, found.failure.empty() ? "git: not in a git work tree" : found.failure};
        Tree &tree = trees_[found.tree->top];
        if (tree.top.empty()) {
            tree.top = found.tree->top;
            tree.firstArgument = path;
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

// Git's diff of the revision against the work tree, then the files it
// neither tracks nor ignores; an untracked directory comes as one entry,
// "DIR/", however many files it holds.
std::optional<Failure> ChangedFiles::ask(Tree &tree) const
{
    const git::Limits limits{.time = GIT_TIME};
    ChangedLines &lines = tree.lines;
    const git::Outcome diff = git::run(
        tree.top,
        command({"diff", "-U0", "--no-color", "--no-ext-diff", "--no-textconv", "-M", "--src-prefix=a/",
                 "--dst-prefix=b/", revision_},
                tree.pathspecs),
        [&lines](std::string_view chunk) { return lines.feed(chunk); }, limits);
    if (!lines.error().empty() || (diff.succeeded() && !lines.finish()))
        return Failure{tree.firstArgument, "git: cannot read its diff: " + lines.error()};
    if (!diff.succeeded())
        return Failure{tree.firstArgument, "git: " + diff.reason()};
    std::string name;
    const git::Outcome others = git::run(
        tree.top, command({"ls-files", "-z", "--others", "--exclude-standard", "--directory"}, tree.pathspecs),
        [&lines, &name](std::string_view chunk) {
            for (std::size_t end; (end = chunk.find('\0')) != std::string_view::npos; chunk.remove_prefix(end + 1)) {
                name.append(chunk.substr(0, end));
                lines.addWholeFile(name);
                name.clear();
            }
            name.append(chunk);
            return true;
        },
        limits);
    if (!others.succeeded())
        return Failure{tree.firstArgument, "git: " + others.reason()};
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
