// A skipper over a span of a group, from its masks, with the lexer's state
// in locals: white space, whole identifiers and numbers, comment and
// literal bodies are passed over at once; plain punctuators, quotes,
// comment openers and closers, escapes and LF are taken at once, through
// the byte lexer's own steps where they change a directive or a literal.
// It hands back the first byte whose meaning depends on more than it knows
// (a splice, a CR, a byte beyond ASCII, a token that the span cuts, where a
// number may go on, a header name, C++'s literal suffixes).

// A backslash at byte i and LF after it vanish. Between tokens, in a
// comment or in a literal, the character after them means what it would
// without them. Returns the position after them, or i.
CMEASURE_INLINE int splicedAway(const unsigned char *group, int i, int to)
{
    return i + 1 < to && group[i + 1] == '\n' ? i + 2 : i;
}

// The lexer's mode and the fields its common path changes, in locals.
struct FastLex {
    Mode mode;
    Directive directive;
    bool startOfLine;
    bool literalEmpty;
    unsigned char quote;
    crules::Count identifiers;
    std::uint64_t comment = 0; // bytes of comments
};

// The masks of a group the common path reads, combined once.
struct FastMasks {
    std::uint64_t notSpace;
    std::uint64_t notWord;
    std::uint64_t notNumber;
    std::uint64_t literal; // what may end a literal's text, the other quote too
    std::uint64_t lineComment;
    std::uint64_t commentEnds;  // '*' before a special byte or at the end: where a block comment may end
    std::uint64_t starOrSplice; // '*', a backslash or CR: a block comment's stops under a gate
    std::uint64_t lf;
    std::uint64_t identifierStarts; // the first bytes of runs of word bytes led by no digit
    std::uint64_t inWord;           // word bytes after a word byte
    std::uint64_t bulkStops;        // where the bulk of code stops: see bulkStopsOf()
};

// The bytes before which code's tokens can be told from the masks alone:
// special bytes, where a number may go on or begin, and a '.' at the end of
// the group, whose next byte is not known.
CMEASURE_INLINE std::uint64_t bulkStopsOf(const CMasks &m, std::uint64_t runStarts)
{
    const std::uint64_t dot = m.alnumDot & ~m.word;
    return m.special | numberMayGoOn(m, runStarts) | (dot & bitAt(63));
}

CMEASURE_INLINE FastMasks fastMasks(const CMasks &m)
{
    const std::uint64_t runStarts = runStartsOf(m);
    return {.notSpace = ~m.space,
            .notWord = ~m.word,
            .notNumber = ~(m.word | m.alnumDot),
            .literal = m.literal,
            .lineComment = m.ends,
            .commentEnds = m.star & ((m.special >> 1) | std::uint64_t{1} << 63),
            .starOrSplice = m.star | (m.ends & ~m.lf),
            .lf = m.lf,
            .identifierStarts = runStarts & ~m.digit,
            .inWord = m.word & ~runStarts,
            .bulkStops = bulkStopsOf(m, runStarts)};
}

CMEASURE_INLINE void fastPunctuator(FastLex &f)
{
    f.directive = Directive::None;
    f.startOfLine = false;
}

// An identifier ended: counted, and looked at if a directive may name a header.
CMEASURE_INLINE void fastEndIdentifier(FastLex &f, const char *name, int length)
{
    f.identifiers++;
    f.directive = directiveAfterIdentifier(f.directive, name, length);
}

// The bytes [from, to) of a group, an identifier that goes on, into its
// name. A name matters only while it fits, so a fixed window of the group
// is copied after the name so far, whatever the length: a copy of a
// varying length would branch on it, and mispredict. The window is read
// from within the group, and the name has room for it. On a little-endian
// machine the window is moved to the identifier's first byte in a
// register: copied to memory and read back from that byte, the read waits
// for the copy to be written (6 % of the scan of headers waited there: half
// their groups end in an identifier, four in five of those begun past the
// group's 48th byte).
CMEASURE_INLINE void appendToName(LexState &lex, const unsigned char *group, int from, int to)
{
    constexpr int WINDOW = 16;
    const int start = std::min(from, 64 - WINDOW);
    const int at = std::min<int>(lex.nameLength, crules::NAME_BUFFER);
    if constexpr (std::endian::native == std::endian::little) {
        __extension__ typedef unsigned __int128 Window;
        static_assert(sizeof(Window) == WINDOW);
        Window window = 0;
        std::memcpy(&window, group + start, WINDOW);
        window >>= 8 * (from - start);
        std::memcpy(lex.name + at, &window, crules::NAME_BUFFER);
    } else {
        unsigned char window[2 * WINDOW] = {};
        std::memcpy(window, group + start, WINDOW);
        std::memcpy(lex.name + at, window + (from - start), crules::NAME_BUFFER);
    }
    const int length = lex.nameLength + (to - from);
    lex.nameLength = static_cast<unsigned char>(std::min(length, crules::NAME_BUFFER + 1));
}

// An identifier that the span cuts, or whose end the caller must read.
CMEASURE_INLINE void carryIdentifier(LexState &lex, FastLex &f, const unsigned char *group, int from, int to)
{
    f.mode = Mode::Identifier;
    f.startOfLine = false;
    lex.suffixCandidate = false;
    lex.nameLength = 0;
    lex.nameLineStart = 0;
    lex.pendingAt = lex.groupStart + from;
    appendToName(lex, group, from, to);
}

// An identifier begun before byte i, without a literal's suffix in view.
CMEASURE_INLINE int fastIdentifier(LexState &lex, FastLex &f, const unsigned char *group, const FastMasks &m, int i,
                                   int to)
{
    const int end = std::min(firstBitFrom(m.notWord, i), to);
    appendToName(lex, group, i, end);
    if (end < to && has(group[end], ENDS_IDENTIFIER)) {
        f.mode = Mode::Code;
        fastEndIdentifier(f, lex.name, lex.nameLength);
    }
    return end;
}

// A token of code other than an identifier, a plain punctuator or LF, at
// byte i. Returns the position after it, or i when the caller must read it.
CMEASURE_INLINE int fastToken(LexState &lex, FastLex &f, const unsigned char *group, const FastMasks &m, int i, int to)
{
    const unsigned char c = group[i];
    switch (BYTE_CLASSES[c].kind) {
    case Kind::Digit: {
        const int end = firstBitFrom(m.notNumber, i);
        if (end >= to || !has(group[end], ENDS_NUMBER))
            return i;
        fastPunctuator(f);
        return end;
    }
    case Kind::Hash:
        f.directive = directiveAfterHash(f.startOfLine);
        f.startOfLine = false;
        return i + 1;
    case Kind::Quote:
        fastPunctuator(f);
        f.mode = Mode::Literal;
        f.quote = c;
        f.literalEmpty = true;
        return i + 1;
    case Kind::Less:
        if (f.directive == Directive::WantHeader)
            return i;
        fastPunctuator(f);
        return i + 1;
    case Kind::Slash: case Kind::Dot: case Kind::Backslash: break;
    default: return i;
    }
    // '/' may open a comment, '.' begin a number and '\\' a splice: the
    // next byte says.
    const unsigned char next = i + 1 < to ? group[i + 1] : '\\';
    if (c == '\\')
        return splicedAway(group, i, to);
    if (c == '/' && (next == '/' || next == '*')) {
        f.mode = next == '/' ? Mode::LineComment : Mode::BlockComment;
        f.comment |= bitAt(i) | bitAt(i + 1);
        lex.allowMatched = 0;
        return i + 2;
    }
    if (!has(next, PLAIN_NEXT) || (c == '.' && (isDigit(next) || next == '.')))
        return i;
    fastPunctuator(f);
    return i + 1;
}

// Code from byte i, which is no white space, up to the first byte that the
// masks cannot tell, with no directive going on: every run of word bytes led
// by a letter or '_' is an identifier and the rest are punctuators, LF and
// white space, all but LF without effect. A run cut by that byte is left
// to the caller, which may need its name or what follows it. Returns where
// it stopped.
CMEASURE_INLINE int bulkCode(FastLex &f, const FastMasks &m, int i, int to)
{
    if (((m.inWord >> i) & 1) != 0)
        return i;
    const int stop = std::min(firstBitFrom(m.bulkStops, i), to);
    const std::uint64_t before = m.notWord & lowBits(stop);
    const int end = highestBit(before) + (before != 0 ? 1 : 0);
    if (end <= i)
        return i;
    const std::uint64_t span = lowBits(end) & ~lowBits(i);
    f.identifiers += bitsSet<64>(m.identifierStarts & span);
    const int last = highestBit(m.notSpace & span);
    f.startOfLine = ((m.lf >> last) & 1) != 0;
    return end;
}

// Code from byte i while the mode stays code: the common tokens at once.
// Returns where it stopped: `to`, a byte in another mode, or one the
// caller must read.
CMEASURE_INLINE int fastCode(LexState &lex, FastLex &f, const unsigned char *group, const FastMasks &m, int i, int to)
{
    while (i < to) {
        i = std::min(firstBitFrom(m.notSpace, i), to);
        if (i == to)
            break;
        if (f.directive == Directive::None) {
            i = bulkCode(f, m, i, to);
            if (i == to)
                break;
        }
        const Kind kind = BYTE_CLASSES[group[i]].kind;
        if (kind == Kind::Word) {
            const int end = firstBitFrom(m.notWord, i);
            if (end >= to || !has(group[end], ENDS_IDENTIFIER)) {
                carryIdentifier(lex, f, group, i, std::min(end, to));
                return std::min(end, to);
            }
            f.startOfLine = false;
            fastEndIdentifier(f, reinterpret_cast<const char *>(group + i), end - i);
            i = end;
        } else if (kind == Kind::Plain) {
            fastPunctuator(f);
            i++;
        } else if (kind == Kind::Newline) {
            f.startOfLine = true;
            f.directive = Directive::None;
            i++;
        } else {
            const int next = fastToken(lex, f, group, m, i, to);
            if (next == i || f.mode != Mode::Code)
                return next;
            i = next;
        }
    }
    return i;
}

// A step in a literal, from i to the next byte that may close it, escape or
// end its line. Returns where it stopped; the caller reads the byte there
// if the mode is still Literal.
template <bool CPP>
CMEASURE_INLINE int fastLiteral(FastLex &f, const unsigned char *group, const FastMasks &m, int i, int to)
{
    const int stop = std::min(firstBitFrom(m.literal, i), to);
    if (stop > i)
        f.literalEmpty = false;
    if (stop == to)
        return to;
    const unsigned char c = group[stop];
    if (c != f.quote && (c == '"' || c == '\'')) {
        f.literalEmpty = false; // the other quote: text like any other
        return stop + 1;
    }
    if (c == f.quote) {
        f.mode = modeAfterClosingQuote(CPP, c, f.literalEmpty);
        f.literalEmpty = false;
        return stop + 1;
    }
    if (c == '\n') {
        f.mode = Mode::Code; // unterminated: it ends with its line
        f.literalEmpty = false;
        f.startOfLine = true;
        f.directive = Directive::None;
        return stop + 1;
    }
    if (c == '\\' && stop + 1 < to && has(group[stop + 1], PLAIN_ESCAPED)) {
        f.literalEmpty = false;
        return stop + 2;
    }
    return c == '\\' ? splicedAway(group, stop, to) : stop;
}

// A step in a comment, to the next byte that may end it. With a gate, the
// allowing text is looked for on the way, and a block comment stops at a
// backslash too, since a splice may hide inside that text (and at CR, which
// shares its mask and which the caller reads).
template <bool GATED>
CMEASURE_INLINE int fastComment(crules::State &state, FastLex &f, const unsigned char *group, const FastMasks &m,
                                int i, int to)
{
    const bool line = f.mode == Mode::LineComment;
    const std::uint64_t ends = line ? m.lineComment : GATED ? m.starOrSplice : m.commentEnds;
    const int stop = std::min(firstBitFrom(ends, i), to);
    if (GATED)
        matchAllowIn(state, group + i, stop - i);
    if (stop == to)
        return to;
    const unsigned char c = group[stop];
    if (c == '\\')
        return splicedAway(group, stop, to);
    if (line) {
        if (c != '\n')
            return stop;
        f.mode = Mode::Code;
        f.startOfLine = true;
        f.directive = Directive::None;
        return stop + 1;
    }
    const unsigned char next = stop + 1 < to ? group[stop + 1] : '\\';
    if (c != '*' || !has(next, PLAIN_NEXT))
        return stop;
    if (GATED)
        matchAllow(state, '*');
    if (next != '/')
        return stop + 1;
    if (GATED)
        matchAllow(state, '/');
    f.mode = Mode::Code;
    return stop + 2;
}

// Code alone counting, bytes [from, to) read from `before` to `after` count
// nothing when they are a comment's or a literal's text, or a comment's
// opener at their end.
CMEASURE_INLINE void hideRead(crules::State &state, Mode before, Mode after, int from, int to)
{
    if (readsText(before))
        hideSpan(state, from, to);
    else if (before == Mode::Code && (after == Mode::LineComment || after == Mode::BlockComment))
        hideSpan(state, to - 2, to);
}

// The common path from byte i of a span [.., to) while nothing is held
// back. Returns the first byte it leaves to the caller, or `to`.
template <bool GATED>
CMEASURE_INLINE int lexFast(crules::State &state, const unsigned char *group, const FastMasks &m, int i, int to)
{
    LexState &lex = state.lex;
    if (lex.afterSplice)
        return i;
    FastLex f{lex.mode, lex.directive, lex.startOfLine, lex.literalEmpty, lex.quote, lex.identifiers};
    while (i < to) {
        const Mode mode = f.mode;
        int next = i;
        if (mode == Mode::Code) {
            next = fastCode(lex, f, group, m, i, to);
        } else if (mode == Mode::Literal) {
            next = lex.cpp ? fastLiteral<true>(f, group, m, i, to) : fastLiteral<false>(f, group, m, i, to);
        } else if (mode == Mode::LineComment || mode == Mode::BlockComment) {
            next = fastComment<GATED>(state, f, group, m, i, to);
            f.comment |= lowBits(next) & ~lowBits(i);
        } else if (mode == Mode::Identifier && !lex.suffixCandidate) {
            next = fastIdentifier(lex, f, group, m, i, to);
        }
        if (next == i && f.mode == mode)
            break;
        if (lex.codeOnly)
            hideRead(state, mode, f.mode, i, next);
        i = next;
    }
    lex.mode = f.mode;
    lex.directive = f.directive;
    lex.startOfLine = f.startOfLine;
    lex.literalEmpty = f.literalEmpty;
    lex.quote = f.quote;
    lex.identifiers = f.identifiers;
    state.marks.comment |= f.comment;
    return i;
}
