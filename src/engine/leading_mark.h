// A UTF-8 byte order mark (U+FEFF, the bytes EF BB BF) at the start of an
// input, as editors on Windows save it: compilers skip it, so the lexer
// reads it as three spaces. A directive after it is then first on its
// line, it is neither an identifier nor a symbol, and the byte columns of
// line 1 still count its bytes, as they are in the file. Anywhere else the
// bytes are a character like any other.
#pragma once

#include <cstddef>

#include "c_state.h"

namespace crules {

// What feeds the lexer: a set's entry point.
using FeedC = void (*)(State &state, const unsigned char *bytes, std::size_t length);

// Stands between an input's pieces and the lexer; a mark may come in
// pieces, so up to two of its bytes are held back until the third decides.
class LeadingMark {
public:
    // `atStart`: the input begins where the text does; a later part of it,
    // as a second half is, has no mark to skip.
    explicit LeadingMark(bool atStart = true) : decided_(!atStart) {}

    void feed(FeedC feedC, State &state, const unsigned char *bytes, std::size_t length)
    {
        for (; !decided_ && length > 0; bytes++, length--) {
            if (*bytes != MARK[held_]) {
                release(feedC, state, MARK, held_);
                break;
            }
            if (++held_ == sizeof MARK) {
                // Editors show none of it: the columns in characters of
                // line 1 start after it.
                if (state.gate != nullptr)
                    state.lines.continuing = sizeof MARK;
                release(feedC, state, SPACES, sizeof SPACES);
            }
        }
        if (length > 0)
            feedC(state, bytes, length);
    }

    // At the end of the input: the bytes held back, if no more came.
    void finish(FeedC feedC, State &state)
    {
        if (!decided_)
            release(feedC, state, MARK, held_);
    }

private:
    static constexpr unsigned char MARK[3] = {0xEF, 0xBB, 0xBF};
    static constexpr unsigned char SPACES[3] = {' ', ' ', ' '};

    void release(FeedC feedC, State &state, const unsigned char *bytes, std::size_t length)
    {
        decided_ = true;
        if (length > 0)
            feedC(state, bytes, length);
    }

    unsigned char held_ = 0;
    bool decided_;
};

} // namespace crules
