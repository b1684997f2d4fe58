// The walk of a source tree, and how the files it finds are opened.
//
// The walk goes through directory descriptors, as find and fts do: the root
// is opened by its path, every directory below it relative to its parent's
// descriptor, and every file relative to its directory's, never following a
// symbolic link. So no path is resolved again once the walk has passed it,
// and a directory swapped for a link mid-walk cannot lead it outside the tree.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TreeIgnores;

// A directory held open by a walk. The files found in it are opened
// relative to it, so that no path is resolved again once the walk has
// passed it; it closes when the last file found in it lets go of it.
class OpenDirectory {
public:
    explicit OpenDirectory(int fd);
    ~OpenDirectory();
    OpenDirectory(const OpenDirectory &) = delete;
    OpenDirectory &operator=(const OpenDirectory &) = delete;

    int fd() const { return fd_; }

private:
    int fd_;
};

// What a walk finds: a file to measure, or a failure to report at `path`.
struct Found {
    std::string path;                             // the root joined by '/' to the names below it
    std::shared_ptr<const OpenDirectory> directory = {}; // where `name` lies; null for a failure
    std::string name = {};                        // the file's name in `directory`
    int error = 0;                                // errno of what could not be read at `path`
    bool loop = false;                            // `path` is a directory that is also its own ancestor
    bool changed = false;                         // `path` is a directory the walk could not return to:
                                                  // it was moved or replaced while the walk was below it
    std::string reason = {};                      // what failed at `path`, where no errno tells it
};

// Whether `found` is a failure to report at its path rather than a file to open.
bool isFailure(const Found &found);

// What to say of a failure: the error's text, "file system loop detected",
// "directory changed during the walk", or its reason.
std::string failureReason(const Found &found);

// What a walk takes: files whose names end in '.' and one of `extensions`,
// but for those that `ignores` passes over, with the directories it passes
// over. It is asked about directories and those files only.
struct WalkRules {
    std::vector<std::string> extensions;
    TreeIgnores *ignores = nullptr;
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
// directories held open, by the walk and by the files it found, reach a
// share of the process's limit on descriptors, it waits for other threads
// to let go of some, so that they are left descriptors to open the files.
void walkTree(const std::string &root, const WalkRules &rules, const std::function<void(Found &&)> &found);

// Opens a file that a walk found, for reading and without waiting, never
// following a link. Returns its descriptor; or -1 with `error` 0 when the
// file is to be passed over, as it is no longer a regular file or is gone;
// or -1 with the errno of the failure. When the process is out of
// descriptors it waits for another thread to release one (see DescriptorWait).
int openFound(const Found &found, int &error);

// Lets an open that failed for want of a descriptor (EMFILE, ENFILE) wait
// for one and try again, rather than fail for a file that is fine:
//     DescriptorWait wait;
//     while ((fd = open(...)) < 0 && wait.again(errno)) {}
// again() waits until another thread says it released a descriptor, or a
// few milliseconds pass; it gives up after two seconds in which no thread
// released any.
class DescriptorWait {
public:
    // Whether to try again after an open failed with `error`; waits first.
    bool again(int error);

private:
    int quietWaits_ = 0; // waits in a row that no release ended
};

// Wakes the opens waiting for a descriptor; call it after closing one that
// openFound gave. (An OpenDirectory says it itself when it closes.)
void descriptorReleased();
