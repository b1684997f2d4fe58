// Text-mode input for Linux, whose stdio delivers bytes untranslated.
// A carriage return directly before a newline is not delivered, so CRLF
// files and terminals give the same lines as LF ones; a carriage return not
// followed by a newline is an ordinary character. Reads go straight to the
// file descriptor through the object's own buffer, and a read never waits
// for more than the terminal has already sent.
#pragma once

#include <cstddef>
#include <string_view>
#include <sys/types.h>

// Bytes [offset, offset + length) of a file.
struct FileSpan {
    off_t offset;
    off_t length;
};

class TextInput {
public:
    // Delivers `fd` from its current position; closes it at the end only
    // when `owned`.
    explicit TextInput(int fd, bool owned = false);
    ~TextInput();
    TextInput(const TextInput &) = delete;
    TextInput &operator=(const TextInput &) = delete;

    // Starts over on another descriptor, reusing the buffer. `size`: that of
    // a regular file, if known; a read shorter than asked that reaches it is
    // the end, which then costs no read of its own. (A file of /proc has the
    // size 0 and reads shorter than asked before its end.)
    void reopen(int fd, bool owned = false, off_t size = -1);

    // Starts over on `fd`, not owned, delivering at most the bytes of
    // `span`. Its reads leave the descriptor's offset alone, so that inputs
    // on one descriptor may read its parts side by side.
    void reopenAt(int fd, FileSpan span);

    // Has each read of a regular file, at the descriptor's offset, first
    // take only what is in memory, and call `notice(context)` before it
    // waits for the disk. Null: reads without asking (the default).
    using WaitNotice = void (*)(void *context);
    void setWaitNotice(WaitNotice notice, void *context);

    // Closes an owned descriptor now rather than at the next reopen.
    void close();

    // Like fgets: copies delivered characters up to and including the next
    // newline, at most size - 1 of them, then a zero byte. Returns the
    // number copied, 0 only at the end of the input or on a read error.
    int readLine(char *buffer, int size);

    // The delivered characters not yet taken, read from the descriptor first
    // when none are left; empty at the end of the input or on a read error.
    // A scan may measure lines where they lie and then skip() them.
    std::string_view unread();
    void skip(std::size_t count);

    // The next delivered character (as unsigned char), or EOF.
    int peek();
    int get();

    // Skips white space, empty lines included.
    void skipWhiteSpace();

    // Lets the next read after the end of input try the descriptor again:
    // a terminal then delivers what is typed after Ctrl-D, while a pipe or
    // a file reports the end again. Until then the end holds, so that
    // repeated peeks never wait twice. A failed read stays final.
    void resume();

    // The errno of the read that failed, or 0 while the input is whole.
    int error() const { return error_; }

private:
    bool refill();
    ssize_t readMore(char *into, std::size_t size);
    ssize_t readAtOffset(char *into, std::size_t size);

    int fd_;
    bool owned_;
    std::size_t next_ = 0;     // first byte not yet delivered
    std::size_t end_ = 0;      // end of the bytes ready for delivery
    bool heldReturn_ = false;  // a carriage return ended the last read: is a newline next?
    off_t size_ = -1;          // of a regular file, if known
    off_t read_ = 0;           // bytes read from the descriptor
    bool readToEnd_ = false;   // the last read was short and reached size_: the next is the end
    bool ended_ = false;
    int error_ = 0;
    off_t at_ = -1;   // of the next read when reopened at an offset; -1 reads at the descriptor's own
    off_t left_ = 0;  // bytes that such reads may still deliver
    WaitNotice waitNotice_ = nullptr;
    void *waitContext_ = nullptr;
    int filesNotAsking_ = 0; // reopens left before a read asks again
    char bytes_[1 << 16];
};

// Standard input, read by nothing else: stdio never buffers any of it.
TextInput &consoleInput();
