#include "find/walk.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "find/ignore.h"
#include "find/walk_levels.h"

namespace cli {

namespace {

// Room for a few hundred entries per read of a directory.
constexpr size_t LISTING_BUFFER_SIZE = size_t{32} * 1024;

// Depth-first through each directory's entries sorted by name, a
// directory's with '/' after it: then a name comes before every name below
// a directory whose name it begins, just as it does in whole paths, so the
// files come out in the byte order of their whole paths. Directories are
// kept on a stack of levels rather than in the call chain, so that no depth
// of tree can exhaust it.
class Walker {
public:
    Walker(const std::string &root, const WalkRules &rules, const std::function<void(Found &&)> &found)
        : rules_(rules), found_(found), path_(root), below_(root.size() + (separated(root.size()) ? 1 : 0)),
          openLevelsAllowed_(rules.allowance.openLevels), directoriesAllowed_(rules.allowance.directories)
    {
    }

    void walk()
    {
        const int fd = openDirectory(AT_FDCWD, path_.c_str(), 0);
        if (fd < 0) {
            const int error = errno;
            found_({.path = path_, .error = error});
            return;
        }
        enter(fd);
        while (!levels_.empty()) {
            WalkedDirectory &top = levels_.back();
            if (top.entries.empty()) {
                leave();
                continue;
            }
            Entry entry = std::move(top.entries.back());
            top.entries.pop_back();
            visit(entry);
        }
    }

private:
    // Takes the directory open at `fd`, whose path is path_, as the next level
    // down, unless it is one of its own ancestors; then lists it.
    void enter(int fd)
    {
        struct stat status;
        if (fstat(fd, &status) != 0) {
            const int error = errno;
            close(fd);
            found_({.path = path_, .error = error});
            return;
        }
        for (const WalkedDirectory &level : levels_)
            if (level.device == status.st_dev && level.inode == status.st_ino) {
                close(fd);
                found_({.path = path_, .loop = true});
                return;
            }
        levels_.push_back({std::make_shared<OpenDirectory>(fd), status.st_dev, status.st_ino, path_.size(), {}});
        mark(levels_.size() - 1, Found::Mark::Entered);
        // The root stays open, for a way back when a directory is moved.
        if (levels_.size() > openLevelsAllowed_ + 1)
            levels_[levels_.size() - openLevelsAllowed_ - 1].directory.reset();
        list(levels_.back());
    }

    // Reads the names of the directory, then sorts them. A failure to read
    // is reported first, at the directory's path, which comes before those of
    // its entries; the entries read until then are walked.
    void list(WalkedDirectory &level)
    {
        const int fd = level.directory->fd();
        holds_ = false;
        for (ssize_t got; (got = getdents64(fd, buffer_.data(), buffer_.size())) != 0;) {
            if (got < 0) {
                const int error = errno;
                found_({.path = path_, .error = error});
                break;
            }
            for (ssize_t offset = 0; offset < got;) {
                const auto *entry = reinterpret_cast<const dirent64 *>(buffer_.data() + offset);
                offset += entry->d_reclen;
                take(level, entry->d_name, entry->d_type);
            }
        }
        if (rules_.watch != nullptr)
            takeWatched(level);
        std::sort(level.entries.begin(), level.entries.end(),
                  [](const Entry &a, const Entry &b) { return a.key > b.key; });
    }

    // Keeps an entry that may lead to a file to measure. Where the listing
    // does not say what an entry is, it is asked without following a link.
    void take(WalkedDirectory &level, const char *name, unsigned char type)
    {
        if (name[0] == '.') {
            holds_ = holds_ || (rules_.watch != nullptr && rules_.watch->noticed() == name);
            return;
        }
        if (type == DT_UNKNOWN) {
            struct stat status;
            if (fstatat(level.directory->fd(), name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
                const int error = errno;
                if (error != ENOENT)
                    level.entries.push_back({name, error});
                return;
            }
            type = S_ISDIR(status.st_mode) ? DT_DIR : S_ISREG(status.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR)
            level.entries.push_back({std::string(name) + '/'});
        else if (type == DT_REG && (rules_.watch != nullptr || hasExtension(name, rules_.extensions)))
            level.entries.push_back({name});
    }

    // The watch, told of the directory once its listing is read, decides
    // which of its files are taken: they were all kept until then.
    void takeWatched(WalkedDirectory &level)
    {
        const std::string_view relative = path_.size() < below_ ? "" : std::string_view(path_).substr(below_);
        const std::vector<std::string> *extensions = rules_.watch->entered(relative, level.directory->fd(), holds_);
        std::erase_if(level.entries, [extensions](const Entry &e) {
            return !extensions || (e.error == 0 && e.key.back() != '/' && !hasExtension(e.key, *extensions)); });
    }

    // Entries are asked about in the walk's order, depth first, so that the
    // ignore rules read each directory's once.
    void visit(Entry &entry)
    {
        const bool directory = entry.key.back() == '/';
        if (directory)
            entry.key.pop_back();
        pathTo(levels_.size() - 1, entry.key);
        const std::string_view relative = std::string_view(path_).substr(below_);
        if (entry.error == 0 && rules_.ignores != nullptr &&
            rules_.ignores->ignored(relative, directory, levels_.back().directory->fd()))
            return;
        if (entry.error == 0 && rules_.watch != nullptr && rules_.watch->passedOver(relative, directory))
            return;
        if (entry.error != 0)
            found_({.path = path_, .error = entry.error});
        else if (!directory)
            found_({.path = path_, .directory = levels_.back().directory, .name = std::move(entry.key)});
        else
            descend(entry.key);
    }

    // A directory that has become a link or something else, or is gone, is
    // passed over, as it would have been had the walk come later.
    void descend(const std::string &name)
    {
        const size_t parent = levels_.size() - 1;
        const int fd = openDirectory(levels_[parent].directory->fd(), name.c_str(), parent);
        const int error = errno;
        if (fd >= 0)
            enter(fd);
        else if (error != ELOOP && error != ENOTDIR && error != ENOENT)
            found_({.path = path_, .error = error});
    }

    // Done with the deepest directory: back to its parent, opened again if
    // it was closed.
    void leave()
    {
        const size_t child = levels_.size() - 1;
        mark(child, Found::Mark::Left);
        if (rules_.watch != nullptr) rules_.watch->left();
        if (child == 0 || levels_[child - 1].directory) {
            levels_.pop_back();
            return;
        }
        // Through "..", if it still leads to the directory left: one open,
        // where opening it again from the root by name would take one a level.
        WalkedDirectory &parent = levels_[child - 1];
        const int fd = openDirectory(levels_[child].directory->fd(), "..", child);
        if (fd >= 0 && isLevel(fd, parent)) {
            parent.directory = std::make_shared<OpenDirectory>(fd);
            levels_.pop_back();
            return;
        }
        if (fd >= 0)
            close(fd);
        levels_.pop_back();
        reopenFromAbove();
    }

    // The deepest directory is closed, and its child was moved away: each
    // closed level is opened again from the nearest open one above it, by
    // name. One that is no longer there is reported, and the walk goes on
    // above it.
    void reopenFromAbove()
    {
        size_t open = levels_.size() - 1;
        while (!levels_[open].directory)
            open--; // the root is never closed
        for (size_t k = open + 1; k < levels_.size(); k++) {
            const std::string name(nameOf(k));
            const int fd = openDirectory(levels_[k - 1].directory->fd(), name.c_str(), k - 1);
            const int error = errno;
            if (fd >= 0 && isLevel(fd, levels_[k])) {
                levels_[k].directory = std::make_shared<OpenDirectory>(fd);
                continue;
            }
            if (fd >= 0)
                close(fd);
            for (size_t gone = levels_.size(); gone-- > k;) {
                mark(gone, Found::Mark::Left);
                if (rules_.watch != nullptr)
                    rules_.watch->left();
            }
            path_.resize(levels_[k].pathLength);
            levels_.resize(k);
            if (fd >= 0 || error == ENOENT || error == ELOOP || error == ENOTDIR)
                found_({.path = path_, .changed = true});
            else
                found_({.path = path_, .error = error});
            return;
        }
    }

    // Marks the directory of level k, when the rules ask for marks.
    void mark(size_t k, Found::Mark mark)
    {
        if (rules_.marks)
            found_({.path = path_.substr(0, levels_[k].pathLength), .mark = mark});
    }

    static bool isLevel(int fd, const WalkedDirectory &level)
    {
        struct stat status;
        return fstat(fd, &status) == 0 && status.st_dev == level.device && status.st_ino == level.inode;
    }

    // The name of level k > 0 in its parent, from path_, which begins with
    // the path of the deepest level.
    std::string_view nameOf(size_t k) const
    {
        const size_t parentLength = levels_[k - 1].pathLength;
        const size_t start = parentLength + (separated(parentLength) ? 1 : 0);
        return std::string_view(path_).substr(start, levels_[k].pathLength - start);
    }

    // Whether a name below a directory whose path is that long follows a
    // '/' of its own: the root may end in one already.
    bool separated(size_t length) const { return length == 0 || path_[length - 1] != '/'; }

    void pathTo(size_t level, std::string_view name)
    {
        path_.resize(levels_[level].pathLength);
        if (separated(path_.size()))
            path_ += '/';
        path_ += name;
    }

    // Opens the directory `name` in the one open at `at`, never following a
    // link; but at AT_FDCWD, the root, which as named on the command line may
    // be a link. When the process is out of descriptors, it first closes
    // those of the walk's levels but the root and `keep`, then waits for other
    // threads to release one. A directory is opened only while the
    // directories open leave the workers half the descriptors, as far as
    // waiting for the workers to let go of some achieves it. Sets errno on
    // failure.
    int openDirectory(int at, const char *name, size_t keep)
    {
        DescriptorWait room;
        while (directoriesOpen() >= directoriesAllowed_ && othersHoldDirectories() &&
               (shed(keep) || handBack() || room.again(EMFILE))) {
        }
        DescriptorWait wait;
        for (;;) {
            const int fd = at == AT_FDCWD ? open(name, O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                                          : openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0 || !outOfDescriptors(errno))
                return fd;
            const int error = errno;
            if (!shed(keep) && !handBack() && !wait.again(error)) {
                errno = error;
                return -1;
            }
        }
    }

    // Whether directories are open that the walk's own levels do not hold:
    // those of files found, which those who measure them will let go of.
    // Without any, waiting for a release would wait for nothing.
    bool othersHoldDirectories() const
    {
        const auto own = static_cast<size_t>(
            std::count_if(levels_.begin(), levels_.end(), [](const WalkedDirectory &level) { return level.directory != nullptr; }));
        return directoriesOpen() > own;
    }

    // Hands the caller's found files on, so that those who measure them can
    // let go of their directories; false, as none is closed at once.
    bool handBack() const
    {
        if (rules_.handBack)
            rules_.handBack();
        return false;
    }

    // Lets go of the descriptors of the levels but the root and `keep`;
    // whether that closed any at once, rather than when the files found in
    // them let go.
    bool shed(size_t keep)
    {
        bool closed = false;
        for (size_t k = 1; k < levels_.size(); k++)
            if (k != keep && levels_[k].directory) {
                closed = closed || levels_[k].directory.use_count() == 1;
                levels_[k].directory.reset();
            }
        return closed;
    }

    const WalkRules &rules_;
    const std::function<void(Found &&)> &found_;
    std::string path_; // of the entry at hand, which begins with the paths of the levels
    size_t below_;     // where the path of an entry below the root begins in path_
    std::vector<WalkedDirectory> levels_;
    std::vector<char> buffer_ = std::vector<char>(LISTING_BUFFER_SIZE);
    size_t openLevelsAllowed_;
    size_t directoriesAllowed_;
    bool holds_ = false; // the listing being read names the watch's file
};

} // namespace

void walkTree(const std::string &root, const WalkRules &rules, const std::function<void(Found &&)> &found)
{
    Walker(root, rules, found).walk();
}

} // namespace cli
