// The scan under C's rules, fed a piece of input at a time. Without a gate,
// whole groups of 64 bytes are classified at once: the lines are counted
// from the masks of newlines and blanks, and the lexer passes over the
// bytes its mode ignores (white space in code, the rest of an identifier or
// a number, the text of a comment or a literal) to the next byte that may
// change it, which it reads one at a time. With a gate, and at the end of
// a piece, every byte goes to the lexer and to the lines one at a time.
// Included once per instruction set, after c_splices.h.

CMEASURE_INLINE CMasks classify64(const unsigned char *group)
{
    CMasks all{};
    for (int k = 0; k < 64; k += Blocks::WIDTH) {
        const CMasks m = Blocks::classifyC(group + k);
        all.lf |= m.lf << k;
        all.cr |= m.cr << k;
        all.blank |= m.blank << k;
        all.space |= m.space << k;
        all.high |= m.high << k;
        all.alnum |= m.alnum << k;
        all.under |= m.under << k;
        all.dot |= m.dot << k;
        all.star |= m.star << k;
        all.backslash |= m.backslash << k;
        all.dquote |= m.dquote << k;
        all.squote |= m.squote << k;
    }
    return all;
}

// The lines of a group all in ASCII, with no character begun before it.
CMEASURE_INLINE void countLines64(crules::State &state, const CMasks &masks)
{
    crules::LineState &line = state.lines;
    const std::uint64_t symbols = ~masks.blank;
    int from = 0;
    for (std::uint64_t lf = masks.lf; lf != 0; lf &= lf - 1) {
        const int at = std::countr_zero(lf);
        line.symbols += bitsSet(symbols & ~lowBits(from) & lowBits(at));
        line.column += at + 1 - from;
        endLine(state);
        from = at + 1;
    }
    line.symbols += bitsSet(symbols & ~lowBits(from));
    line.column += 64 - from;
}

// Nothing held back: no CR, no backslash, no character begun, no header
// name being looked for.
CMEASURE_INLINE bool mayPass(const LexState &lex)
{
    return lex.heldReturns == 0 && lex.splice == Splice::None && lex.utf8.have == 0 && lex.angle == Angle::Off;
}

// The bytes of the group that the lexer in its mode must read.
CMEASURE_INLINE std::uint64_t stops(const LexState &lex, const CMasks &m)
{
    switch (lex.mode) {
    case Mode::Code: return ~m.space;
    case Mode::Identifier: return ~(m.alnum | m.under);
    case Mode::Number: return lex.numberLength == 2 ? ~(m.alnum | m.dot) : ~std::uint64_t{0};
    case Mode::LineComment: return m.lf | m.cr | m.backslash;
    case Mode::BlockComment: return m.star;
    case Mode::Literal: return (lex.quote == '"' ? m.dquote : m.squote) | m.backslash | m.lf | m.cr;
    default: return ~std::uint64_t{0};
    }
}

// What reading bytes [from, to) one at a time would have left.
CMEASURE_INLINE void passOver(LexState &lex, const unsigned char *group, int from, int to)
{
    lex.afterSplice = false;
    if (lex.mode == Mode::Identifier) {
        const int length = lex.nameLength + (to - from);
        if (length <= crules::NAME_BUFFER)
            std::memcpy(lex.name + lex.nameLength, group + from, static_cast<std::size_t>(to - from));
        lex.nameLength = static_cast<unsigned char>(std::min(length, crules::NAME_BUFFER + 1));
    } else if (lex.mode == Mode::Number) {
        lex.numberPrevious = group[to - 1];
    } else if (lex.mode == Mode::Literal) {
        lex.literalEmpty = false;
    }
}

// A punctuator that is a token of its own whatever follows it.
CMEASURE_INLINE bool plainPunctuator(unsigned char c)
{
    return c > ' ' && c < 0x7F && !isWordByte(c) && c != '$' && c != '/' && c != '.' && c != '%' && c != '#' &&
           c != '"' && c != '\'' && c != '<' && c != '\\';
}

// The common steps of code, taken at once when nothing is held back: the
// end of an identifier at a punctuator, white space or LF, the start of
// an identifier or a number, a plain punctuator, a LF. False when `c` must
// go the whole way.
CMEASURE_INLINE bool quickStep(LexState &lex, unsigned char c)
{
    if (lex.mode == Mode::Identifier && !lex.suffixCandidate && (plainPunctuator(c) || c == ' ' || c == '\n'))
        endIdentifier(lex);
    if (lex.mode != Mode::Code)
        return false;
    lex.afterSplice = false;
    if (isLetter(c) || c == '_') {
        beginIdentifier(lex, c);
    } else if (isDigit(c)) {
        beginNumber(lex, c);
    } else if (plainPunctuator(c)) {
        punctuator(lex);
    } else if (c == '\n') {
        lex.startOfLine = true;
        lex.directive = Directive::None;
    } else {
        return c == ' ';
    }
    return true;
}

CMEASURE_INLINE void lexGroup(crules::State &state, const unsigned char *group, const CMasks &masks)
{
    LexState &lex = state.lex;
    for (int i = 0; i < 64;) {
        if (mayPass(lex)) {
            const int stop = firstBitFrom(stops(lex, masks), i);
            if (stop > i) {
                passOver(lex, group, i, stop);
                i = stop;
                if (i == 64)
                    break;
            }
            if (quickStep(lex, group[i])) {
                i++;
                continue;
            }
        }
        feedByte(state, group[i++]);
    }
}

void feedC(crules::State &state, const unsigned char *bytes, std::size_t length)
{
    std::size_t k = 0;
    for (; state.gate == nullptr && k + 64 <= length; k += 64) {
        const CMasks masks = classify64(bytes + k);
        lexGroup(state, bytes + k, masks);
        if (masks.high == 0 && state.lines.utf8.have == 0)
            countLines64(state, masks);
        else
            for (int i = 0; i < 64; i++)
                countByte(state, bytes[k + i]);
    }
    for (; k < length; k++) {
        feedByte(state, bytes[k]);
        countByte(state, bytes[k]);
    }
}

void finishC(crules::State &state)
{
    finishLexer(state);
    finishLines(state);
}
