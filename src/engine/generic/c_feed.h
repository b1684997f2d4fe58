// The scan under C's rules, fed a piece of input at a time. Whole groups of
// 64 bytes are classified at once: the lines are counted from the masks of
// newlines and blanks, and the lexer passes over the bytes its mode ignores
// (white space in code, the rest of an identifier or a number, the text of
// a comment or a literal) to the next byte that may change it, which it
// reads one at a time. With a gate, a group is taken a line at a time. The
// bytes of a piece after its last whole group go to the lexer and to the
// lines one at a time.
// Included once per instruction set, after c_splices.h.

// The C masks of a group of 64 bytes: the set's own classifier of groups
// where it has one, else its blocks' masks side by side.
template <class B = Blocks> CMEASURE_INLINE CMasks classify64(const unsigned char *group)
{
    if constexpr (requires { B::classifyGroupC(group); }) {
        return B::classifyGroupC(group);
    } else {
        CMasks all{};
        for (int k = 0; k < 64; k += B::WIDTH) {
            const CMasks m = B::classifyC(group + k);
            all.lf |= m.lf << k;
            all.blank |= m.blank << k;
            all.space |= m.space << k;
            all.high |= m.high << k;
            all.word |= m.word << k;
            all.alnumDot |= m.alnumDot << k;
            all.star |= m.star << k;
            all.ends |= m.ends << k;
            all.literal |= m.literal << k;
            all.digit |= m.digit << k;
            all.special |= m.special << k;
            all.join |= m.join << k;
        }
        return all;
    }
}

// The position of the highest bit set in `mask`, 0 when none is. With bit 0
// forced, the compiler needs no test for zero, which a processor without
// lzcnt would otherwise take as a branch that mispredicts.
CMEASURE_INLINE int highestBit(std::uint64_t mask)
{
    return 63 - std::countl_zero(mask | 1);
}

// The lines of a group all in ASCII, with no character begun before it and
// no gate, the figures in locals through the group; from byte `start` on,
// when those before it were counted already.
CMEASURE_INLINE void countLines64(crules::State &state, const CMasks &masks, int start)
{
    crules::LineState &line = state.lines;
    std::uint64_t symbols = ~masks.blank & ~lowBits(start); // those not counted yet
    std::uint64_t lf = masks.lf & ~lowBits(start);
    if (lf == 0) {
        line.symbols += bitsSet<64>(symbols);
        line.column += 64 - start;
        return;
    }
    const int last = highestBit(lf);
    if (line.densestLine != 0 && line.symbols + bitsSet<64>(symbols) <= line.maxSymbols) {
        // No line of the group can be denser than the densest so far.
        const std::uint64_t upToLast = (std::uint64_t{2} << last) - 1; // all 64 when last is 63
        line.lines += bitsSet<64>(lf);
        line.symbols = bitsSet<64>(symbols & ~upToLast);
        line.column = 63 - last;
        line.allowed = false;
        return;
    }
    crules::Count lines = line.lines;
    crules::Count densest = line.densestLine;
    crules::Count most = line.maxSymbols;
    crules::Count current = line.symbols;
    int from = 0;
    for (; lf != 0; lf &= lf - 1) {
        const int at = std::countr_zero(lf);
        const std::uint64_t upToLf = (std::uint64_t{2} << at) - 1; // all 64 when at is 63
        current += bitsSet<64>(symbols & upToLf);
        symbols &= ~upToLf;
        lines++;
        if (densest == 0 || current > most) {
            most = current;
            densest = lines;
        }
        current = 0;
        from = at + 1;
    }
    line.lines = lines;
    line.densestLine = densest;
    line.maxSymbols = most;
    line.symbols = bitsSet<64>(symbols);
    line.column = 64 - from;
    line.allowed = false;
}

// The symbols `symbols` holds in bytes [from, to) of the current line, with
// the column of the one that passes the gate's limit when it is among them.
CMEASURE_INLINE void countGatedSpan(crules::State &state, std::uint64_t symbols, int from, int to)
{
    crules::LineState &line = state.lines;
    const std::uint64_t here = symbols & ~lowBits(from) & lowBits(to);
    const int count = bitsSet<64>(here);
    const crules::Count limit = state.gate->limit;
    if (line.symbols <= limit && limit - line.symbols < count) {
        std::uint64_t rest = here;
        for (crules::Count k = limit - line.symbols; k > 0; k--)
            rest &= rest - 1;
        line.overColumn = line.column + std::countr_zero(rest) - from + 1;
    }
    line.symbols += count;
    line.column += to - from;
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
    if (GATED && (lex.mode == Mode::LineComment || lex.mode == Mode::BlockComment))
        for (int k = from; k < to; k++)
            matchAllow(state, group[k]);
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
CMEASURE_INLINE constexpr bool plainPunctuator(unsigned char c)
{
    return c > ' ' && c < 0x7F && !isWordByte(c) && c != '$' && c != '/' && c != '.' && c != '%' && c != '#' &&
           c != '"' && c != '\'' && c != '<' && c != '\\';
}

#include "c_fast.h"
#include "c_group.h"

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
            if (quickStep(lex, group[i])) {
                i++;
                continue;
            }
        }
        feedByte(state, group[i++]);
        pass = mayPass(lex);
    }
}

// A group under a gate, a line at a time: the lexer reads a line up to its
// LF before the line ends, so that the allowing comment is the line's own.
CMEASURE_INLINE void feedGatedGroup(crules::State &state, const unsigned char *group, const CMasks &masks)
{
    const std::uint64_t symbols = ~masks.blank;
    const FastMasks fast = fastMasks(masks);
    std::uint64_t lf = masks.lf;
    for (int from = 0; from < 64;) {
        const int to = lf == 0 ? 64 : std::countr_zero(lf) + 1;
        lf &= lf - 1;
        lexSpan<true>(state, group, masks, fast, {from, to});
        if ((masks.high & ~lowBits(from) & lowBits(to)) == 0 && state.lines.utf8.have == 0) {
            countGatedSpan(state, symbols, from, to);
            if (group[to - 1] == '\n')
                endLine(state);
        } else {
            for (int i = from; i < to; i++)
                countByte(state, group[i]);
        }
        from = to;
    }
}

// The lines of bytes [start, 64) of a group without a gate: from its masks
// when they are all ASCII and no character is begun, else a byte at a time.
CMEASURE_INLINE void countGroupLines(crules::State &state, const unsigned char *group, const CMasks &masks,
                                     int start)
{
    if ((masks.high & ~lowBits(start)) == 0 && state.lines.utf8.have == 0) {
        countLines64(state, masks, start);
        return;
    }
    for (int i = start; i < 64; i++)
        countByte(state, group[i]);
}

// The bytes of `group` from `start` on, those before it read already: the
// last of a piece that ends within a group, read from the masks of the 64
// bytes that end it rather than a byte at a time (0.5 us a file saved).
CMEASURE_INLINE void feedLastBytes(crules::State &state, const unsigned char *group, int start)
{
    const CMasks masks = classify64(group);
    lexSpan<false>(state, group, masks, fastMasks(masks), {start, 64});
    countGroupLines(state, group, masks, start);
}

void feedC(crules::State &state, const unsigned char *bytes, std::size_t length)
{
    std::size_t k = 0;
    if (state.gate != nullptr) {
        for (; k + 64 <= length; k += 64)
            feedGatedGroup(state, bytes + k, classify64(bytes + k));
    } else {
        for (; k + 64 <= length; k += 64) {
            const CMasks masks = classify64(bytes + k);
            if (!lexWholeGroup(state.lex, bytes + k, masks))
                lexSpan<false>(state, bytes + k, masks, fastMasks(masks), {0, 64});
            countGroupLines(state, bytes + k, masks, 0);
        }
    }
    if (k < length && length >= 64 && state.gate == nullptr) {
        feedLastBytes(state, bytes + length - 64, static_cast<int>(64 - (length - k)));
        return;
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
