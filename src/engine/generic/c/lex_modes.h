// The byte lexer's step in each mode, over the characters that line
// splices leave.

CMEASURE_INLINE void code(crules::State &state, unsigned char c);

// A character beyond ASCII, whole, in code or an identifier or a number.
CMEASURE_INLINE void unicodeCharacter(crules::State &state, std::uint32_t codePoint)
{
    LexState &lex = state.lex;
    const bool allowed = !crules::unicodeSpace(codePoint);
    if (lex.mode == Mode::LiteralEnd || lex.mode == Mode::Suffix) {
        lex.mode = allowed ? Mode::Suffix : Mode::Code;
        return;
    }
    if (lex.mode == Mode::Identifier) {
        if (allowed) {
            lex.nameLength = crules::NAME_BUFFER + 1;
            return;
        }
        endIdentifier(lex);
    } else if (lex.mode == Mode::Number) {
        if (allowed) {
            continueNumber(lex, 0x80);
            lex.numberPrevious = 0;
            return;
        }
        lex.mode = Mode::Code;
    }
    if (crules::unicodeSpace(codePoint))
        return;
    if (crules::beginsIdentifier(codePoint, lex.cpp)) {
        beginIdentifier(lex, 0x80);
        lex.nameLength = crules::NAME_BUFFER + 1;
    } else {
        punctuator(lex);
    }
}

// A byte that is no part of a valid UTF-8 character: a token of its own.
CMEASURE_INLINE void invalidByte(LexState &lex)
{
    if (lex.mode == Mode::Identifier)
        endIdentifier(lex);
    lex.mode = Mode::Code;
    punctuator(lex);
}

// The first byte beyond ASCII of a character in code, an identifier or a number.
CMEASURE_INLINE void beginCharacter(LexState &lex, unsigned char c)
{
    lex.utf8 = utf8Begun(c);
    if (lex.utf8.need == 0)
        invalidByte(lex);
}

CMEASURE_INLINE void code(crules::State &state, unsigned char c)
{
    LexState &lex = state.lex;
    switch (c) {
    case ' ': case '\t': case '\v': case '\f': case 0:
        return;
    case '\n': case '\r':
        lex.startOfLine = true;
        lex.directive = Directive::None;
        return;
    case '/':
        lex.mode = Mode::Slash;
        lex.pendingAt = lex.at;
        return;
    case '.': lex.mode = Mode::Dot; return;
    case '%': lex.mode = Mode::Percent; return;
    case '#': hash(lex); return;
    case '"': case '\'':
        punctuator(lex);
        beginLiteral(lex, c);
        return;
    case '<':
        if (lex.directive == Directive::WantHeader) {
            lex.angle = Angle::Scanning;
            lex.identifiersBeforeAngle = lex.identifiers;
        }
        punctuator(lex);
        return;
    default:
        break;
    }
    if (isLetter(c) || c == '_' || c == '$')
        beginIdentifier(lex, c);
    else if (isDigit(c))
        beginNumber(lex, c);
    else if (c >= 0x80)
        beginCharacter(lex, c);
    else
        punctuator(lex);
}

// The identifier so far is a literal's prefix, and `quote` opens the literal.
CMEASURE_INLINE Mode prefixedLiteral(const LexState &lex, unsigned char quote)
{
    const bool narrow = nameIs(lex, "L", 1) || nameIs(lex, "u", 1) || nameIs(lex, "U", 1);
    if (quote == '\'')
        return narrow ? Mode::Literal : Mode::Code;
    if (narrow || nameIs(lex, "u8", 2))
        return Mode::Literal;
    const bool raw = nameIs(lex, "R", 1) || nameIs(lex, "LR", 2) || nameIs(lex, "uR", 2) || nameIs(lex, "UR", 2) ||
                     nameIs(lex, "u8R", 3);
    return lex.cpp && raw ? Mode::RawDelimiter : Mode::Code;
}

CMEASURE_INLINE void suffix(crules::State &state, unsigned char c);

// The suffixes of the standard library that may follow a C++ string literal
// without '_': an identifier that is one of them is the literal's suffix.
CMEASURE_INLINE bool standardSuffix(const LexState &lex)
{
    return nameIs(lex, "s", 1) || nameIs(lex, "sv", 2) || nameIs(lex, "h", 1) || nameIs(lex, "min", 3) ||
           nameIs(lex, "ms", 2) || nameIs(lex, "us", 2) || nameIs(lex, "ns", 2) || nameIs(lex, "i", 1) ||
           nameIs(lex, "il", 2) || nameIs(lex, "if", 2);
}

CMEASURE_INLINE void identifier(crules::State &state, unsigned char c)
{
    LexState &lex = state.lex;
    if (lex.suffixCandidate && !isWordByte(c)) {
        lex.suffixCandidate = false;
        if (standardSuffix(lex)) {
            lex.mode = Mode::Suffix;
            return suffix(state, c);
        }
    }
    if (isWordByte(c) || c == '$') {
        appendName(lex, c);
        return;
    }
    if (c >= 0x80) {
        beginCharacter(lex, c);
        return;
    }
    if (c == '"' || c == '\'') {
        const Mode literal = prefixedLiteral(lex, c);
        if (literal != Mode::Code) {
            punctuator(lex);
            lex.mode = literal;
            lex.quote = c;
            lex.literalEmpty = true;
            lex.delimiterLength = 0;
            return;
        }
    }
    endIdentifier(lex);
    code(state, c);
}

CMEASURE_INLINE void number(crules::State &state, unsigned char c)
{
    LexState &lex = state.lex;
    if (isWordByte(c) || c == '.') {
        continueNumber(lex, c);
    } else if ((c == '+' || c == '-') && signContinuesNumber(lex)) {
        continueNumber(lex, c);
        lex.numberPrevious = 0;
    } else if (c == '\'' && lex.cpp)
        lex.mode = Mode::NumberQuote;
    else if (c >= 0x80)
        beginCharacter(lex, c);
    else {
        lex.mode = Mode::Code;
        code(state, c);
    }
}

CMEASURE_INLINE void literal(crules::State &state, unsigned char c)
{
    LexState &lex = state.lex;
    if (c == lex.quote) {
        lex.mode = modeAfterClosingQuote(lex.cpp, c, lex.literalEmpty);
    } else if (c == '\\') {
        lex.mode = Mode::LiteralEscape;
    } else if (isNewlineByte(c)) {
        lex.mode = Mode::Code; // unterminated: it ends with its line
        code(state, c);
    }
    lex.literalEmpty = false;
}

// After a C++ literal: '_' or a character beyond ASCII begins a suffix, and
// so do the standard suffixes after a string literal.
CMEASURE_INLINE void literalEnd(crules::State &state, unsigned char c)
{
    LexState &lex = state.lex;
    if (c == '_') {
        lex.mode = Mode::Suffix;
    } else if (c >= 0x80) {
        beginCharacter(lex, c);
    } else if (isLetter(c) && lex.quote == '"') {
        beginIdentifier(lex, c);
        lex.suffixCandidate = true;
    } else {
        lex.mode = Mode::Code;
        code(state, c);
    }
}

CMEASURE_INLINE void suffix(crules::State &state, unsigned char c)
{
    LexState &lex = state.lex;
    if (c >= 0x80) {
        beginCharacter(lex, c);
    } else if (!isWordByte(c)) {
        lex.mode = Mode::Code;
        code(state, c);
    }
}

// A pending character resolved by the next one: `c` makes `makes` of it,
// or else it is a punctuator and `c` is code.
CMEASURE_INLINE void resolve(crules::State &state, unsigned char c)
{
    LexState &lex = state.lex;
    switch (lex.mode) {
    case Mode::Slash:
        if (c == '/' || c == '*')
            return beginComment(lex, c == '/' ? Mode::LineComment : Mode::BlockComment);
        break;
    case Mode::Dot:
        if (isDigit(c))
            return numberFromDot(lex, c);
        if (c == '.') {
            lex.mode = Mode::DotDot;
            return;
        }
        break;
    case Mode::DotDot:
        // An ellipsis first: "...0" is "..." and 0, "..0" is '.' and ".0".
        punctuator(lex);
        if (c == '.') {
            lex.mode = Mode::Code;
            return;
        }
        // The second '.' is pending as the first was: a number or a
        // punctuator of its own.
        if (isDigit(c))
            return numberFromDot(lex, c);
        break;
    case Mode::Percent:
        if (c == ':') {
            lex.mode = Mode::Code;
            return hash(lex);
        }
        break;
    default: // NumberQuote
        if (isWordByte(c)) {
            lex.mode = Mode::Number;
            continueNumber(lex, c);
            lex.numberPrevious = 0;
            return;
        }
        punctuator(lex);
        beginLiteral(lex, '\'');
        return literal(state, c);
    }
    punctuator(lex);
    lex.mode = Mode::Code;
    code(state, c);
}
