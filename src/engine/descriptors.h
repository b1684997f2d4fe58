// Reads and writes on descriptors that a caller may have left non-blocking,
// or that a signal may interrupt: both faces use them for standard input and
// output, where a paused terminal or a full pipe is a wait, not a failure.
#pragma once

#include <cstddef>
#include <string_view>
#include <sys/types.h>

// Like read(2), but EINTR reads again, and EAGAIN waits in poll for bytes or
// the end and reads again. (EWOULDBLOCK is EAGAIN on Linux.)
ssize_t readWhenReady(int fd, char *into, std::size_t size);

// Reads from a regular file at its offset only what is in memory already:
// -1 with EAGAIN when the read would wait for the disk, EOPNOTSUPP (or
// EINVAL before Linux 4.14) when the file system cannot tell. EINTR reads
// again.
ssize_t readIfInMemory(int fd, char *into, std::size_t size);

// Writes all of `bytes`, across partial writes, EINTR, and EAGAIN (waiting
// in poll until the descriptor takes more). Returns 0, or the errno of the
// write that failed.
int writeWhenReady(int fd, std::string_view bytes);
