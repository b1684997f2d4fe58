// The scan under C's rules, fed a piece of input at a time: each byte goes
// to the lexer and to the lines. Included once per instruction set, after
// c_splices.h.

void feedC(crules::State &state, const unsigned char *bytes, std::size_t length)
{
    for (std::size_t k = 0; k < length; k++) {
        feedByte(state, bytes[k]);
        countByte(state, bytes[k]);
    }
}

void finishC(crules::State &state)
{
    finishLexer(state);
    finishLines(state);
}
