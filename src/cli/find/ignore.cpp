#include "find/ignore.h"

#include <fcntl.h>
#include <unistd.h>

#include "find/ignore_rules.h"
#include "find/worktree.h"

namespace cli::ignore {

// Where one list of patterns applies: paths are matched from `base` on,
// that is relative to the directory that holds the list.
struct Rules {
    std::shared_ptr<const PatternList> list;
    size_t base;
};

// The rules that hold in one directory of a walk, in the order they are
// consulted: the first list with a pattern that matches decides.
struct Level {
    size_t end = 0; // the length of its path in TreeIgnores::current_
    std::vector<Rules> rules;
    bool inWorkTree = false; // its .gitignore files count
    bool closed = false;     // the top of a work tree: the levels above it do not count
    bool ignoreCase = false; // its work tree's core.ignoreCase
    // The nearest level from this one up that has rules or is closed, so
    // that a deep chain of directories without rules costs nothing to ask.
    size_t consult = NONE;
    static constexpr size_t NONE = ~size_t{0};
};

} // namespace cli::ignore

using cli::ignore::Level;
using cli::ignore::PatternList;
using cli::ignore::Verdict;
using cli::worktree::WorkTree;

namespace {

bool isWithin(std::string_view directory, std::string_view ancestor)
{
    return ancestor.empty() || directory == ancestor ||
           (directory.starts_with(ancestor) && directory[ancestor.size()] == '/');
}

std::string joined(std::string path, std::string_view name)
{
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path.append(name);
}

} // namespace

IgnoreContext::IgnoreContext(IgnoreSettings settings, const cli::worktree::Finder *known)
    : settings_(std::move(settings)),
      workTrees_(known != nullptr ? std::make_unique<cli::worktree::Finder>(*known)
                                  : std::make_unique<cli::worktree::Finder>())
{
    if (settings_.excludes.empty())
        return;
    auto excludes = std::make_shared<PatternList>();
    for (const std::string &line : settings_.excludes)
        excludes->addLines(line);
    excludes_ = std::move(excludes);
}

IgnoreContext::~IgnoreContext() = default;

void IgnoreContext::reportOnce(RulesFailure &&failure, const ReportFailure &report)
{
    // Git's account names what failed itself; it is said once whichever
    // directory met it.
    if (reported_.insert(failure.reason.empty() ? failure.path + '\0' + std::to_string(failure.error) : failure.reason)
            .second)
        report(std::move(failure));
}

std::unique_ptr<TreeIgnores> IgnoreContext::forTree(const std::string &root, ReportFailure report)
{
    if (!settings_.gitRules && !excludes_)
        return nullptr;
    std::unique_ptr<TreeIgnores> tree(new TreeIgnores(*this, root, std::move(report)));
    std::optional<WorkTree> work;
    if (settings_.gitRules) {
        cli::worktree::Found found = workTrees_->containing(root);
        if (!found.failure.empty())
            reportOnce({root, 0, std::move(found.failure)}, tree->report_);
        if (found.tree && found.tree->inside)
            work = std::move(found.tree);
    }
    tree->prefix_ = work ? work->prefix : std::string();
    tree->current_ = tree->prefix_;
    Level top;
    top.end = tree->prefix_.size();
    top.inWorkTree = work.has_value();
    top.ignoreCase = work && work->ignoreCase;
    tree->stackRules(top, {{AT_FDCWD, joined(root, ".gitignore"), "", true}, true, work ? &*work : nullptr});
    top.consult = top.rules.empty() ? Level::NONE : 0;
    tree->levels_.push_back(std::move(top));
    return tree;
}

TreeIgnores::TreeIgnores(IgnoreContext &context, std::string root, ReportFailure report)
    : context_(context), root_(std::move(root)), report_(std::move(report)), excludes_(context.excludes_)
{
}

TreeIgnores::~TreeIgnores() = default;

// The path of a level below the root; "" for the root.
std::string_view TreeIgnores::directoryOf(const Level &level) const
{
    const size_t below = level.end - prefix_.size();
    return std::string_view(current_).substr(prefix_.size(), below == 0 ? 0 : below - 1);
}

// The lists of one level, in the order they are consulted. A deeper
// .gitignore decides before a shallower one. --exclude counts as the last
// lines of the root's .gitignore, so it decides before that file, and after
// the .gitignore at the top of a nested work tree, which lies deeper; it
// holds in a nested work tree too. The repository's info/exclude and then
// core.excludesFile decide last, for the whole work tree.
void TreeIgnores::stackRules(Level &level, const LevelFiles &files)
{
    // Every list's base is the length of its directory's path in the work
    // tree, ending in '/': for a level, what current_ holds of it.
    const size_t base = level.end;
    if (level.inWorkTree && !files.isRoot)
        readRules(files.own, base, level, false);
    if (excludes_ && (files.isRoot || files.workTree != nullptr))
        level.rules.push_back({excludes_, prefix_.size()});
    if (level.inWorkTree && files.isRoot)
        readRules(files.own, base, level, false);
    const WorkTree *work = files.workTree;
    if (work == nullptr)
        return;
    if (files.isRoot) {
        // The .gitignore files above the root, the nearest first.
        for (size_t end = prefix_.size(); end > 0;) {
            end = prefix_.rfind('/', end - 2) + 1;
            readShared(work->top + prefix_.substr(0, end) + ".gitignore", true, end, level);
        }
    }
    const size_t top = files.isRoot ? 0 : base;
    readShared(work->infoExclude, false, top, level);
    if (!work->excludesFile.empty())
        readShared(work->excludesFile, false, top, level);
}

// Adds the rules of `file` to `level`; a file that cannot be read is
// reported (once, with `once`, for files that several walks read).
void TreeIgnores::readRules(const RulesFile &file, size_t base, Level &level, bool once)
{
    auto list = std::make_shared<PatternList>();
    const int error = cli::ignore::readRulesFile(file.at, file.path, file.noFollow, *list);
    if (error != 0) {
        RulesFailure failure{file.shown.empty() ? joined(joined(root_, directoryOf(level)), ".gitignore") : file.shown,
                             error};
        if (once)
            context_.reportOnce(std::move(failure), report_);
        else
            report_(std::move(failure));
    }
    if (!list->empty())
        level.rules.push_back({std::move(list), base});
}

// A rules file outside the tree, or above its root, that every walk of
// the work tree reads: reported once.
void TreeIgnores::readShared(const std::string &path, bool noFollow, size_t base, Level &level)
{
    readRules({AT_FDCWD, path, path, noFollow}, base, level, true);
}

// Makes the levels those of `directory`, reading the rules of each
// directory on the way down from the last one entered; `directoryFd`, if
// open, is `directory` itself, and the others are reached by their paths.
void TreeIgnores::enter(std::string_view directory, int directoryFd)
{
    while (levels_.size() > 1 && !isWithin(directory, directoryOf(levels_.back())))
        levels_.pop_back();
    current_.resize(levels_.back().end);
    while (directoryOf(levels_.back()) != directory) {
        const size_t from = current_.size() - prefix_.size();
        const size_t next = std::min(directory.find('/', from), directory.size());
        pushLevel(directory.substr(from, next - from), directoryFd, next == directory.size());
    }
}

// The level of the directory `name` below the last level. A directory that
// holds a repository of its own starts a work tree: from there on its rules
// hold, and those above it do not, but for --exclude.
void TreeIgnores::pushLevel(std::string_view name, int directoryFd, bool last)
{
    current_.append(name).push_back('/');
    const Level &parent = levels_.back();
    Level level;
    level.end = current_.size();
    level.inWorkTree = parent.inWorkTree;
    level.ignoreCase = parent.ignoreCase;
    const bool open = directoryFd >= 0 && last;
    const int at = open ? directoryFd : AT_FDCWD;
    const std::string inside = open ? std::string() : joined(root_, directoryOf(level)) + '/';
    std::optional<WorkTree> work;
    if (context_.settings_.gitRules && faccessat(at, (inside + ".git").c_str(), F_OK, 0) == 0) {
        const std::string path = joined(root_, directoryOf(level));
        cli::worktree::Found found = cli::worktree::nested(path);
        if (!found.failure.empty())
            context_.reportOnce({path, 0, std::move(found.failure)}, report_);
        work = std::move(found.tree);
    }
    if (work) {
        level.inWorkTree = true;
        level.closed = true;
        level.ignoreCase = work->ignoreCase;
    }
    stackRules(level, {{at, inside + ".gitignore", "", true}, false, work ? &*work : nullptr});
    level.consult = !level.rules.empty() || level.closed ? levels_.size() : levels_.back().consult;
    levels_.push_back(std::move(level));
}

bool TreeIgnores::ignored(std::string_view relative, bool directory, int parentFd)
{
    const size_t slash = relative.rfind('/');
    const std::string_view parent = slash == std::string_view::npos ? std::string_view() : relative.substr(0, slash);
    const std::string_view name = relative.substr(slash == std::string_view::npos ? 0 : slash + 1);
    if (directoryOf(levels_.back()) != parent)
        enter(parent, parentFd);
    path_.assign(prefix_).append(relative);
    const std::string_view path = path_;
    for (size_t at = levels_.back().consult; at != Level::NONE;) {
        const Level &level = levels_[at];
        for (const cli::ignore::Rules &rules : level.rules) {
            const Verdict found = rules.list->verdict(path.substr(rules.base), name, directory, level.ignoreCase);
            if (found != Verdict::None)
                return found == Verdict::Excluded;
        }
        if (level.closed || at == 0)
            break;
        at = levels_[at - 1].consult;
    }
    return false;
}
