#include "text_input.h"

#include "descriptors.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// Drops every carriage return that directly precedes a newline, in place,
// and returns the new length.
std::size_t dropReturnsBeforeNewlines(char *bytes, std::size_t length)
{
    char *out = static_cast<char *>(std::memchr(bytes, '\r', length));
    if (out == nullptr)
        return length;
    const char *end = bytes + length;
    for (const char *in = out; in < end; in++)
        if (!(*in == '\r' && in + 1 < end && in[1] == '\n'))
            *out++ = *in;
    return static_cast<std::size_t>(out - bytes);
}

} // namespace

TextInput::TextInput(int fd, bool owned) : fd_(fd), owned_(owned) {}

TextInput::~TextInput()
{
    close();
}

void TextInput::close()
{
    if (owned_ && fd_ >= 0)
        ::close(fd_);
    owned_ = false;
}

void TextInput::reopen(int fd, bool owned, off_t size)
{
    close();
    fd_ = fd;
    owned_ = owned;
    next_ = end_ = 0;
    heldReturn_ = ended_ = readToEnd_ = false;
    size_ = size;
    read_ = 0;
    if (filesNotAsking_ > 0)
        filesNotAsking_--;
    error_ = 0;
    at_ = -1;
}

void TextInput::reopenAt(int fd, FileSpan span)
{
    reopen(fd, false, span.length);
    at_ = span.offset;
    left_ = span.length;
}

void TextInput::setWaitNotice(WaitNotice notice, void *context)
{
    waitNotice_ = notice;
    waitContext_ = context;
}

// A file system that cannot tell what is in memory (tmpfs, /proc) costs a
// failed call, as much as a short read (0.6 us here): the files after one
// that could not tell do not ask, but every 256th, since a tree seldom
// spans two file systems.
ssize_t TextInput::readAtOffset(char *into, std::size_t size)
{
    if (waitNotice_ != nullptr && size_ >= 0 && filesNotAsking_ == 0) {
        const ssize_t got = readIfInMemory(fd_, into, size);
        if (got >= 0 || (errno != EAGAIN && errno != EOPNOTSUPP && errno != EINVAL))
            return got;
        if (errno == EAGAIN)
            waitNotice_(waitContext_);
        else
            filesNotAsking_ = 256;
    }
    return readWhenReady(fd_, into, size);
}

ssize_t TextInput::readMore(char *into, std::size_t size)
{
    if (at_ < 0)
        return readAtOffset(into, size);
    size = std::min(size, static_cast<std::size_t>(left_));
    ssize_t got = 0;
    while ((got = size > 0 ? pread(fd_, into, size, at_) : 0) < 0 && errno == EINTR) {
    }
    at_ += std::max<ssize_t>(got, 0);
    left_ -= std::max<ssize_t>(got, 0);
    return got;
}

// Reads what the descriptor has into the buffer. A carriage return at the
// end of a read is held back until the next read shows what follows it.
// Returns false when nothing more can be delivered.
bool TextInput::refill()
{
    while (!ended_) {
        std::size_t kept = 0;
        if (heldReturn_)
            bytes_[kept++] = '\r';
        heldReturn_ = false;
        const std::size_t asked = sizeof bytes_ - kept;
        const ssize_t got = readToEnd_ ? 0 : readMore(bytes_ + kept, asked);
        std::size_t length = kept;
        if (got <= 0) {
            ended_ = true;
            error_ = got < 0 ? errno : 0;
        } else {
            read_ += got;
            readToEnd_ = static_cast<std::size_t>(got) < asked && size_ > 0 && read_ >= size_;
            length = dropReturnsBeforeNewlines(bytes_, kept + static_cast<std::size_t>(got));
            heldReturn_ = bytes_[length - 1] == '\r';
            length -= heldReturn_;
        }
        next_ = 0;
        end_ = length;
        if (length > 0)
            return true;
    }
    return false;
}

void TextInput::resume()
{
    if (error_ == 0)
        ended_ = false;
}

int TextInput::readLine(char *buffer, int size)
{
    const std::size_t room = size > 0 ? static_cast<std::size_t>(size - 1) : 0;
    std::size_t copied = 0;
    while (copied < room && (next_ < end_ || refill())) {
        const char *from = bytes_ + next_;
        std::size_t take = std::min(room - copied, end_ - next_);
        if (const void *newline = std::memchr(from, '\n', take))
            take = static_cast<std::size_t>(static_cast<const char *>(newline) - from) + 1;
        std::memcpy(buffer + copied, from, take);
        next_ += take;
        copied += take;
        if (buffer[copied - 1] == '\n')
            break;
    }
    if (size > 0)
        buffer[copied] = '\0';
    return static_cast<int>(copied);
}

std::string_view TextInput::unread()
{
    if (next_ == end_ && !refill())
        return {};
    return {bytes_ + next_, end_ - next_};
}

void TextInput::skip(std::size_t count)
{
    next_ += std::min(count, end_ - next_);
}

int TextInput::peek()
{
    if (next_ == end_ && !refill())
        return EOF;
    return static_cast<unsigned char>(bytes_[next_]);
}

int TextInput::get()
{
    const int c = peek();
    if (c != EOF)
        next_++;
    return c;
}

void TextInput::skipWhiteSpace()
{
    for (int c = peek(); c != EOF && std::isspace(c); c = peek())
        get();
}

TextInput &consoleInput()
{
    static TextInput input(STDIN_FILENO);
    return input;
}
