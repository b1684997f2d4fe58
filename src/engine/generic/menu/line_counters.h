// The menu's two counters of a line buffer, as its typed lines use them.

// The zero bytes among the 64 at `group`, a block or several.
CMEASURE_INLINE std::uint64_t zerosIn64(const unsigned char *group)
{
    std::uint64_t zeros = 0;
    for (int k = 0; k < 64; k += Blocks::WIDTH)
        zeros |= Blocks::equal(group + k, 0) << k;
    return zeros;
}

// The blanks among the 64 bytes at `group`: spaces and zero bytes.
CMEASURE_INLINE std::uint64_t blanksIn64(const unsigned char *group)
{
    std::uint64_t blanks = 0;
    for (int k = 0; k < 64; k += Blocks::WIDTH)
        blanks |= (Blocks::equal(group + k, ' ') | Blocks::equal(group + k, 0)) << k;
    return blanks;
}

// Positions of `line` up to its last nonzero byte: everything after them is
// zero fill. Short lines are the rule, so the fill is skipped from the back,
// 64 bytes at a time; the last group looked at, at 0, overlaps the one
// after it, as 64 does not divide the line.
CMEASURE_INLINE int textEnd(const unsigned char *line)
{
    for (int base = LINE_BUFFER_SIZE - 64;; base = std::max(base - 64, 0)) {
        if (!Blocks::allZero(line + base))
            return base + 64 - std::countl_zero(~zerosIn64(line + base));
        if (base == 0)
            return 0;
    }
}

// The first `length` bytes of a zero-filled line buffer, all of which may be read.
CMEASURE_INLINE Text textOf(const char *line, int length)
{
    static_assert(LINE_BUFFER_SIZE >= 64, "the buffer holds a block of any width");
    return {.bytes = bytesOf(line), .length = length, .readable = LINE_BUFFER_SIZE};
}

// The counters of the line buffer take its text to end at the last nonzero
// byte: zero bytes before it count just as the fill after it does.
// Spaces and zero bytes are the blanks; the rest are symbols. They are
// counted 64 bytes at a time, so that narrow blocks pay for a count once
// per four or two of them; a group that would reach past the buffer is
// read as its last group, moved down, as classifyAt does.
int symbols(const char *line)
{
    const int length = textEnd(bytesOf(line));
    int blanks = 0;
    for (int base = 0; base < length; base += 64) {
        const int from = std::min(base, LINE_BUFFER_SIZE - 64);
        const std::uint64_t blank = blanksIn64(bytesOf(line) + from) >> (base - from);
        blanks += Blocks::POPCNT ? std::popcount(blank & lowBits(length - base))
                                 : bitsSetIn64(blank & lowBits(length - base));
    }
    return length - blanks;
}

int identifiers(const char *line, bool &in_comment)
{
    return measureText(textOf(line, textEnd(bytesOf(line))), in_comment).identifiers;
}
