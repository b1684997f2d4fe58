// What a walk finds, how the command line opens it, and what it does when the
// process is out of descriptors: wait for another thread to release one,
// rather than fail for a file that is fine.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace cli {

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

// What a walk finds: a file to measure, a failure to report at `path`
// (isFailure tells which), or, when asked for, a mark where the walk enters
// or leaves a directory.
struct Found {
    enum class Mark { None, Entered, Left };

    std::string path;                             // the root joined by '/' to the names below it
    std::shared_ptr<const OpenDirectory> directory = {}; // where `name` lies; null for a failure
    std::string name = {};                        // the file's name in `directory`
    int error = 0;                                // errno of what could not be read at `path`
    bool loop = false;                            // `path` is a directory that is also its own ancestor
    bool changed = false;                         // `path` is a directory the walk could not return to:
                                                  // it was moved or replaced while the walk was below it
    std::string reason = {};                      // what failed at `path`, where no errno tells it
    Mark mark = Mark::None;                       // `path` is a directory the walk enters or leaves
};

// Whether `found` is a failure to report at its path rather than a file to open.
bool isFailure(const Found &found);

// What to say of a failure: the error's text, "file system loop detected",
// "directory changed during the walk", or its reason.
std::string failureReason(const Found &found);

// OpenDirectory objects alive, in the walk and in the files it found.
std::size_t directoriesOpen();

// Whether a failed open failed for want of a descriptor (EMFILE, ENFILE).
bool outOfDescriptors(int error);

// Opens the file `name` that a walk found in `directory`, for reading and
// without waiting, never following a link. Returns its descriptor; or -1
// with `error` 0 when the file is to be passed over, as it is no longer a
// regular file or is gone; or -1 with the errno of the failure, a failure
// to learn what it is included. When the process is out of descriptors it
// waits for another thread to release one (see DescriptorWait). `size`,
// if given, learns the file's size.
int openFound(const OpenDirectory *directory, const std::string &name, int &error, off_t *size = nullptr);

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

// Reads what is left of an open file into `text`, up to `most` bytes: 0,
// or the errno of a failure, EFBIG past `most`. Reads interrupted by a
// signal are made again.
int readWhole(int fd, std::string &text, std::size_t most);

// Wakes the opens waiting for a descriptor; call it after closing one that
// openFound gave. (An OpenDirectory says it itself when it closes.)
void descriptorReleased();

} // namespace cli
