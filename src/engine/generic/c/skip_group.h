// A skipper of a whole group of C (not C++), when nothing in it needs more than
// its masks and a few of its bytes: the lexer steps from one region to the
// next (code, a comment, a literal), and the code's identifiers are counted
// at the end, a run of word bytes led by a letter or '_' being one. Anything
// rarer leaves the group untouched to the full lexer: a byte beyond ASCII,
// CR, '$' or '%' in code, a backslash but as an escape in a literal or as
// comment text, a splice that may join two tokens, a literal's prefix, a
// pp-number with a '.' or a sign, a directive that may name a header, and
// a backslash at the group's end. A group may begin or end in the middle of
// an identifier, a number, a '/' or a comment's '*'. The rules it keeps
// for speed (a run of word bytes led by a letter is one identifier, a '#'
// first on its line begins a directive) are checked against the byte lexer
// by the tests that feed the same text whole and a byte at a time.

// Where the group's regions have taken the lexer.
struct GroupLex {
    Mode mode;
    unsigned char quote;
    bool startOfLine;                      // before the group, or after what began it
    Directive directive = Directive::None; // after a '#' that ends the group
    std::uint64_t code = 0;                // bytes lexed as code: tokens, white space, LF
    std::uint64_t tokens = 0;              // bytes of tokens outside `code`: quotes, '/'
    std::uint64_t newlines = 0;            // LFs outside `code` that end a line comment or a literal
    std::uint64_t shown = 0;               // code outside `code` and `tokens`: a directive's '#', a splice's '\\'
    int lead = 0;                          // bytes that end what the group begins in
    crules::Count carried = 0;             // 1 when the identifier the group begins in ends in it
    std::uint64_t comment = 0;             // bytes of comments
    bool slashOpened = false;              // the '/' before the group opens a comment
};

// A directive whose name begins at or after byte `from` may be #include,
// #include_next or #import, whose header name the full lexer must read; so
// may one whose name the group's end cuts, or a splice or a comment hides.
CMEASURE_INLINE bool mayNameHeader(const unsigned char *group, const CMasks &m, int from)
{
    const int name = firstBitFrom(~m.space, from);
    if (name >= 63)
        return true;
    const unsigned char first = group[name];
    const unsigned char second = group[name + 1];
    return first == '\\' || first == '/' || (first == 'i' && (second == 'n' || second == 'm'));
}

// Whether no token comes after the last LF that ends a line, among the
// bytes `within` of what the group has lexed; else whether none came after
// it before the group. As tokens and those LFs share no byte, the set with
// the higher top bit is the greater number.
CMEASURE_INLINE bool startsLine(const GroupLex &g, const CMasks &m, std::uint64_t within)
{
    const std::uint64_t tokens = ((g.code & ~m.blank) | g.tokens) & within;
    const std::uint64_t newlines = ((g.code & m.lf) | g.newlines) & within;
    return (tokens | newlines) == 0 ? g.startOfLine : newlines > tokens;
}

// A special byte of code that ends the group, whose next byte is not known:
// a '/' waits for it, a '#' may begin a directive, a quote opens a literal.
CMEASURE_INLINE int lastSpecial(GroupLex &g, const CMasks &m, unsigned char c, bool afterWord)
{
    if (c == '/') {
        g.mode = Mode::Slash;
        return 64;
    }
    if (c == '#') {
        g.directive = startsLine(g, m, lowBits(63)) ? Directive::WantName : Directive::None;
        g.tokens |= bitAt(63);
        return 64;
    }
    if ((c == '"' || c == '\'') && !afterWord) {
        g.mode = Mode::Literal;
        g.quote = c;
        g.tokens |= bitAt(63);
        return 64;
    }
    return -1;
}

// Code from byte i to the next special byte: the region's step. Returns the
// position after it, or -1 when the group needs the full lexer.
CMEASURE_INLINE int groupCode(GroupLex &g, const unsigned char *group, const CMasks &m, int i)
{
    const int at = firstBitFrom(m.special, i);
    g.code |= lowBits(at) & ~lowBits(i);
    if (at == 64)
        return 64;
    const unsigned char c = group[at];
    const bool afterWord = at > 0 && ((m.word >> (at - 1)) & 1) != 0;
    if (at == 63)
        return lastSpecial(g, m, c, afterWord);
    const unsigned char next = group[at + 1];
    if (c == '/') {
        if (next == '/' || next == '*') {
            g.mode = next == '/' ? Mode::LineComment : Mode::BlockComment;
            g.comment |= bitAt(at) | bitAt(at + 1);
            return at + 2;
        }
        g.tokens |= bitAt(at);
        return next == '\\' ? -1 : at + 1;
    }
    if (c == '"' || c == '\'') {
        g.mode = Mode::Literal;
        g.quote = c;
        g.tokens |= bitAt(at);
        return afterWord ? -1 : at + 1;
    }
    g.shown |= bitAt(at);
    if (c == '#')
        return mayNameHeader(group, m, at + 1) ? -1 : at + 1;
    // A splice after a word byte may join two words; after '/', it has
    // been left to the full lexer above; after any other byte, it vanishes
    // as far as identifiers go.
    return c == '\\' && next == '\n' && at > 0 && !afterWord ? at + 2 : -1;
}

CMEASURE_INLINE int groupBlockComment(GroupLex &g, const unsigned char *group, const CMasks &m, int i)
{
    const int at = firstBitFrom(m.star & ((m.special >> 1) | bitAt(63)), i);
    if (at == 64)
        return 64;
    if (at == 63) {
        g.mode = Mode::BlockStar;
        return 64;
    }
    if (group[at + 1] == '\\')
        return -1;
    if (group[at + 1] != '/')
        return at + 1;
    g.mode = Mode::Code;
    return at + 2;
}

CMEASURE_INLINE int groupLineComment(GroupLex &g, const unsigned char *group, const CMasks &m, int i)
{
    const int at = firstBitFrom(m.ends, i);
    if (at == 64)
        return 64;
    if (group[at] == '\n') {
        g.mode = Mode::Code;
        g.newlines |= bitAt(at);
        return at + 1;
    }
    // A backslash is text unless white space or a newline after it may
    // make it a splice.
    return group[at] == '\\' && at < 63 && ((m.blank >> (at + 1)) & 1) == 0 ? at + 1 : -1;
}

CMEASURE_INLINE int groupLiteral(GroupLex &g, const unsigned char *group, const CMasks &m, int i)
{
    const int at = firstBitFrom(m.literal, i);
    if (at == 64)
        return 64;
    const unsigned char c = group[at];
    if (c == '"' || c == '\'') {
        if (c == g.quote)
            g.mode = Mode::Code;
        return at + 1;
    }
    if (c == '\n') {
        g.mode = Mode::Code; // unterminated: it ends with its line
        g.newlines |= bitAt(at);
        return at + 1;
    }
    return c == '\\' && at < 63 && has(group[at + 1], PLAIN_ESCAPED) ? at + 2 : -1;
}

// Whether the name of a directive, its first bytes in `lex` and the rest
// at the group's start, may be include, include_next or import.
CMEASURE_INLINE bool carriedNameMayNameHeader(const LexState &lex, const unsigned char *group)
{
    const unsigned char second = lex.nameLength >= 2 ? lex.name[1] : group[0];
    return lex.nameLength <= crules::NAME_BUFFER && lex.name[0] == 'i' && (second == 'n' || second == 'm');
}

// Where the regions begin when the group begins in a pending state or a
// directive's name: after what its first bytes make of it. -1 when the full
// lexer must read them.
CMEASURE_INLINE int pendingResolved(GroupLex &g, const LexState &lex, const unsigned char *group, const CMasks &m)
{
    const unsigned char first = group[0];
    const bool wantName = lex.directive == Directive::WantName;
    switch (g.mode) {
    case Mode::Identifier: {
        const int end = firstBitFrom(~m.word, 0);
        if (lex.suffixCandidate || end == 64 || !has(group[end], ENDS_IDENTIFIER) ||
            (wantName && carriedNameMayNameHeader(lex, group)))
            return -1;
        g.mode = Mode::Code;
        g.carried = 1;
        return end;
    }
    case Mode::Code: return wantName && !mayNameHeader(group, m, 0) ? 0 : -1;
    case Mode::Number: {
        const int end = firstBitFrom(~(m.word | m.alnumDot), 0);
        if (wantName || end == 64 || !has(group[end], ENDS_NUMBER))
            return -1;
        g.mode = Mode::Code;
        return end;
    }
    case Mode::Slash:
        if (wantName || first == '\\')
            return -1;
        if (first == '/' || first == '*') {
            g.mode = first == '/' ? Mode::LineComment : Mode::BlockComment;
            g.comment |= 1;
            g.slashOpened = true;
            return 1;
        }
        g.mode = Mode::Code; // a punctuator
        g.startOfLine = false;
        return 0;
    case Mode::BlockStar:
        if (wantName || first == '\\')
            return -1;
        g.mode = first == '/' ? Mode::Code : Mode::BlockComment;
        g.comment |= 1;
        return first == '/' ? 1 : 0;
    default: return -1;
    }
}

// The bytes [from, to) of a comment, marked; `to`, or -1 when the
// comment's end is not for this skipper.
CMEASURE_INLINE int commentRegion(GroupLex &g, int from, int to)
{
    if (to > from)
        g.comment |= (~std::uint64_t{0} >> (64 - to)) & (~std::uint64_t{0} << from);
    return to;
}

// Where the regions of the group take the lexer from `lex`; false when the
// full lexer must read the group.
CMEASURE_INLINE bool groupRegions(GroupLex &g, const LexState &lex, const unsigned char *group, const CMasks &m)
{
    int i = 0;
    if (lex.directive != Directive::None || g.mode == Mode::Number || g.mode == Mode::Slash ||
        g.mode == Mode::BlockStar) {
        i = pendingResolved(g, lex, group, m);
        if (i < 0)
            return false;
    } else {
        // An identifier carried in ends at the first byte after its run,
        // which must be one that ends it whatever it is. Taken without a
        // branch on the mode, which would mispredict.
        const bool carried = g.mode == Mode::Identifier;
        const int end = firstBitFrom(~m.word, 0);
        const bool ends = end < 64 && has(group[end & 63], ENDS_IDENTIFIER) && !lex.suffixCandidate;
        if (carried && !ends)
            return false;
        i = carried ? end : 0;
        g.mode = carried ? Mode::Code : g.mode;
        g.carried = carried ? 1 : 0;
    }
    g.lead = i;
    while (i < 64) {
        switch (g.mode) {
        case Mode::Code: i = groupCode(g, group, m, i); break;
        case Mode::BlockComment: i = commentRegion(g, i, groupBlockComment(g, group, m, i)); break;
        case Mode::LineComment: i = commentRegion(g, i, groupLineComment(g, group, m, i)); break;
        case Mode::Literal: i = groupLiteral(g, group, m, i); break;
        default: return false;
        }
        if (i < 0)
            return false;
    }
    return true;
}

// A run of word bytes from byte `from` to the group's end: an identifier
// that goes on.
CMEASURE_INLINE void cutIdentifier(LexState &lex, const unsigned char *group, int from)
{
    lex.mode = Mode::Identifier;
    lex.suffixCandidate = false;
    lex.nameLength = 0;
    lex.nameLineStart = 0;
    lex.pendingAt = lex.groupStart + from;
    appendToName(lex, group, from, 64);
}

// The same led by a digit: a pp-number that goes on. In C, only its last
// byte matters: an exponent's sign may follow it.
CMEASURE_INLINE void cutNumber(LexState &lex, const unsigned char *group, int from)
{
    lex.mode = Mode::Number;
    lex.numberFirst = group[from];
    lex.numberLength = 2;
    lex.numberPrevious = group[63];
}

// Code alone counting, what of the group counts nothing: the text of its
// comments and literals but their opening quotes. A '/' that ends the group
// counts until the next group makes it a comment's (slashOpensComment()).
CMEASURE_INLINE void hideGroupText(crules::State &state, const GroupLex &g, Mode was)
{
    std::uint64_t shown = g.code | g.tokens | g.shown;
    if (was == Mode::Code || was == Mode::Identifier || was == Mode::Number)
        shown |= lowBits(g.lead);
    if (g.mode == Mode::Slash)
        shown |= bitAt(63);
    state.lines.hidden = ~shown;
}

// The group at once, if it can be; false when the full lexer must read it,
// the state untouched then. `comment` gets the bits of the comments' bytes.
CMEASURE_INLINE bool lexWholeGroup(crules::State &state, const unsigned char *group, const CMasks &m,
                                   std::uint64_t &comment)
{
    LexState &lex = state.lex;
    const unsigned held = lex.heldReturns | lex.utf8.have | static_cast<unsigned>(lex.splice) |
                          static_cast<unsigned>(lex.angle) | static_cast<unsigned>(lex.cpp) |
                          static_cast<unsigned>(lex.afterSplice) |
                          static_cast<unsigned>(lex.directive == Directive::WantHeader);
    if (held != 0)
        return false;
    GroupLex g{.mode = lex.mode, .quote = lex.quote, .startOfLine = lex.startOfLine};
    if (!groupRegions(g, lex, group, m))
        return false;
    const std::uint64_t runStarts = runStartsOf(m);
    if ((g.code & numberMayGoOn(m, runStarts)) != 0)
        return false;
    std::uint64_t starts = runStarts & ~m.digit & g.code;
    // A run of code that reaches the group's end is an identifier or a
    // number that the next group ends.
    const bool cut = g.mode == Mode::Code && ((m.word & g.code) >> 63) != 0;
    const int lastRun = highestBit(runStarts);
    if (cut)
        starts &= ~bitAt(lastRun);
    if (lex.codeOnly)
        hideGroupText(state, g, lex.mode);
    lex.identifiers += g.carried + bitsSet<64>(starts);
    comment = g.comment;
    if (g.slashOpened)
        slashOpensComment(state, false);
    if (g.mode == Mode::Slash)
        lex.pendingAt = lex.groupStart + 63;
    lex.startOfLine = startsLine(g, m, ~std::uint64_t{0});
    lex.directive = g.directive;
    lex.mode = g.mode;
    lex.quote = g.quote;
    if (cut && ((m.digit >> lastRun) & 1) != 0)
        cutNumber(lex, group, lastRun);
    else if (cut)
        cutIdentifier(lex, group, lastRun);
    return true;
}
