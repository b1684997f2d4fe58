#include "descriptors.h"

#include <cerrno>
#include <poll.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

// Waits until `fd` is ready for `events`; false when poll itself fails.
bool waitFor(int fd, short events)
{
    pollfd ready = {fd, events, 0};
    return poll(&ready, 1, -1) >= 0 || errno == EINTR;
}

} // namespace

ssize_t readWhenReady(int fd, char *into, std::size_t size)
{
    for (;;) {
        const ssize_t got = read(fd, into, size);
        if (got >= 0 || (errno != EINTR && errno != EAGAIN))
            return got;
        if (errno == EAGAIN && !waitFor(fd, POLLIN))
            return -1;
    }
}

ssize_t readIfInMemory(int fd, char *into, std::size_t size)
{
    iovec piece{into, size};
    ssize_t got = 0;
    while ((got = preadv2(fd, &piece, 1, -1, RWF_NOWAIT)) < 0 && errno == EINTR) {
    }
    return got;
}

int writeWhenReady(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t done = write(fd, bytes.data(), bytes.size());
        if (done >= 0)
            bytes.remove_prefix(static_cast<std::size_t>(done));
        else if (errno != EINTR && (errno != EAGAIN || !waitFor(fd, POLLOUT)))
            return errno;
    }
    return 0;
}
