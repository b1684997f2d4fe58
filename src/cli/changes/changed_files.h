// Which files of a run changed since a git revision, and which of their
// lines to report (--new-from-rev). Git is asked once per work tree, before
// anything is measured: its diff of the revision's commit against the work
// tree, with the filter drivers that finding the work tree named switched
// off, and the files it neither tracks nor ignores, which are new as a
// whole. The work trees found on the way are handed to the walks, which
// need not ask git about them again.
//
// Memory grows with what changed (one entry per changed or untracked file,
// one range per hunk), never with the files left as they were.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "changes/changed_lines.h"
#include "find/worktree.h"

namespace cli::changed {

// Why a path argument has no diff: "git: REASON", for "cmeasure: PATH: git: REASON".
struct Failure {
    std::string path;
    std::string reason;
};

class ChangedFiles {
public:
    // Git's diff may take a while on a large change; past this it is
    // stopped, so that a stuck repository cannot stall a CI job for ever.
    static constexpr std::chrono::milliseconds GIT_TIME{120000};

    explicit ChangedFiles(std::string revision) : revision_(std::move(revision)) {}

    // Finds the work tree of every path argument and asks git what changed
    // there since the revision. The first failure, if any: a path outside
    // any work tree or in one git refuses, a revision that names no single
    // commit, git missing or too slow. A path that is not there is left to
    // be reported where it is measured.
    std::optional<Failure> load(const std::vector<std::string> &paths);

    // The lines to report of the file `below` the path argument `argument`
    // ("" for the argument itself): empty when the file did not change, to
    // be passed over unread; its added lines otherwise (none, when its
    // change only removes lines), or all of them for a file that is new as
    // a whole, or a path git could not place (it is then reported as one
    // that cannot be read).
    std::optional<std::span<const LineRange>> linesOf(const std::string &argument, std::string_view below) const;

    // The files the walks passed over as unchanged, counted for the run's
    // closing message; written by the walk, read once the walk is over.
    void passOver() const { passedOver_.fetch_add(1, std::memory_order_relaxed); }
    Count passedOver() const { return passedOver_.load(std::memory_order_relaxed); }

    // The work trees of the path arguments, as git placed them.
    const worktree::Finder &workTrees() const { return workTrees_; }

private:
    struct Tree {
        std::string top;
        std::string firstArgument; // named in a failure
        std::set<std::string> filterDrivers; // switched off for the diff
        std::vector<std::string> pathspecs;
        ChangedLines lines;
    };
    struct Place {
        const Tree *tree;
        std::string key; // the argument's path in its work tree; a directory's ends in '/' (or is "")
    };

    std::optional<Failure> place(const std::string &path, std::map<std::string, Tree> &trees);
    std::optional<Failure> ask(Tree &tree) const;

    std::string revision_;
    worktree::Finder workTrees_;
    std::map<std::string, Tree> trees_;   // by the top of the work tree
    std::map<std::string, Place> places_; // by the path argument
    mutable std::atomic<Count> passedOver_ = 0;
};

} // namespace cli::changed
