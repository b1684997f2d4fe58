// The walk of a source tree, and how the files it finds are opened.
//
// The walk goes through directory descriptors: the root is opened by its
// path, every directory below it relative to its parent's descriptor, and
// every file relative to its directory's, never following a symbolic link.
// So no path is resolved again once the walk has passed it, and a directory
// swapped for a link mid-walk cannot lead it outside the tree.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "find/opening.h"

class TreeIgnores;

namespace cli {

// The descriptors a walk may hold: `openLevels` of the directories it is
// in, besides the root's, and `directories` open in all, its own and those
// the files it found hold (see budget.h). The defaults are those of the
// usual limit of 1 024 descriptors.
struct WalkAllowance {
    std::size_t openLevels = 32;
    std::size_t directories = 510;
};

// Told of each directory a walk enters, once it is listed, and of each it
// leaves, so that settings kept in a file of a directory are read only where
// the listing names that file (`noticed`): no call per file or directory.
class DirectoryWatch {
public:
    virtual ~DirectoryWatch() = default;
    DirectoryWatch() = default;
    DirectoryWatch(const DirectoryWatch &) = delete;
    DirectoryWatch &operator=(const DirectoryWatch &) = delete;

    virtual std::string_view noticed() const = 0;

    // The directory open at `fd`, `relative` below the root ("" for the
    // root), whose listing named the noticed file when `holds`. Returns the
    // suffixes of the files to take in it; null to take nothing in it, the
    // watch having said why.
    virtual const std::vector<std::string> *entered(std::string_view relative, int fd, bool holds) = 0;
    virtual void left() = 0;

    // Whether the entry `relative` below the root, in the directory last
    // entered, is passed over.
    virtual bool passedOver(std::string_view relative, bool directory) = 0;
};

// What a walk takes: files whose names end in '.' and one of `extensions`,
// but for those that `ignores` passes over, with the directories it passes
// over. It is asked about directories and those files only. `marks`: each
// directory the walk reads, the root included, is marked Entered before
// what is found in it and Left after, so that a caller can sum what lies
// below a directory holding only the directories it is in.
struct WalkRules {
    std::vector<std::string> extensions;
    TreeIgnores *ignores = nullptr;
    WalkAllowance allowance = {};
    bool marks = false;
    // Called before the walk waits for descriptors: the caller lets go of
    // the files found that it still holds, and so of their directories,
    // which only it could release.
    std::function<void()> handBack = {};
    // When given, it decides the suffixes of each directory instead of
    // `extensions`, and may pass entries over.
    DirectoryWatch *watch = nullptr;
};

// Calls `found` with every file below the directory `root` that the rules
// take, and with every failure to read a directory or an entry below it, in
// the byte order of their whole paths (LC_ALL=C sort). Names beginning with
// '.' are passed over, and so are symbolic links, so that a link loop cannot
// trap the walk, and FIFOs, sockets and devices, so that it never blocks;
// an entry that vanishes before the walk reaches it is passed over too.
// The root itself may be a link to a directory. It holds the names of the
// directory it is in and those its ancestors have left, and a bounded
// number of descriptors whatever the depth; `found` may block, and the
// files it is given may be opened long after it returned. When the
// directories held open, by the walk and by the files it found, reach the
// allowance, it hands the files it found back (WalkRules::handBack) and
// waits for other threads to let go of some, so that they are left
// descriptors to open the files; but only while they hold some, as its own
// levels it must keep.
void walkTree(const std::string &root, const WalkRules &rules, const std::function<void(Found &&)> &found);

} // namespace cli
