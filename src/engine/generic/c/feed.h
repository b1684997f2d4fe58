// Stage 4 of C's rules, the scan fed a piece of input at a time. Whole
// groups of 64 bytes are classified once; a group goes to the whole-group
// skipper, else to the span skipper and the mode's skipper, which hand the
// bytes they cannot pass over to the byte lexer one at a time. With a gate,
// a group that may hold an allowing marker is taken a line at a time. The
// lines are counted from the masks, or a byte at a time. The bytes of a
// piece after its last whole group are read from the masks of the 64 bytes
// that end it, and a piece shorter than a group a byte at a time.

// The modes that a byte read in, or that leave the lexer in, may be marked
// for: a comment's and a raw string's. The byte lexer reads most bytes in
// neither.
inline constexpr std::uint32_t MARKED_MODES =
    1u << static_cast<unsigned>(Mode::LineComment) | 1u << static_cast<unsigned>(Mode::BlockComment) |
    1u << static_cast<unsigned>(Mode::BlockStar) | 1u << static_cast<unsigned>(Mode::RawDelimiter) |
    1u << static_cast<unsigned>(Mode::RawBody) | 1u << static_cast<unsigned>(Mode::RawRecovery);

// Marks byte i of the group, which the byte lexer has read in mode `before`.
CMEASURE_INLINE void markByte(crules::State &state, int i, Mode before)
{
    const Mode after = state.lex.mode;
    if (((MARKED_MODES >> static_cast<unsigned>(before)) & 1) == 0 &&
        ((MARKED_MODES >> static_cast<unsigned>(after)) & 1) == 0)
        return;
    if (isComment(after) || before == Mode::BlockStar)
        state.marks.comment |= bitAt(i);
    if (isRaw(after) || isRaw(before))
        state.marks.code |= bitAt(i);
}

// The marks of a group that the byte lexer reads.
CMEASURE_INLINE void clearMarks(crules::State &state)
{
    state.marks.comment = 0;
    state.marks.code = 0;
}

// Bytes [from, to) of a group.
struct Span {
    int from;
    int to;
};

// The lexer over a span of a group.
template <bool GATED>
CMEASURE_INLINE void lexSpan(crules::State &state, const unsigned char *group, const CMasks &masks,
                             const FastMasks &fast, Span span)
{
    LexState &lex = state.lex;
    const auto [from, to] = span;
    // Only feedByte() holds bytes back or lets them go: the flag is read
    // again after it alone, rather than from the state at every stop.
    bool pass = mayPass(lex);
    for (int i = from; i < to;) {
        if (pass) {
            i = lexFast<GATED>(state, group, fast, i, to);
            if (i == to)
                break;
            const int stop = std::min(firstBitFrom(stops<GATED>(lex, masks), i), to);
            if (stop > i) {
                passOver<GATED>(state, group, i, stop);
                i = stop;
                if (i == to)
                    break;
            }
        }
        lex.at = lex.groupStart + i;
        const Mode before = lex.mode;
        const unsigned char c = group[i];
        if (pass && has(c, PLAIN_NEXT)) {
            // Neither a CR nor a backslash: feedByte() would hold nothing
            // back, and the byte lexer reads it at once; of what holds
            // bytes back, only a header name's '<' may follow.
            while (!readCharacter(state, c)) {
            }
            markByte(state, i++, before);
            pass = lex.angle == Angle::Off;
            continue;
        }
        feedByte(state, c);
        markByte(state, i++, before);
        pass = mayPass(lex);
    }
}

// The bytes that may stand between the first byte of "cmeasure" and its
// ':' in a comment: its letters, and the bytes of a splice (a backslash,
// horizontal white space, a newline), which the marker is read through.
inline constexpr std::array<bool, 256> CONTINUES_PREFIX = [] {
    std::array<bool, 256> continues{};
    for (const char c : MARKER_PREFIX.substr(1, MARKER_PREFIX.find(':') - 1))
        continues[static_cast<unsigned char>(c)] = true;
    for (const char c : std::string_view("\\ \t\v\f\r\n"))
        continues[static_cast<unsigned char>(c)] = true;
    return continues;
}();

// Whether the group may end in the middle of a marker's "cmeasure": its
// last byte that cannot continue one is a 'c'. When every byte can, the
// group before ended so too and was lexed a line at a time.
CMEASURE_INLINE bool mayEndInPrefix(const unsigned char *group)
{
    int k = 63;
    while (k >= 0 && CONTINUES_PREFIX[group[k]])
        k--;
    return k >= 0 && group[k] == static_cast<unsigned char>(MARKER_PREFIX[0]);
}

// The bytes of a group equal to `byte`.
CMEASURE_INLINE std::uint64_t bytesEqual(const unsigned char *group, unsigned char byte)
{
    std::uint64_t equal = 0;
    for (int k = 0; k < 64; k += Blocks::WIDTH)
        equal |= Blocks::equal(group + k, byte) << k;
    return equal;
}

// "cmeasure" as the 8 bytes of a word loaded from memory on a little-endian
// machine, its first byte lowest.
inline constexpr std::uint64_t PREFIX_WORD = [] {
    std::uint64_t word = 0;
    for (int k = 7; k >= 0; k--)
        word = word << 8 | static_cast<unsigned char>(MARKER_PREFIX[static_cast<std::size_t>(k)]);
    return word;
}();

// Whether a group that holds no splice may end in the middle of a marker's
// "cmeasure": with nothing to read the marker through, its last bytes are
// the prefix's first ones as written, from the group's last 'c' (the prefix
// holds one only). Decided without a branch on the bytes: the scan back
// that mayEndInPrefix() makes mispredicts about 0.8 times a group of
// headers.
CMEASURE_INLINE bool endsInPrefixAsWritten(const unsigned char *group)
{
    static_assert(Blocks::WIDTH >= 8);
    if constexpr (std::endian::native != std::endian::little) {
        return mayEndInPrefix(group);
    } else {
        std::uint64_t last; // bytes 56 to 63, byte 56 lowest
        std::memcpy(&last, group + 56, 8);
        // The last 'c' among them; with none, byte 56, which then holds no
        // 'c' and so cannot begin the prefix.
        const int lead = highestBit(Blocks::equal(group + 64 - Blocks::WIDTH, 'c') >> (Blocks::WIDTH - 8));
        const std::uint64_t kept = ~std::uint64_t{0} >> (8 * lead); // the 8 - lead bytes from the 'c' on
        return (((last >> (8 * lead)) ^ PREFIX_WORD) & kept) == 0;
    }
}

// Whether the lexer may match a marker that allows lines in the group: one
// is under way, a ':' follows what may end "cmeasure" (its 'e', or the
// newline or backslash of a splice) and comes before what may go on with
// the marker (a space, or the backslash that begins a splice; the next
// group's byte after byte 63), or the group may end within "cmeasure".
// Only a match changes the lines' allowances, so a group that cannot hold
// one is lexed whole, as without a gate. A ':' at the group's first byte
// completes nothing: no match is under way. Without a backslash or CR in
// the group, the prefix at its end is read as written; else through the
// splices it may hold.
CMEASURE_INLINE bool mayMatchMarker(const LexState &lex, const unsigned char *group, const CMasks &m)
{
    static constexpr std::size_t COLON = MARKER_PREFIX.find(':');
    static_assert(MARKER_PREFIX.size() == COLON + 2 && MARKER_PREFIX.back() == ' ' && COLON == 8);
    if (lex.allowMatched != 0)
        return true;
    const std::uint64_t afterPrefix = (bytesEqual(group, MARKER_PREFIX[COLON - 1]) | m.ends) << 1;
    const std::uint64_t beforeSpace = ((m.space | m.ends) >> 1) | bitAt(63);
    if ((bytesEqual(group, MARKER_PREFIX[COLON]) & afterPrefix & beforeSpace) != 0)
        return true;
    return (m.ends & ~m.lf) != 0 ? mayEndInPrefix(group) : endsInPrefixAsWritten(group);
}

// The lines of bytes [from, to) of a group under a gate, lexed already.
CMEASURE_INLINE void countGatedLine(crules::State &state, const unsigned char *group, const CMasks &masks, Span span)
{
    const auto [from, to] = span;
    if ((masks.high & ~lowBits(from) & lowBits(to)) == 0 && state.lines.utf8.have == 0) {
        countGatedSpan(state, ~masks.blank & ~state.lines.hidden, from, to);
        // Only a line over the limit is reported with its hash: the bytes
        // of a line that ends here go into it only then, those of one that
        // goes on into the next group at once.
        const bool ends = group[to - 1] == '\n';
        if (state.gate->hashes && (!ends || state.lines.symbols > state.gate->limit))
            hashSymbolBytes(state.lines, group + from, to - from);
        if (ends)
            endLine(state);
        return;
    }
    for (int i = from; i < to; i++)
        countByte(state, group[i], ((state.lines.hidden >> i) & 1) != 0);
}

// A group lexed whole, as without a gate.
CMEASURE_INLINE void lexGroup(crules::State &state, const unsigned char *group, const CMasks &masks)
{
    if (!lexWholeGroup(state, group, masks, state.marks.comment)) {
        clearMarks(state);
        lexSpan<false>(state, group, masks, fastMasks(masks), {0, 64});
    }
}

// The lines of bytes [start, 64) of a group under a gate, a line at a time:
// each lexed up to its LF, unless the group is `lexed` already, then
// counted.
CMEASURE_INLINE void feedGatedLines(crules::State &state, const unsigned char *group, const CMasks &masks, int start,
                                    bool lexed)
{
    const FastMasks fast = fastMasks(masks);
    std::uint64_t lf = masks.lf & ~lowBits(start);
    for (int from = start; from < 64;) {
        const int to = lf == 0 ? 64 : std::countr_zero(lf) + 1;
        lf &= lf - 1;
        state.lines.countedTo = from;
        if (!lexed) {
            lexSpan<true>(state, group, masks, fast, {from, to});
            if (state.gate->classifies)
                classifyLines(state.lines, group, masks, state.marks, from, to);
        }
        countGatedLine(state, group, masks, {from, to});
        from = to;
    }
}

// A group under a gate. One that may hold a marker is taken a line at a
// time: the lexer reads a line up to its LF before the line ends, so that
// the allowing comment is the line's own. Any other is lexed whole, and its
// lines are counted as without a gate when none can pass the limit in it,
// or when none it ends is reported: each below the floor, or in the census;
// else, in a group all in ASCII, as the gate counts them only where one
// may be reported.
CMEASURE_INLINE void feedGatedGroup(crules::State &state, const unsigned char *group, const CMasks &masks)
{
    const bool lexed = !mayMatchMarker(state.lex, group, masks);
    if (lexed) {
        lexGroup(state, group, masks);
        if (state.gate->classifies)
            classifyLines(state.lines, group, masks, state.marks, 0, 64);
        if (staysWithin(state, masks, state.gate->limit)) {
            countLinesWithinLimit(state, group, masks);
            return;
        }
        if (takesCensus(state, masks)) {
            countLinesInCensus(state, group, masks);
            return;
        }
        if (staysBelowFloor(state, masks)) {
            countLinesUnreported(state, group, masks);
            return;
        }
        if (!state.gate->hashes && masks.high == 0 && state.lines.utf8.have == 0) {
            countLinesReporting(state, masks);
            return;
        }
    }
    feedGatedLines(state, group, masks, 0, lexed);
}

// The group of 64 bytes at `offset` in the input is the one read next, none
// of its bytes counted by the lines yet.
CMEASURE_INLINE void beginGroup(crules::State &state, crules::Count offset)
{
    state.lex.groupStart = offset;
    state.lines.countedTo = 0;
    state.lines.hidden = 0;
}

// The bytes of `group` from `start` on, those before it read already: the
// last of a piece that ends within a group, read from the masks of the 64
// bytes that end it rather than a byte at a time (0.5 us a file saved).
template <bool GATED> CMEASURE_INLINE void feedLastBytes(crules::State &state, const unsigned char *group, int start)
{
    const CMasks masks = classify64(group);
    beginGroup(state, state.lex.fed - 64);
    state.lines.countedTo = start; // the bytes before `start` were counted with the piece before
    clearMarks(state);
    if constexpr (GATED) {
        feedGatedLines(state, group, masks, start, false);
    } else {
        lexSpan<false>(state, group, masks, fastMasks(masks), {start, 64});
        classifyLines(state.lines, group, masks, state.marks, start, 64);
        countGroupLines(state, group, masks, start);
    }
}

// The bytes of a piece from `k` on, after its whole groups: from the masks
// of the 64 bytes that end it, or a byte at a time when it is shorter.
template <bool GATED>
CMEASURE_INLINE void feedRest(crules::State &state, const unsigned char *bytes, std::size_t k, std::size_t length)
{
    crules::Count &fed = state.lex.fed;
    if (k < length && length >= 64) {
        fed += static_cast<crules::Count>(length - k);
        feedLastBytes<GATED>(state, bytes + length - 64, static_cast<int>(64 - (length - k)));
        state.lines.hidden = 0;
        return;
    }
    for (; k < length; k++, fed++) {
        beginGroup(state, fed);
        clearMarks(state);
        state.lex.at = fed;
        const Mode before = state.lex.mode;
        feedByte(state, bytes[k]);
        markByte(state, 0, before);
        classifyByte(state.lines, bytes[k], (state.marks.comment & 1) != 0, (state.marks.code & 1) != 0);
        countByte(state, bytes[k], (state.lines.hidden & 1) != 0);
    }
    state.lines.hidden = 0;
}

// A piece under a gate: a function of its own, so that the gate's code
// leaves the scan without one compiled as it is alone (it took 0.7 % more
// instructions beside it).
[[gnu::noinline]] void feedGated(crules::State &state, const unsigned char *bytes, std::size_t length)
{
    std::size_t k = 0;
    for (; k + 64 <= length; k += 64, state.lex.fed += 64) {
        beginGroup(state, state.lex.fed);
        clearMarks(state);
        feedGatedGroup(state, bytes + k, classify64(bytes + k));
    }
    feedRest<true>(state, bytes, k, length);
}

void feedC(crules::State &state, const unsigned char *bytes, std::size_t length)
{
    if (state.gate != nullptr) {
        feedGated(state, bytes, length);
        return;
    }
    std::size_t k = 0;
    crules::Count &fed = state.lex.fed;
    for (; k + 64 <= length; k += 64, fed += 64) {
        const CMasks masks = classify64(bytes + k);
        beginGroup(state, fed);
        crules::Marks marks;
        if (!lexWholeGroup(state, bytes + k, masks, marks.comment)) {
            clearMarks(state);
            lexSpan<false>(state, bytes + k, masks, fastMasks(masks), {0, 64});
            marks = state.marks;
        }
        classifyLines(state.lines, bytes + k, masks, marks, 0, 64);
        countGroupLines(state, bytes + k, masks, 0);
    }
    feedRest<false>(state, bytes, k, length);
}

void finishC(crules::State &state)
{
    beginGroup(state, state.lex.fed);
    state.lex.at = state.lex.fed;
    finishLexer(state);
    state.lines.hidden = 0;
    // A backslash that the input ends is a character, not a splice.
    state.lines.lastBackslash = NOT_BACKSLASH;
    if (state.lines.column > 0)
        endLineClass(state.lines);
    finishLines(state);
}
