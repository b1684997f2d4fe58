// The walk of a source tree, and how the files it finds are opened.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

// A directory held open by a walk. The files found in it are opened
// relative to it, so that no path is resolved again once the walk has
// passed it; it closes when the last file found in it lets go of it.
class OpenDirectory {
public:
    explicit OpenDirectory(int fd) : fd_(fd) {}
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
};

// What a walk takes: files whose names end in '.' and one of `extensions`.
struct WalkRules {
    std::vector<std::string> extensions;
};

// Calls `found` with every file below the directory `root` that the rules
// take, and with every failure to read a directory or an entry below it.
// Names beginning with '.' are passed over, and so are symbolic links, so
// that a link loop cannot trap the walk, and FIFOs, sockets and devices, so
// that it never blocks.
void walkTree(const std::string &root, const WalkRules &rules, const std::function<void(Found &&)> &found);

// Opens a file that a walk found, for reading and without waiting. Returns
// its descriptor; or -1 with `error` 0 when the file is to be passed over,
// as it is no longer a regular file; or -1 with the errno of the failure.
int openFound(const Found &found, int &error);
