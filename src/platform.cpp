#include "platform.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

struct TextInput {
    int fd;
    char bytes[1 << 16];
    size_t next;     // first byte not yet delivered
    size_t end;      // end of the bytes ready for delivery
    bool heldReturn; // a carriage return ended the last read: is a newline next?
    bool ended;
    bool failed;
};

TextInput consoleInput = {STDIN_FILENO, {}, 0, 0, false, false, false};
TextInput fileInput = {-1, {}, 0, 0, false, true, false};

TextInput &inputOf(FILE *file)
{
    return file == stdin ? consoleInput : fileInput;
}

// Drops every carriage return that directly precedes a newline, in place,
// and returns the new length.
size_t dropReturnsBeforeNewlines(char *bytes, size_t length)
{
    char *out = static_cast<char *>(std::memchr(bytes, '\r', length));
    if (out == nullptr)
        return length;
    const char *end = bytes + length;
    for (const char *in = out; in < end; in++)
        if (!(*in == '\r' && in + 1 < end && in[1] == '\n'))
            *out++ = *in;
    return static_cast<size_t>(out - bytes);
}

// Reads what the descriptor has into the buffer. A carriage return at the
// end of a read is held back until the next read shows what follows it.
// Returns false when nothing more can be delivered.
bool refill(TextInput &in)
{
    while (!in.ended) {
        size_t kept = 0;
        if (in.heldReturn)
            in.bytes[kept++] = '\r';
        in.heldReturn = false;
        ssize_t got;
        do
            got = read(in.fd, in.bytes + kept, sizeof in.bytes - kept);
        while (got < 0 && errno == EINTR);
        size_t length = kept;
        if (got <= 0) {
            in.ended = true;
            in.failed = got < 0;
        } else {
            length = dropReturnsBeforeNewlines(in.bytes, kept + static_cast<size_t>(got));
            in.heldReturn = in.bytes[length - 1] == '\r';
            length -= in.heldReturn;
        }
        in.next = 0;
        in.end = length;
        if (length > 0)
            return true;
    }
    return false;
}

} // namespace

void beginTextInput(FILE *file)
{
    fileInput.fd = fileno(file);
    fileInput.next = fileInput.end = 0;
    fileInput.heldReturn = fileInput.failed = false;
    fileInput.ended = fileInput.fd < 0;
}

int readTextLine(char *buffer, int size, FILE *file)
{
    TextInput &in = inputOf(file);
    size_t room = size > 0 ? static_cast<size_t>(size - 1) : 0;
    size_t copied = 0;
    while (copied < room && (in.next < in.end || refill(in))) {
        const char *from = in.bytes + in.next;
        size_t take = std::min(room - copied, in.end - in.next);
        if (const void *newline = std::memchr(from, '\n', take))
            take = static_cast<size_t>(static_cast<const char *>(newline) - from) + 1;
        std::memcpy(buffer + copied, from, take);
        in.next += take;
        copied += take;
        if (buffer[copied - 1] == '\n')
            break;
    }
    if (size > 0)
        buffer[copied] = '\0';
    return static_cast<int>(copied);
}

int peekTextChar(FILE *file)
{
    TextInput &in = inputOf(file);
    if (in.next == in.end && !refill(in))
        return EOF;
    return static_cast<unsigned char>(in.bytes[in.next]);
}

int getTextChar(FILE *file)
{
    int c = peekTextChar(file);
    if (c != EOF)
        inputOf(file).next++;
    return c;
}

void skipTextWhiteSpace(FILE *file)
{
    for (int c = peekTextChar(file); c != EOF && std::isspace(c); c = peekTextChar(file))
        getTextChar(file);
}

bool textInputFailed(FILE *file)
{
    return inputOf(file).failed;
}
