// Whole-file writes and reads on a descriptor, for the fuzz targets' scratch
// files. libFuzzer's timeout alarm interrupts the target every timeout/2 + 1
// seconds, so a call that a signal may cut short is retried or continued,
// never taken for a failure or for the whole transfer.
#pragma once

#include <cerrno>
#include <string>
#include <sys/types.h>
#include <unistd.h>

namespace scratch {

// Makes the file hold exactly `size` bytes from `bytes`, its offset at the start.
inline bool replace(int fd, const char *bytes, size_t size)
{
    int truncated;
    do
        truncated = ftruncate(fd, 0);
    while (truncated != 0 && errno == EINTR);
    for (size_t done = 0; truncated == 0 && done < size;) {
        ssize_t wrote = pwrite(fd, bytes + done, size - done, static_cast<off_t>(done));
        if (wrote > 0)
            done += static_cast<size_t>(wrote);
        else if (wrote == 0 || errno != EINTR)
            return false;
    }
    return truncated == 0 && lseek(fd, 0, SEEK_SET) == 0;
}

// Reads the whole file from its start, wherever its offset is.
inline bool read(int fd, std::string &bytes)
{
    char block[1 << 12];
    bytes.clear();
    for (;;) {
        ssize_t got = pread(fd, block, sizeof block, static_cast<off_t>(bytes.size()));
        if (got > 0)
            bytes.append(block, static_cast<size_t>(got));
        else if (got == 0)
            return true;
        else if (errno != EINTR)
            return false;
    }
}

} // namespace scratch
