// The byte lexer's entry: a byte of input through the removal of line
// splices (and CRs before LF), then to the step of the lexer's mode; raw
// strings, which splices do not reach; and the end of the input.

CMEASURE_INLINE void spliceByte(crules::State &state, unsigned char c);

CMEASURE_INLINE bool isRaw(const LexState &lex)
{
    return lex.mode >= Mode::RawDelimiter;
}

// A raw string whose delimiter ended without '(' is a bad token that ends at
// the first '"' after its opening one. When that quote is among the
// delimiter's bytes, what follows it is lexed again as code, and true is
// returned; otherwise the token goes on to the next '"'.
bool endBadDelimiter(crules::State &state)
{
    LexState &lex = state.lex;
    const char *quote = static_cast<const char *>(std::memchr(lex.delimiter, '"', lex.delimiterLength));
    if (quote == nullptr) {
        lex.mode = Mode::RawRecovery;
        return false;
    }
    char again[crules::DELIMITER_MAX];
    const auto after = static_cast<std::size_t>(quote - lex.delimiter) + 1;
    const std::size_t length = lex.delimiterLength - after;
    std::memcpy(again, quote + 1, length);
    lex.mode = Mode::Code;
    for (std::size_t k = 0; k < length; k++)
        spliceByte(state, static_cast<unsigned char>(again[k]));
    return true;
}

// A byte of a raw string. False when it must be taken again as code.
CMEASURE_INLINE bool raw(crules::State &state, unsigned char c)
{
    LexState &lex = state.lex;
    const int length = lex.delimiterLength;
    switch (lex.mode) {
    case Mode::RawDelimiter:
        if (c == '(') {
            lex.mode = Mode::RawBody;
            lex.closeMatched = 0;
        } else if (length < crules::DELIMITER_MAX && isDelimiterByte(c)) {
            lex.delimiter[lex.delimiterLength++] = static_cast<char>(c);
        } else if (endBadDelimiter(state)) {
            return false;
        } else if (c == '"') {
            lex.mode = Mode::Code;
        }
        return true;
    case Mode::RawBody:
        if (lex.closeMatched == length + 1 && c == '"')
            lex.mode = Mode::LiteralEnd;
        else if (lex.closeMatched > 0 && lex.closeMatched <= length &&
                 c == static_cast<unsigned char>(lex.delimiter[lex.closeMatched - 1]))
            lex.closeMatched++;
        else
            lex.closeMatched = c == ')';
        return true;
    default: // RawRecovery
        if (c == '"')
            lex.mode = Mode::Code;
        return true;
    }
}

// A header name's '<' looks for its '>' on the same line, while the lexer
// goes on as if there were none. True when `c` is that '>': what the lexer
// found since the '<' is dropped.
CMEASURE_INLINE bool closesHeaderName(LexState &lex, unsigned char c)
{
    if (lex.angle == Angle::Escape) {
        lex.angle = isNewlineByte(c) ? Angle::Off : Angle::Scanning;
        return false;
    }
    if (c == '>') {
        lex.angle = Angle::Off;
        lex.identifiers = lex.identifiersBeforeAngle;
        lex.mode = Mode::Code;
        lex.utf8 = {};
        punctuator(lex);
        return true;
    }
    if (c == '\\')
        lex.angle = Angle::Escape;
    else if (isNewlineByte(c))
        lex.angle = Angle::Off;
    return false;
}

// A character beyond ASCII continues no token across a splice, nor does a
// splice continue a character: compilers decode a character from the bytes
// where it begins.
CMEASURE_INLINE void endBeforeSplicedCharacter(LexState &lex)
{
    if (lex.utf8.have != 0)
        return;
    if (lex.mode == Mode::Identifier) {
        if (!(lex.suffixCandidate && standardSuffix(lex)))
            endIdentifier(lex);
        lex.mode = Mode::Code;
    } else if (lex.mode == Mode::Number || lex.mode == Mode::Suffix || lex.mode == Mode::LiteralEnd) {
        lex.mode = Mode::Code;
    }
}

// A character after splices. False when a raw string gives it back.
CMEASURE_INLINE bool lexCharacter(crules::State &state, unsigned char c)
{
    LexState &lex = state.lex;
    if (lex.angle != Angle::Off && closesHeaderName(lex, c))
        return true;
    const bool spliced = lex.afterSplice;
    lex.afterSplice = false;
    if (spliced && c >= 0x80)
        endBeforeSplicedCharacter(lex);
    if (lex.utf8.have != 0) {
        if (!spliced && utf8Continues(lex.utf8, c)) {
            if (lex.utf8.need == 0) {
                const std::uint32_t codePoint = lex.utf8.codePoint;
                lex.utf8 = {};
                unicodeCharacter(state, codePoint);
            }
            return true;
        }
        lex.utf8 = {};
        invalidByte(lex);
    }
    switch (lex.mode) {
    case Mode::Code: code(state, c); return true;
    case Mode::Identifier: identifier(state, c); return true;
    case Mode::Number: number(state, c); return true;
    case Mode::NumberQuote: case Mode::Dot: case Mode::DotDot: case Mode::Slash: case Mode::Percent:
        resolve(state, c);
        return true;
    case Mode::LineComment:
        if (isNewlineByte(c)) {
            lex.mode = Mode::Code;
            code(state, c);
        } else {
            matchAllow(state, c);
        }
        return true;
    case Mode::BlockComment: case Mode::BlockStar:
        if (c == '/' && lex.mode == Mode::BlockStar)
            lex.mode = Mode::Code;
        else
            lex.mode = c == '*' ? Mode::BlockStar : Mode::BlockComment;
        matchAllow(state, c);
        return true;
    case Mode::Literal: literal(state, c); return true;
    case Mode::LiteralEnd: literalEnd(state, c); return true;
    case Mode::Suffix: suffix(state, c); return true;
    case Mode::LiteralEscape:
        lex.mode = Mode::Literal;
        lex.literalEmpty = false;
        if (isNewlineByte(c))
            literal(state, c);
        return true;
    default: return raw(state, c);
    }
}

// A backslash, horizontal white space, then a newline (LF or CR, a CR
// before LF being dropped already) vanish. A backslash that begins no splice is given to the lexer
// late, with one space for the white space after it: to the lexer a run
// of white space is one.
CMEASURE_INLINE void spliceByte(crules::State &state, unsigned char c)
{
    LexState &lex = state.lex;
    for (;;) {
        if (lex.splice == Splice::Backslash) {
            if (isHorizontalSpace(c)) {
                lex.spliceSpace = true;
                return;
            }
            if (isNewlineByte(c)) {
                lex.splice = Splice::None;
                lex.afterSplice = true;
                return;
            }
            lex.splice = Splice::None;
            lexCharacter(state, '\\');
            if (lex.spliceSpace)
                lexCharacter(state, ' ');
        }
        if (c == '\\' && !isRaw(lex)) {
            lex.splice = Splice::Backslash;
            lex.spliceSpace = false;
            return;
        }
        if (lexCharacter(state, c))
            return;
    }
}

// CRs before LF are dropped, all of a run of them, so that the figures are
// the same whether or not the input kept them, or one of them: the lexer
// reads a CR only with the byte after the run. Two CRs act as any more
// would: the first may end a splice, and the second is a newline.
CMEASURE_INLINE void feedByte(crules::State &state, unsigned char c)
{
    LexState &lex = state.lex;
    if (c == '\r') {
        lex.heldReturns = static_cast<unsigned char>(std::min(lex.heldReturns + 1, 2));
        return;
    }
    if (c != '\n')
        for (; lex.heldReturns > 0; lex.heldReturns--)
            spliceByte(state, '\r');
    lex.heldReturns = 0;
    spliceByte(state, c);
}

// The end of the input: a backslash that began no splice is a character,
// a raw string's delimiter may give back bytes, an identifier ends.
void finishLexer(crules::State &state)
{
    LexState &lex = state.lex;
    for (; lex.heldReturns > 0; lex.heldReturns--)
        spliceByte(state, '\r');
    if (lex.splice == Splice::Backslash) {
        lexCharacter(state, '\\');
        if (lex.spliceSpace)
            lexCharacter(state, ' ');
    }
    lex.splice = Splice::None;
    if (lex.mode == Mode::RawDelimiter && endBadDelimiter(state))
        return finishLexer(state);
    lex.angle = Angle::Off;
    if (lex.utf8.have != 0) {
        lex.utf8 = {};
        invalidByte(lex);
    }
    if (lex.mode == Mode::Identifier && !(lex.suffixCandidate && standardSuffix(lex)))
        endIdentifier(lex);
}
