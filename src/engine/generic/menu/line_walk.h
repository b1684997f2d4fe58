// The menu's rules: the walk over the masks of a line that applies them,
// both figures of a line in one pass over its blocks. It uses the set's
// `Blocks`: the WIDTH of a block (16, 32 or 64 bytes); POPCNT, whether the
// set has that instruction; equal(), the bytes of a block equal to a given
// one; classify(), its Masks; and allZero(), whether 64 bytes are all zero.

// Text to measure: `length` bytes, and zero fill after them up to
// LINE_BUFFER_SIZE positions. The first `readable` bytes, at least
// `length` and at least a block, may be read.
struct Text {
    const unsigned char *bytes;
    int length;
    int readable;
};

// Where the block at `at` is read from, and how far its masks move down:
// a block that would reach past the readable bytes is read as the last
// block within them, and its masks moved down to start at `at`. The bits
// moved in at the top stand for no byte, and nothing looks at them, as
// text ends within the readable bytes.
CMEASURE_INLINE int readFrom(const Text &text, int at)
{
    return std::min(at, text.readable - Blocks::WIDTH);
}

CMEASURE_INLINE Masks classifyAt(const Text &text, int at)
{
    const int from = readFrom(text, at);
    const Masks masks = Blocks::classify(text.bytes + from);
    const int shift = at - from;
    return {masks.blank >> shift, masks.ident >> shift, masks.word >> shift, masks.opener >> shift,
            masks.closer >> shift};
}

CMEASURE_INLINE std::uint64_t equalAt(const Text &text, int at, unsigned char byte)
{
    const int from = readFrom(text, at);
    return Blocks::equal(text.bytes + from, byte) >> (at - from);
}

// Where the identifier count of a line stands. Every rule acts on all
// positions of the line: the text is walked block by block, the zero fill
// after it settled at once.
struct LineWalk {
    const unsigned char *text;
    int length;                // of the text
    bool quoteFirst;           // the line begins with '"'
    bool inside;               // in a block comment or a string
    bool counting = true;      // no line comment yet
    std::uint64_t pending = 0; // 1 while an identifier runs up to the next position
    int identifiers = 0;
};

// A block of the text: its masks, and where it lies in the line.
struct Block {
    Masks masks;
    int base;  // position of its first byte
    int width; // bytes of text in it
};

// Positions [from, to) of a block.
struct Stretch {
    int from;
    int to;
};

// The byte after position `at`: past the text, the zero fill.
CMEASURE_INLINE unsigned char byteAfter(const LineWalk &walk, int at)
{
    return at + 1 < walk.length ? walk.text[at + 1] : 0;
}

// Identifier ends in a stretch of a block. With ident the identifier
// characters of the stretch and word the letters and '_' among them, in
// ident + word a carry starts at every word bit and runs to the end of its
// run of ident bits, so it lands on exactly the separators that end an
// identifier; digits alone start none. A pending identifier enters as a
// carry at the start of the stretch, and the carry that reaches its end
// leaves as the identifier pending there. At bit 64 that carry leaves the
// word: it is where both addends had a bit, or either had one and the sum
// has none, as in any adder.
template <int BITS> CMEASURE_INLINE int identifierEnds(const Masks &masks, Stretch stretch, std::uint64_t &pending)
{
    const std::uint64_t bits = ~lowBits(stretch.from) & lowBits(stretch.to);
    const std::uint64_t ident = masks.ident & bits;
    const std::uint64_t word = masks.word & bits;
    const std::uint64_t sum = ident + word + (pending << stretch.from);
    pending = stretch.to < 64 ? (sum >> stretch.to) & 1 : ((ident & word) | ((ident | word) & ~sum)) >> 63;
    return bitsSet<BITS>(sum & ~ident & bits);
}

// Inside a comment or string only '*' and '"' can end it: goes to the next one
// from position i of the block and settles it. On a line that begins with a
// quote the flag is cleared at every position, so a comment or string there
// hides just the one character at i. Returns the position to walk next.
CMEASURE_INLINE int walkInside(LineWalk &walk, const Block &block, int i)
{
    if (!walk.quoteFirst && (i = firstBitFrom(block.masks.closer, i)) >= block.width)
        return block.width;
    const int at = block.base + i;
    const unsigned char c = walk.text[at];
    // A quote at position 0 makes quoteFirst true, so position -1 is never
    // read; the guard says so rather than rely on that.
    const bool quote_closes = c == '"' && at > 0 && walk.text[at - 1] != '/';
    if (walk.quoteFirst || (c == '*' && byteAfter(walk, at) == '/') || quote_closes)
        walk.inside = false;
    return i + 1;
}

// Outside comments and strings: counts the identifiers that end from
// position i of the block up to the next '/' or '"', and settles that.
// Returns the position to walk next. BITS: the bits of the block's masks.
template <int BITS = Blocks::WIDTH> CMEASURE_INLINE int walkOutside(LineWalk &walk, const Block &block, int i)
{
    const int stop = std::min(firstBitFrom(block.masks.opener, i), block.width);
    walk.identifiers += identifierEnds<BITS>(block.masks, {.from = i, .to = stop}, walk.pending);
    if (stop == block.width)
        return block.width;
    const int at = block.base + stop;
    const unsigned char next = byteAfter(walk, at);
    if (walk.text[at] == '"' || next == '*') {
        walk.inside = true; // an identifier pending here stays pending
    } else if (next == '/') {
        walk.counting = false; // the rest is a comment, and a pending identifier is lost
    } else {
        walk.identifiers += static_cast<int>(walk.pending); // a lone '/' separates
        walk.pending = 0;
    }
    return stop + 1;
}

// A line comment leaves the line outside comments and strings. Otherwise the
// zero fill after the text settles the line, from position `length` to its
// end: the first zero ends a pending identifier outside comments and
// strings; on a line that begins with a quote it clears the flag instead,
// and the zero after it, if the line has one, ends the identifier.
CMEASURE_INLINE int finishLine(LineWalk &walk, bool &in_comment)
{
    if (!walk.counting) {
        in_comment = false;
        return walk.identifiers;
    }
    if (walk.length < LINE_BUFFER_SIZE) {
        if (!walk.inside || (walk.quoteFirst && walk.length + 1 < LINE_BUFFER_SIZE))
            walk.identifiers += static_cast<int>(walk.pending);
        walk.inside = walk.inside && !walk.quoteFirst;
    }
    in_comment = walk.inside;
    return walk.identifiers;
}

struct LineFigures {
    int symbols;
    int identifiers;
};

// Both figures of a line: one pass over its text, in blocks.
CMEASURE_INLINE LineFigures measureText(const Text &text, bool &in_comment)
{
    LineWalk walk{.text = text.bytes,
                  .length = text.length,
                  .quoteFirst = text.length > 0 && text.bytes[0] == '"',
                  .inside = in_comment};
    int blanks = 0;
    for (int base = 0; base < text.length; base += Blocks::WIDTH) {
        const Block block{classifyAt(text, base), base, std::min(Blocks::WIDTH, text.length - base)};
        blanks += bitsSet(block.masks.blank & lowBits(block.width));
        for (int i = 0; walk.counting && i < block.width;)
            i = walk.inside ? walkInside(walk, block, i) : walkOutside(walk, block, i);
    }
    return {.symbols = text.length - blanks, .identifiers = finishLine(walk, in_comment)};
}
