// Stage 3 of C's rules, the skippers. This one passes over the bytes that
// the byte lexer's mode ignores (white space in code, the rest of an
// identifier or a number, the text of a comment or a literal) to the next
// byte that may change it, which it hands back to the byte lexer.

// Whether the lexer in `mode` reads a comment.
CMEASURE_INLINE bool isComment(Mode mode)
{
    return mode == Mode::LineComment || mode == Mode::BlockComment || mode == Mode::BlockStar;
}

// Nothing held back: no CR, no backslash, no character begun, no header
// name being looked for.
CMEASURE_INLINE bool mayPass(const LexState &lex)
{
    return lex.heldReturns == 0 && lex.splice == Splice::None && lex.utf8.have == 0 && lex.angle == Angle::Off;
}

// The bytes of the group that the lexer in its mode must read.
// With a gate, a comment's text is matched against the allowing text as the
// lexer reads it, splices removed, so a block comment stops at a backslash.
template <bool GATED> CMEASURE_INLINE std::uint64_t stops(const LexState &lex, const CMasks &m)
{
    switch (lex.mode) {
    case Mode::Code: return ~m.space;
    case Mode::Identifier: return ~m.word;
    case Mode::Number: return lex.numberLength == 2 ? ~m.alnumDot : ~std::uint64_t{0};
    case Mode::LineComment: return m.ends;
    case Mode::BlockComment: return GATED ? m.star | (m.ends & ~m.lf) : m.star;
    case Mode::Literal: return m.literal;
    default: return ~std::uint64_t{0};
    }
}

// What reading bytes [from, to) one at a time would have left.
template <bool GATED> CMEASURE_INLINE void passOver(crules::State &state, const unsigned char *group, int from, int to)
{
    LexState &lex = state.lex;
    lex.afterSplice = false;
    if (lex.codeOnly && readsText(lex.mode))
        hideSpan(state, from, to);
    if (isComment(lex.mode))
        state.marks.comment |= lowBits(to) & ~lowBits(from);
    if (GATED && (lex.mode == Mode::LineComment || lex.mode == Mode::BlockComment))
        matchAllowIn(state, group + from, to - from);
    if (lex.mode == Mode::Identifier) {
        const int length = lex.nameLength + (to - from);
        if (length <= crules::NAME_BUFFER)
            std::memcpy(lex.name + lex.nameLength, group + from, static_cast<std::size_t>(to - from));
        lex.nameLength = static_cast<unsigned char>(std::min(length, crules::NAME_BUFFER + 1));
    } else if (lex.mode == Mode::Number) {
        continueNumber(lex, group[to - 1]);
    } else if (lex.mode == Mode::Literal) {
        lex.literalEmpty = false;
    }
}

