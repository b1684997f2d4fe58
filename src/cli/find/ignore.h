// Which entries a walk passes over: those that git ignores, where the walk
// lies in a git work tree, and those that patterns given on the command
// line (--exclude) name.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

struct IgnoreSettings {
    bool gitRules = true;              // false with --no-ignore
    std::vector<std::string> excludes; // lines in .gitignore syntax, from --exclude
};

// A failure to read rules: errno `error` at `path`, or when there is no
// errno to tell it, `reason`.
struct RulesFailure {
    std::string path;
    int error = 0;
    std::string reason = {};
};
using ReportFailure = std::function<void(RulesFailure &&)>;

namespace cli::ignore {
class PatternList;
struct Level;
} // namespace cli::ignore
namespace cli::worktree {
class Finder;
struct WorkTree;
} // namespace cli::worktree

// The rules for the walk of one directory, the root. Only the entries below
// it are asked about: the root itself was named, and is never passed over.
class TreeIgnores {
public:
    ~TreeIgnores();
    TreeIgnores(const TreeIgnores &) = delete;
    TreeIgnores &operator=(const TreeIgnores &) = delete;

    // True when the entry `relative` (its path below the root, the names
    // joined by '/'), a directory or a file, is to be passed over. The
    // directories above it are taken to be walked, not ignored; asking
    // about the entries of one directory after another, depth first, reads
    // each directory's rules once. Rules that cannot be read are reported.
    // `parentFd`, when the caller has it open, is the directory that holds
    // the entry: its rules are read through it, at any depth.
    bool ignored(std::string_view relative, bool directory, int parentFd = -1);

private:
    friend class IgnoreContext;
    TreeIgnores(class IgnoreContext &context, std::string root, ReportFailure report);

    // A rules file: `path` in the directory `at`, named `shown` in messages.
    struct RulesFile {
        int at;
        std::string path;
        std::string shown;
        bool noFollow;
    };
    // The rules files of one level besides --exclude; `workTree` when it is
    // the root or the top of a nested work tree.
    struct LevelFiles {
        RulesFile own; // the directory's .gitignore
        bool isRoot;
        const cli::worktree::WorkTree *workTree;
    };

    void enter(std::string_view directory, int directoryFd);
    void pushLevel(std::string_view name, int directoryFd, bool last);
    void stackRules(cli::ignore::Level &level, const LevelFiles &files);
    void readRules(const RulesFile &file, size_t base, cli::ignore::Level &level, bool once);
    void readShared(const std::string &path, bool noFollow, size_t base, cli::ignore::Level &level);
    std::string_view directoryOf(const cli::ignore::Level &level) const;

    IgnoreContext &context_;
    std::string root_;
    ReportFailure report_;
    std::string prefix_; // the root's path in its work tree, ending in '/', or ""
    std::shared_ptr<const cli::ignore::PatternList> excludes_;
    std::vector<cli::ignore::Level> levels_; // the root's, then one per directory down to the last entered
    std::string current_; // prefix_ and the path of the last level entered, ending in '/' below the root
    std::string path_;    // scratch: prefix_ and the entry asked about
};

// What every walk of one run shares: the settings, the work trees found,
// and the failures already reported, so that a broken
// configuration is reported once however many walks meet it.
class IgnoreContext {
public:
    // `known`: work trees already found in this run, which git is not asked about again.
    explicit IgnoreContext(IgnoreSettings settings, const cli::worktree::Finder *known = nullptr);
    ~IgnoreContext();
    IgnoreContext(const IgnoreContext &) = delete;
    IgnoreContext &operator=(const IgnoreContext &) = delete;

    // The rules for a walk of the directory `root`, reporting through
    // `report`; null when nothing is ever passed over.
    std::unique_ptr<TreeIgnores> forTree(const std::string &root, ReportFailure report);

private:
    friend class TreeIgnores;
    void reportOnce(RulesFailure &&failure, const ReportFailure &report);

    IgnoreSettings settings_;
    std::shared_ptr<const cli::ignore::PatternList> excludes_;
    std::unique_ptr<cli::worktree::Finder> workTrees_;
    std::set<std::string> reported_;
};
