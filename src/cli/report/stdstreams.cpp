#include "report/stdstreams.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

void endOnWriteError(int error)
{
    complain("write error", std::strerror(error));
    _exit(1);
}

int StdoutBuffer::flush()
{
    int error = 0;
    if (!text.empty())
        error = closed_ ? EBADF : writeWhenReady(STDOUT_FILENO, text);
    text.clear();
    return error;
}

int StdoutBuffer::flush(std::string_view bytes)
{
    const int error = flush();
    if (error != 0 || bytes.empty())
        return error;
    return closed_ ? EBADF : writeWhenReady(STDOUT_FILENO, bytes);
}

void writeOrEnd(bool closed, std::string_view bytes)
{
    if (const int error = closed ? EBADF : writeWhenReady(STDOUT_FILENO, bytes); error != 0)
        endOnWriteError(error);
}

} // namespace cli
