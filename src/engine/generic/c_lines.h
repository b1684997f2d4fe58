// The physical lines of a scan under C's rules: their count, the densest,
// and each line over the gate's limit, one byte at a time. Included once
// per instruction set, inside its namespace, after c_rules.h.

// White space and NUL, which are not symbols.
CMEASURE_INLINE bool isBlankByte(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == 0;
}

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
    if (state.gate != nullptr && line.symbols - 1 == state.gate->limit)
        line.overColumn = column;
}

// A sequence broken off: each of its bytes is a character.
CMEASURE_INLINE void breakSequence(crules::State &state)
{
    crules::LineState &line = state.lines;
    for (int k = 0; k < line.utf8.have; k++)
        symbolAt(state, line.utf8Column + k);
    line.utf8 = {};
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
    if (state.gate != nullptr && line.symbols > state.gate->limit)
        state.gate->report(state.gate->context, {.line = line.lines,
                                                 .symbols = line.symbols,
                                                 .column = line.overColumn,
                                                 .allowed = line.allowed});
    line.symbols = 0;
    line.column = 0;
    line.allowed = false;
}

// One byte of the input, for the lines.
CMEASURE_INLINE void countByte(crules::State &state, unsigned char c)
{
    crules::LineState &line = state.lines;
    const crules::Count column = ++line.column;
    if (line.utf8.have != 0) {
        if (utf8Continues(line.utf8, c)) {
            if (line.utf8.need == 0) {
                symbolAt(state, line.utf8Column);
                line.utf8 = {};
            }
            return;
        }
        breakSequence(state);
    }
    if (c == '\n') {
        endLine(state);
    } else if (c >= 0x80 && (line.utf8 = utf8Begun(c)).need != 0) {
        line.utf8Column = column;
    } else if (!isBlankByte(c)) {
        symbolAt(state, column);
    }
}

// The end of the input ends a last line without LF.
CMEASURE_INLINE void finishLines(crules::State &state)
{
    if (state.lines.utf8.have != 0)
        breakSequence(state);
    if (state.lines.column > 0)
        endLine(state);
}
