#include "find/opening.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {

namespace {

// How long an open that lacks a descriptor waits for one at a time, and how
// long it goes on waiting while no other thread releases any: 200 waits of
// 10 ms, two seconds in which no thread let go of a descriptor.
constexpr auto DESCRIPTOR_WAIT = std::chrono::milliseconds(10);
constexpr int QUIET_WAITS_BEFORE_GIVING_UP = 200;

// Every thread's releases of descriptors, for the opens waiting for one.
std::mutex releaseMutex;
std::condition_variable releaseSignal;
unsigned long releases = 0;
std::atomic<int> waitingOpens{0};

std::atomic<std::size_t> openDirectories{0};

} // namespace

bool isFailure(const Found &found)
{
    return found.error != 0 || found.loop || found.changed || !found.reason.empty();
}

std::string failureReason(const Found &found)
{
    if (found.loop)
        return "file system loop detected";
    if (found.changed)
        return "directory changed during the walk";
    if (!found.reason.empty())
        return found.reason;
    return std::strerror(found.error);
}

std::size_t directoriesOpen()
{
    return openDirectories.load();
}

bool outOfDescriptors(int error)
{
    return error == EMFILE || error == ENFILE;
}

OpenDirectory::OpenDirectory(int fd) : fd_(fd)
{
    openDirectories++;
}

OpenDirectory::~OpenDirectory()
{
    if (fd_ >= 0)
        close(fd_);
    openDirectories--;
    descriptorReleased();
}

int openFound(const OpenDirectory *directory, const std::string &name, int &error, off_t *size)
{
    const int at = directory != nullptr ? directory->fd() : AT_FDCWD;
    DescriptorWait wait;
    int fd = -1;
    while ((fd = openat(at, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW)) < 0) {
        error = errno;
        if (!wait.again(error))
            break;
    }
    if (fd < 0) {
        // A link (O_NOFOLLOW's ELOOP), or a file gone since it was listed.
        if (error == ELOOP || error == ENOENT)
            error = 0;
        return -1;
    }
    struct stat status;
    const bool known = fstat(fd, &status) == 0;
    error = known ? 0 : errno;
    if (!known || !S_ISREG(status.st_mode)) {
        close(fd);
        descriptorReleased();
        return -1;
    }
    if (size != nullptr)
        *size = status.st_size;
    return fd;
}

bool DescriptorWait::again(int error)
{
    if (!outOfDescriptors(error) || quietWaits_ >= QUIET_WAITS_BEFORE_GIVING_UP)
        return false;
    std::unique_lock lock(releaseMutex);
    const unsigned long seen = releases;
    waitingOpens++;
    const bool released = releaseSignal.wait_for(lock, DESCRIPTOR_WAIT, [seen] { return releases != seen; });
    waitingOpens--;
    quietWaits_ = released ? 0 : quietWaits_ + 1;
    return true;
}

int readWhole(int fd, std::string &text, std::size_t most)
{
    char block[1 << 14];
    for (;;) {
        const ssize_t got = read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got < 0 ? errno : 0;
        text.append(block, static_cast<std::size_t>(got));
        if (text.size() > most)
            return EFBIG;
    }
}

void descriptorReleased()
{
    if (waitingOpens.load() == 0)
        return;
    std::lock_guard lock(releaseMutex);
    releases++;
    releaseSignal.notify_all();
}

} // namespace cli
