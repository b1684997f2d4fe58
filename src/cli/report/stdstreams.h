// The standard descriptors as the command line uses them: held open from
// the start, standard output written in large blocks, messages on standard
// error, and the one policy for a failed write.
#pragma once

#include <string>
#include <string_view>

namespace cli {

// The standard descriptors that were closed when the program started. Each
// is then held open on /dev/null, so that no file the program opens takes
// its number and is read or written in its place.
struct ClosedAtStart {
    bool input = false;
    bool output = false;
};

ClosedAtStart holdStandardDescriptors();

// Writes `message` to standard error as it is.
void say(std::string_view message);

// "cmeasure: PATH: REASON", the path escaped so that it stays on one line.
void complain(std::string_view path, std::string_view reason);

// Once standard output fails no one reads what the walk and the workers
// would still produce: the run ends at once, with them, and says why, with
// status 1. `error` is the errno of the failed write.
[[noreturn]] void endOnWriteError(int error);

// Standard output, written in large blocks. A standard output that was
// closed at start fails as it would have: nothing is written to /dev/null
// in its place.
class StdoutBuffer {
public:
    static constexpr std::size_t FULL = 1 << 16;

    explicit StdoutBuffer(bool closed) : closed_(closed) {}

    std::string text;

    // Writes what is held; returns 0 or the errno of the failed write.
    int flush();

    // Writes what is held, then `bytes` without holding them.
    int flush(std::string_view bytes);

    bool full() const { return text.size() >= FULL; }

private:
    bool closed_;
};

// Writes `bytes` to standard output, or else ends the run (endOnWriteError).
void writeOrEnd(bool closed, std::string_view bytes);

// From now on, while standard output is a regular file, `closing` stands
// written after what it holds, and each write takes its place: when a
// write fails (the disk full, a limit on a file's size), what was written
// before it is kept, with the closing, where it fitted before. A document
// cut by a failed write is then still closed. Whoever writes standard
// output calls these, one at a time (see gate.h).
void keepClosed(std::string closing);

// Drops the closing kept, before the document's own end is written.
void stopKeepingClosed();

} // namespace cli
