#include "report/stdstreams.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "descriptors.h"
#include "report/escaping.h"

namespace cli {

ClosedAtStart holdStandardDescriptors()
{
    bool closed[3];
    for (int fd = 0; fd < 3; fd++)
        closed[fd] = fcntl(fd, F_GETFD) < 0 && errno == EBADF;
    // Opened in order, each takes the lowest free number: its own.
    for (int fd = 0; fd < 3; fd++)
        if (closed[fd] && open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) < 0) {
            // Without /dev/null the number stays free; nothing better to do.
        }
    return {closed[0], closed[1]};
}

void say(std::string_view message)
{
    if (write(STDERR_FILENO, message.data(), message.size()) < 0) {
        // Nowhere left to say it; the exit status still tells.
    }
}

void complain(std::string_view path, std::string_view reason)
{
    std::string message = "cmeasure: ";
    message.append(printablePath(path)).append(": ").append(reason).append("\n");
    say(message);
}

namespace {

// The closing kept after what standard output holds (keepClosed).
struct KeptClosing {
    bool active = false;
    off_t end = 0; // where what was written ends, and the closing begins
    std::string closing;
};

KeptClosing kept;

// Takes the closing away, so that what comes is written at `kept.end`.
bool dropClosing()
{
    return ftruncate(STDOUT_FILENO, kept.end) == 0 && lseek(STDOUT_FILENO, kept.end, SEEK_SET) == kept.end;
}

// Writes `bytes` to standard output, and the closing after them if one is
// kept; returns 0 or the errno of the failed write. When a write fails,
// what it left is dropped and the closing written back where it stood.
int writeOut(std::string_view bytes)
{
    if (!kept.active)
        return writeWhenReady(STDOUT_FILENO, bytes);
    if (!dropClosing()) {
        kept.active = false;
        return writeWhenReady(STDOUT_FILENO, bytes);
    }
    int error = writeWhenReady(STDOUT_FILENO, bytes);
    if (error == 0) {
        kept.end += static_cast<off_t>(bytes.size());
        error = writeWhenReady(STDOUT_FILENO, kept.closing);
        if (error != 0)
            kept.end -= static_cast<off_t>(bytes.size());
    }
    if (error != 0 && dropClosing() && writeWhenReady(STDOUT_FILENO, kept.closing) != 0) {
        // The closing fitted there before; nothing more can be done.
    }
    kept.active = kept.active && error == 0;
    return error;
}

} // namespace

void keepClosed(std::string closing)
{
    // Not when standard error writes to the same file: its messages, in
    // the document already, would be cut with the closing.
    struct stat status;
    struct stat errors;
    if (fstat(STDOUT_FILENO, &status) != 0 || !S_ISREG(status.st_mode) ||
        (fstat(STDERR_FILENO, &errors) == 0 && errors.st_dev == status.st_dev && errors.st_ino == status.st_ino))
        return;
    // Appending, every write goes to the end, and so does this.
    const int flags = fcntl(STDOUT_FILENO, F_GETFL);
    const off_t at = flags >= 0 && (flags & O_APPEND) != 0 ? status.st_size : lseek(STDOUT_FILENO, 0, SEEK_CUR);
    if (at >= 0)
        kept = {.active = true, .end = at, .closing = std::move(closing)};
}

void stopKeepingClosed()
{
    if (kept.active && !dropClosing()) {
        // Then what follows is written after the closing, as it would be
        // without one kept.
    }
    kept.active = false;
}

void endOnWriteError(int error)
{
    complain("write error", std::strerror(error));
    _exit(1);
}

int StdoutBuffer::flush()
{
    int error = 0;
    if (!text.empty())
        error = closed_ ? EBADF : writeOut(text);
    text.clear();
    return error;
}

int StdoutBuffer::flush(std::string_view bytes)
{
    const int error = flush();
    if (error != 0 || bytes.empty())
        return error;
    return closed_ ? EBADF : writeOut(bytes);
}

void writeOrEnd(bool closed, std::string_view bytes)
{
    if (const int error = closed ? EBADF : writeOut(bytes); error != 0)
        endOnWriteError(error);
}

} // namespace cli
