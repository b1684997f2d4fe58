// The physical lines of a scan under C's rules: their count, the densest,
// and each line over the gate's limit; a byte at a time, where a character
// beyond ASCII or a gate needs it, else from a group's masks. The lines see
// bytes, not tokens: the lexer tells them only that a line is allowed and,
// when code alone counts, which bytes count nothing.

// A UTF-8 sequence that `lead` begins: the bytes it still needs and the range
// of the next, so that overlong forms, surrogates and code points past
// U+10FFFF are not valid. need == 0 when `lead` begins none.
CMEASURE_INLINE crules::Utf8 utf8Begun(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return {.need = 1, .low = 0x80, .high = 0xBF, .have = 1, .codePoint = lead & 0x1Fu};
    if (lead >= 0xE0 && lead <= 0xEF)
        return {.need = 2,
                .low = static_cast<unsigned char>(lead == 0xE0 ? 0xA0 : 0x80),
                .high = static_cast<unsigned char>(lead == 0xED ? 0x9F : 0xBF),
                .have = 1,
                .codePoint = lead & 0x0Fu};
    if (lead >= 0xF0 && lead <= 0xF4)
        return {.need = 3,
                .low = static_cast<unsigned char>(lead == 0xF0 ? 0x90 : 0x80),
                .high = static_cast<unsigned char>(lead == 0xF4 ? 0x8F : 0xBF),
                .have = 1,
                .codePoint = lead & 0x07u};
    return {};
}

// Takes `c` into the sequence if it continues it; then true.
CMEASURE_INLINE bool utf8Continues(crules::Utf8 &sequence, unsigned char c)
{
    if (c < sequence.low || c > sequence.high)
        return false;
    sequence.codePoint = (sequence.codePoint << 6) | (c & 0x3Fu);
    sequence.have++;
    sequence.need--;
    sequence.low = 0x80;
    sequence.high = 0xBF;
    return true;
}

CMEASURE_INLINE void symbolAt(crules::State &state, crules::Count column)
{
    crules::LineState &line = state.lines;
    line.symbols++;
    if (state.gate != nullptr && line.symbols - 1 == state.gate->limit) {
        line.overColumn = column;
        line.overCharacterColumn = column - line.continuing;
    }
}

// With a gate, a symbol's byte goes into the hash of its line.
CMEASURE_INLINE void hashSymbolByte(crules::LineState &line, unsigned char c)
{
    if (!isBlankByte(c))
        line.textHash = (line.textHash ^ c) * crules::TEXT_HASH_PRIME;
}

CMEASURE_INLINE void hashSymbolBytes(crules::LineState &line, const unsigned char *bytes, int length)
{
    for (int k = 0; k < length; k++)
        hashSymbolByte(line, bytes[k]);
}

// A sequence broken off: each of its bytes is a character.
CMEASURE_INLINE void breakSequence(crules::State &state)
{
    crules::LineState &line = state.lines;
    for (int k = 0; k < line.utf8.have; k++)
        if (((line.utf8Hidden >> k) & 1) == 0)
            symbolAt(state, line.utf8Column + k);
    line.utf8 = {};
    line.utf8Hidden = 0;
}

// Counts a line of `symbols` in the census.
CMEASURE_INLINE void countInCensus(crules::LineCensus &census, crules::Count symbols)
{
    census.lines[symbols]++;
    census.most = std::max(census.most, symbols);
}

// A line over the limit, ending: into the census when it takes the line.
CMEASURE_INLINE void reportLine(const crules::LineLimit &gate, const crules::LineState &line)
{
    if (gate.census != nullptr && !line.allowed && line.symbols < gate.census->size) {
        countInCensus(*gate.census, line.symbols);
        return;
    }
    gate.report(gate.context, {.line = line.lines,
                               .symbols = line.symbols,
                               .column = line.overColumn,
                               .allowed = line.allowed,
                               .characterColumn = line.overCharacterColumn,
                               .textHash = line.textHash});
}

CMEASURE_INLINE void endLine(crules::State &state)
{
    crules::LineState &line = state.lines;
    if (line.utf8.have != 0)
        breakSequence(state);
    line.lines++;
    if (line.densestLine == 0 || line.symbols > line.maxSymbols) {
        line.maxSymbols = line.symbols;
        line.densestLine = line.lines;
    }
    if (state.gate != nullptr && line.symbols > state.gate->limit && line.symbols >= state.gate->floor)
        reportLine(*state.gate, line);
    line.symbols = 0;
    line.continuing = 0;
    line.textHash = crules::TEXT_HASH_START;
    line.column = 0;
    line.allowed = line.allowNext || line.off;
    line.allowNext = false;
}

// One byte of the input, for the lines; `hidden` when it counts nothing. A
// character of several bytes counts as its last byte does, but for those of
// a sequence broken off.
CMEASURE_INLINE void countByte(crules::State &state, unsigned char c, bool hidden = false)
{
    crules::LineState &line = state.lines;
    const crules::Count column = ++line.column;
    if (state.gate != nullptr && state.gate->hashes)
        hashSymbolByte(line, c);
    if (line.utf8.have != 0) {
        if (utf8Continues(line.utf8, c)) {
            line.utf8Hidden |= static_cast<unsigned char>(hidden ? 1u << (line.utf8.have - 1) : 0u);
            if (line.utf8.need == 0) {
                if (!hidden)
                    symbolAt(state, line.utf8Column);
                if (state.gate != nullptr)
                    line.continuing += line.utf8.have - 1;
                line.utf8 = {};
                line.utf8Hidden = 0;
            }
            return;
        }
        breakSequence(state);
    }
    if (c == '\n') {
        endLine(state);
    } else if (c >= 0x80 && (line.utf8 = utf8Begun(c)).need != 0) {
        line.utf8Column = column;
        line.utf8Hidden = hidden ? 1 : 0;
    } else if (!isBlankByte(c) && !hidden) {
        symbolAt(state, column);
    }
}

// The bytes from this offset on are the lines' still to count, in the mask
// of the group being read; those before it are counted.
CMEASURE_INLINE crules::Count uncountedFrom(const crules::State &state)
{
    return state.lex.groupStart + state.lines.countedTo;
}

// Code alone counting, the byte at offset `at`, a symbol unless marked,
// counts nothing, or counts after all. Only the byte read and those just
// before it on its line are marked, so that one counted already is taken
// off its line's count.
CMEASURE_INLINE void hideByte(crules::State &state, crules::Count at, bool hidden)
{
    crules::LineState &line = state.lines;
    if (at >= uncountedFrom(state)) {
        const std::uint64_t bit = std::uint64_t{1} << ((at - state.lex.groupStart) & 63);
        line.hidden = hidden ? line.hidden | bit : line.hidden & ~bit;
    } else if (hidden) {
        line.symbols--;
    }
}

// The bytes at offsets [from, from + count), hidden as they were read, count
// after all: those the lines counted already are the last of the line so far.
CMEASURE_INLINE void giveBack(crules::State &state, crules::Count from, int count)
{
    const crules::Count counted = uncountedFrom(state);
    for (crules::Count at = from; at < from + count; at++) {
        if (at >= counted)
            hideByte(state, at, false);
        else
            symbolAt(state, state.lines.column - (counted - 1 - at));
    }
}

// Bytes [from, to) of the group being read count nothing.
CMEASURE_INLINE void hideSpan(crules::State &state, int from, int to)
{
    state.lines.hidden |= lowBits(to) & ~lowBits(from);
}

// The bytes at offsets [from, from + count), read as code, count nothing.
CMEASURE_INLINE void takeBack(crules::State &state, crules::Count from, int count)
{
    for (crules::Count at = from; at < from + count; at++)
        hideByte(state, at, true);
}

// The end of the input ends a last line without LF.
CMEASURE_INLINE void finishLines(crules::State &state)
{
    if (state.lines.utf8.have != 0)
        breakSequence(state);
    if (state.lines.column > 0)
        endLine(state);
}

// The lines of a group all in ASCII, with no character begun before it and
// no gate, the figures in locals through the group; from byte `start` on,
// when those before it were counted already.
CMEASURE_INLINE void countLines64(crules::State &state, const CMasks &masks, int start)
{
    crules::LineState &line = state.lines;
    std::uint64_t symbols = ~masks.blank & ~line.hidden & ~lowBits(start); // those not counted yet
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

// The symbols `symbols` holds in bytes [from, to) of the current line, all
// ASCII, with the column of the one that passes the gate's limit when it is
// among them; the caller hashes them.
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
        line.overCharacterColumn = line.overColumn - line.continuing;
    }
    line.symbols += count;
    line.column += to - from;
}

// Whether no line that a group all in ASCII ends or goes on with can pass
// `bound` symbols in it: the open line with the symbols up to the first LF,
// and all symbols after that LF together, each within the bound.
CMEASURE_INLINE bool staysWithin(const crules::State &state, const CMasks &masks, crules::Count bound)
{
    const crules::LineState &line = state.lines;
    if (masks.high != 0 || line.utf8.have != 0)
        return false;
    const std::uint64_t symbols = ~masks.blank & ~line.hidden;
    if (line.symbols + bitsSet<64>(symbols) <= bound) // nearly every group, at a limit of some tens
        return true;
    const std::uint64_t upToLf = masks.lf ^ (masks.lf - 1); // up to the first LF; all 64 when none
    return line.symbols + bitsSet<64>(symbols & upToLf) <= bound && bitsSet<64>(symbols & ~upToLf) <= bound;
}

// The lines of a group under a gate that none passes: counted as without a
// gate, each line the group ends left as endLine() leaves it, the symbols of
// the line it leaves open hashed.
CMEASURE_INLINE void countLinesWithinLimit(crules::State &state, const unsigned char *group, const CMasks &masks)
{
    crules::LineState &line = state.lines;
    const std::uint64_t lf = masks.lf;
    const bool allowNext = line.allowNext;
    countLines64(state, masks, 0);
    if (lf == 0) {
        if (state.gate->hashes)
            hashSymbolBytes(line, group, 64);
        return;
    }
    const int last = highestBit(lf);
    line.allowed = line.off || (allowNext && (lf & (lf - 1)) == 0);
    line.allowNext = false;
    line.continuing = 0;
    line.textHash = crules::TEXT_HASH_START;
    if (state.gate->hashes)
        hashSymbolBytes(line, group + last + 1, 63 - last);
}

// The lines of a group under a gate that none it ends is reported from:
// each below the floor, or counted in the census. Counted as without a
// gate; the line left open is counted as the gate counts it, with the
// column of the symbol that passes the limit when one does in this group.
CMEASURE_INLINE void countLinesUnreported(crules::State &state, const unsigned char *group, const CMasks &masks)
{
    crules::LineState &line = state.lines;
    const std::uint64_t symbols = ~masks.blank & ~line.hidden;
    if (masks.lf == 0) {
        countGatedSpan(state, symbols, 0, 64);
        if (state.gate->hashes)
            hashSymbolBytes(line, group, 64);
        return;
    }
    const int last = highestBit(masks.lf);
    countLinesWithinLimit(state, group, masks);
    line.symbols = 0;
    line.column = 0;
    countGatedSpan(state, symbols, last + 1, 64);
}

// The lines of a group all in ASCII that takes the census: each it ends
// counted as without a gate, and there when over the limit and the floor;
// the line left open as countLinesUnreported() leaves it.
CMEASURE_INLINE void countLinesInCensus(crules::State &state, const unsigned char *group, const CMasks &masks)
{
    crules::LineState &line = state.lines;
    const crules::LineLimit &gate = *state.gate;
    const std::uint64_t all = ~masks.blank & ~line.hidden;
    if (masks.lf == 0) {
        countLinesUnreported(state, group, masks);
        return;
    }
    std::uint64_t symbols = all;
    crules::Count lines = line.lines;
    crules::Count densest = line.densestLine;
    crules::Count most = line.maxSymbols;
    crules::Count current = line.symbols;
    for (std::uint64_t lf = masks.lf; lf != 0; lf &= lf - 1) {
        const std::uint64_t upToLf = (std::uint64_t{2} << std::countr_zero(lf)) - 1; // all 64 when at 63
        current += bitsSet<64>(symbols & upToLf);
        symbols &= ~upToLf;
        lines++;
        if (densest == 0 || current > most) {
            most = current;
            densest = lines;
        }
        if (current > gate.limit && current >= gate.floor)
            countInCensus(*gate.census, current);
        current = 0;
    }
    line.lines = lines;
    line.densestLine = densest;
    line.maxSymbols = most;
    line.allowed = false;
    line.allowNext = false;
    line.continuing = 0;
    line.textHash = crules::TEXT_HASH_START;
    line.symbols = 0;
    line.column = 0;
    const int last = highestBit(masks.lf);
    countGatedSpan(state, all, last + 1, 64);
    if (gate.hashes)
        hashSymbolBytes(line, group + last + 1, 63 - last);
}

// The lines of a group all in ASCII, lexed whole, under a gate that hashes
// no line: each it ends counted, and ended as endLine() ends it, which
// reports it when over the limit; the line left open counted as the gate
// counts it. Only a line that may be reported has its symbols counted as
// the gate counts them, with the column of the one past the limit.
CMEASURE_INLINE void countLinesReporting(crules::State &state, const CMasks &masks)
{
    crules::LineState &line = state.lines;
    const crules::LineLimit &gate = *state.gate;
    const std::uint64_t symbols = ~masks.blank & ~line.hidden;
    int from = 0;
    for (std::uint64_t lf = masks.lf; lf != 0; lf &= lf - 1) {
        const int to = std::countr_zero(lf) + 1;
        const crules::Count total = line.symbols + bitsSet<64>(symbols & lowBits(to) & ~lowBits(from));
        if (total > gate.limit && total >= gate.floor)
            countGatedSpan(state, symbols, from, to);
        else
            line.symbols = total;
        endLine(state);
        from = to;
    }
    countGatedSpan(state, symbols, from, 64);
}

// Whether the lines over the limit that a group all in ASCII ends all go to
// the census: none is allowed (no marker can be read in the group, and none
// is in force), and each has fewer symbols than the census holds.
CMEASURE_INLINE bool takesCensus(const crules::State &state, const CMasks &masks)
{
    const crules::LineCensus *census = state.gate->census;
    const crules::LineState &line = state.lines;
    return census != nullptr && !line.allowed && !line.allowNext && !line.off && staysWithin(state, masks, census->size - 1);
}

// Whether each line a group all in ASCII ends is below the floor, which is
// past the limit's next count (a limit may be the largest count).
CMEASURE_INLINE bool staysBelowFloor(const crules::State &state, const CMasks &masks)
{
    const crules::LineLimit &gate = *state.gate;
    return gate.floor - 1 > gate.limit && staysWithin(state, masks, gate.floor - 1);
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
        countByte(state, group[i], ((state.lines.hidden >> i) & 1) != 0);
}
