// The classes of the lines: code, comment or blank. A line's non-blank
// bytes are counted as code or as a comment's from the lexer's marks, but
// for the backslash of a line splice, the last non-blank byte of a line
// with no NUL after it, which is no character of a token or a comment: a
// line with a byte of code is code, else one with a byte of a comment is a
// comment line, else it is blank.

// What the last non-blank byte of a line so far is.
enum : unsigned char { NOT_BACKSLASH = 0, CODE_BACKSLASH = 1, COMMENT_BACKSLASH = 2 };

CMEASURE_INLINE void addLineBytes(crules::LineState &line, int code, int comment, unsigned char last)
{
    line.codeBytes += code;
    line.commentBytes += comment;
    if (code + comment != 0)
        line.lastBackslash = last;
}

CMEASURE_INLINE void endLineClass(crules::LineState &line)
{
    const crules::Count code = line.codeBytes - (line.lastBackslash == CODE_BACKSLASH ? 1 : 0);
    const crules::Count comment = line.commentBytes - (line.lastBackslash == COMMENT_BACKSLASH ? 1 : 0);
    line.codeLines += code > 0 ? 1 : 0;
    line.commentLines += code <= 0 && comment > 0 ? 1 : 0;
    line.codeBytes = 0;
    line.commentBytes = 0;
    line.lastBackslash = NOT_BACKSLASH;
}

// A NUL among bytes [from, to) of a group: after a backslash, it makes
// it a character rather than a splice.
CMEASURE_INLINE bool holdsNul(const unsigned char *group, int from, int to)
{
    return from < to && std::memchr(group + from, 0, static_cast<std::size_t>(to - from)) != nullptr;
}

// The LFs of a group's bytes being classified, and the bytes that begin
// its segments: the first byte, and each byte after an LF.
struct Segments {
    std::uint64_t lf;
    std::uint64_t starts;
};

// The segments of a group that `starts` begin, each ended by the next LF of
// `lf`, that hold a byte of `marks`: a carry from each start runs over the
// bytes that are neither marks nor LF to the first that is, so the bits it
// lands on are each such segment's first mark, or its LF.
CMEASURE_INLINE std::uint64_t segmentsHolding(std::uint64_t marks, const Segments &segments)
{
    const std::uint64_t events = marks | segments.lf;
    return (~events + segments.starts) & events & marks;
}

// Backslashes of `backslashes` that end a line, or may, being the last
// symbol of the group: no symbol follows them before an LF.
CMEASURE_INLINE bool backslashMayEndLine(std::uint64_t backslashes, const Segments &segments, std::uint64_t symbols)
{
    const std::uint64_t lf = segments.lf;
    const std::uint64_t events = symbols | lf;
    const int last = highestBit(backslashes);
    return ((~events + (backslashes << 1)) & lf) != 0 || (events & ~lowBits(last + 1)) == 0;
}

// Bytes [from, to) of a group, which `lf` ends or not, added to the line.
// The bytes of code and of comments of a group.
struct ByteClasses {
    std::uint64_t code;
    std::uint64_t comment;
};

CMEASURE_INLINE void addLinePart(crules::LineState &line, const unsigned char *group, const ByteClasses &classes,
                                 int from, int to)
{
    const std::uint64_t code = classes.code;
    const std::uint64_t comment = classes.comment;
    const std::uint64_t part = lowBits(to) & ~lowBits(from);
    const std::uint64_t marked = (code | comment) & part;
    unsigned char last = NOT_BACKSLASH;
    int after = from;
    if (marked != 0) {
        const int at = highestBit(marked);
        after = at + 1;
        if (group[at] == '\\')
            last = ((comment >> at) & 1) != 0 ? COMMENT_BACKSLASH : CODE_BACKSLASH;
    }
    addLineBytes(line, bitsSet<64>(code & part), bitsSet<64>(comment & part), last);
    if (line.lastBackslash != NOT_BACKSLASH && holdsNul(group, after, to))
        line.lastBackslash = NOT_BACKSLASH;
}

// The classes of the lines in bytes [from, to) of a group, from its masks
// and the lexer's marks: a line at a time where a backslash may end one,
// else from the masks, the line left open carried into the first segment
// as a mark on its first byte.
CMEASURE_INLINE void classifyLines(crules::LineState &line, const unsigned char *group, const CMasks &masks,
                                   const crules::Marks &marks, int from, int to)
{
    const std::uint64_t range = lowBits(to) & ~lowBits(from);
    const std::uint64_t symbols = ~masks.blank & range;
    const std::uint64_t comment = symbols & marks.comment;
    const std::uint64_t code = (symbols & ~marks.comment) | (marks.code & range);
    const std::uint64_t backslashes = masks.ends & ~masks.lf & symbols;
    std::uint64_t lf = masks.lf & range;
    const bool spliced = backslashes != 0 && backslashMayEndLine(backslashes, {.lf = lf, .starts = 0}, symbols);
    if (line.lastBackslash != NOT_BACKSLASH || spliced) {
        for (int start = from; start < to;) {
            const int end = lf == 0 ? to : std::countr_zero(lf) + 1;
            lf &= lf - 1;
            addLinePart(line, group, {.code = code, .comment = comment}, start, end);
            if (group[end - 1] == '\n')
                endLineClass(line);
            start = end;
        }
        return;
    }
    if (lf == 0) {
        line.codeBytes += bitsSet<64>(code);
        if (comment != 0)
            line.commentBytes += bitsSet<64>(comment);
        return;
    }
    const std::uint64_t ended = ~std::uint64_t{0} >> std::countl_zero(lf); // up to the last LF
    const std::uint64_t open = bitAt(from);
    const Segments segments{.lf = lf, .starts = (lf << 1) | open};
    const std::uint64_t codeMarks = code | (line.codeBytes != 0 ? open : 0);
    const int codeLines = bitsSet<64>(segmentsHolding(codeMarks, segments) & ended);
    line.codeLines += codeLines;
    line.codeBytes = bitsSet<64>(code & ~ended);
    // Most groups hold no comment: the lines that hold anything then hold
    // code, and the second carry is spared.
    if (comment != 0 || line.commentBytes != 0) {
        const std::uint64_t anyMarks = codeMarks | comment | (line.commentBytes != 0 ? open : 0);
        line.commentLines += bitsSet<64>(segmentsHolding(anyMarks, segments) & ended) - codeLines;
        line.commentBytes = bitsSet<64>(comment & ~ended);
    }
}

// One byte, read a byte at a time: a comment's if `comment`, a raw string's if `raw`.
CMEASURE_INLINE void classifyByte(crules::LineState &line, unsigned char c, bool comment, bool raw)
{
    if (c == 0)
        line.lastBackslash = NOT_BACKSLASH;
    if (!isBlankByte(c)) {
        const unsigned char last = c != '\\' ? NOT_BACKSLASH : comment ? COMMENT_BACKSLASH : CODE_BACKSLASH;
        addLineBytes(line, comment ? 0 : 1, comment ? 1 : 0, last);
    } else if (raw) {
        addLineBytes(line, 1, 0, NOT_BACKSLASH);
    }
    if (c == '\n')
        endLineClass(line);
}
