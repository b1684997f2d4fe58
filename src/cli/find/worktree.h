// The git work tree that holds a directory, and what of its repository's
// configuration the ignore rules and a diff need, read by git itself.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>

namespace cli::worktree {

struct WorkTree {
    std::string top = {};           // canonical, ending in '/': "/" for a work tree that is the whole file system
    std::string prefix = {};        // the directory's path below `top`, ending in '/', or ""
    bool inside = true;        // false within the repository's own directory, where no rules apply
    std::string infoExclude = {};   // the repository's info/exclude
    std::string excludesFile = {};  // core.excludesFile, or its default; "" when there is none
    bool ignoreCase = false;   // core.ignoreCase
    std::set<std::string> filterDrivers = {}; // NAME of every filter.NAME.KEY its configuration sets
};

// What finding a work tree gave: a work tree or none, and, when git could
// not tell (a configuration it cannot parse, git missing, no answer in
// time), why. The work tree is then found from the .git entry alone, with
// its .gitignore files and info/exclude but no configuration.
struct Found {
    std::optional<WorkTree> tree;
    std::string failure; // "git: REASON", or "" when git answered
};

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

private:
    std::map<std::string, Found> byEntry_; // by the directory that holds the nearest .git entry
};

// The work tree whose top is `directory` itself, for a directory met within
// another work tree: one with a .git entry that is a repository, or a file
// naming one. Another .git entry makes it an ordinary directory.
Found nested(const std::string &directory);

// The canonical form of `directory`, ending in '/'; "" when it has none.
std::string canonical(const std::string &directory);

} // namespace cli::worktree
