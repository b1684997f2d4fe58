// The git work tree that holds a directory, and what of its repository's
// configuration the ignore rules need, read by git itself.
#pragma once

#include <future>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace cli::worktree {

struct WorkTree {
    std::string top = {};           // canonical, ending in '/': "/" for a work tree that is the whole file system
    std::string prefix = {};        // the directory's path below `top`, ending in '/', or ""
    bool inside = true;        // false within the repository's own directory, where no rules apply
    std::string infoExclude = {};   // the repository's info/exclude
    std::string excludesFile = {};  // core.excludesFile, or its default; "" when there is none
    bool ignoreCase = false;   // core.ignoreCase

    bool operator==(const WorkTree &) const = default;
};

// What finding a work tree gave: a work tree or none, and, when git could
// not tell (a configuration it cannot parse, git missing, no answer in
// time), why. The work tree is then found from the .git entry alone, with
// its .gitignore files and info/exclude but no configuration.
struct Found {
    std::optional<WorkTree> tree;
    std::string failure; // "git: REASON", or "" when git answered

    bool operator==(const Found &) const = default;
};

class Asking;

// Finds work trees for the walks of one run, asking git once per work tree.
class Finder {
public:
    // The work tree that holds `directory`, searching it and the
    // directories above it, as git's commands run there find theirs
    // (GIT_DIR, GIT_WORK_TREE, GIT_CEILING_DIRECTORIES and all). Git is not
    // started when no directory on the way has a .git entry and GIT_DIR is
    // not set, nor again for a directory whose nearest .git entry is one
    // already asked about.
    Found containing(const std::string &directory);

    // Starts asking git what containing() would ask it about `directory`,
    // where the .git entries above it name a work tree that `directory`
    // lies inside; null where containing() would not start git, or the
    // entries name none. Git takes milliseconds to start: meanwhile the
    // caller may walk by the guess, and check it against the answer.
    std::unique_ptr<Asking> ask(const std::string &directory);

private:
    friend class Asking;
    std::map<std::string, Found> byEntry_; // by the directory that holds the nearest .git entry
};

// A question put to git, answered on a thread of its own, and the guess at
// its answer: the work tree the .git entries show, with the configuration's
// defaults (no core.excludesFile, core.ignoreCase false), which is git's
// answer in most work trees.
class Asking {
public:
    Asking(Finder &finder, std::string entry, Found guess, std::future<Found> answer)
        : finder_(finder), entry_(std::move(entry)), guess_(std::move(guess)), pending_(std::move(answer))
    {
    }
    ~Asking() = default;
    Asking(const Asking &) = delete;
    Asking &operator=(const Asking &) = delete;

    const Found &guess() const { return guess_; }
    // Whether git has answered: answer() would not wait.
    bool answered() const;
    // Waits for git's answer, which the finder then keeps for the run.
    const Found &answer();
    // Whether the answer is the guess.
    bool guessed() { return answer() == guess_; }

private:
    Finder &finder_;
    std::string entry_;
    Found guess_;
    std::future<Found> pending_;
    std::optional<Found> answer_;
};

// The work tree whose top is `directory` itself, for a directory met within
// another work tree: one with a .git entry that is a repository, or a file
// naming one. Another .git entry makes it an ordinary directory.
Found nested(const std::string &directory);

// The canonical form of `directory`, ending in '/'; "" when it has none.
std::string canonical(const std::string &directory);

} // namespace cli::worktree
