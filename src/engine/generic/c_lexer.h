// C's lexer, as far as the identifier count needs it, over the bytes of the
// input one at a time: line splices removed first, then comments, literals,
// pp-numbers, header names and identifiers told apart. Included once per
// instruction set, inside its namespace, after c_lines.h.

using crules::Angle;
using crules::Directive;
using crules::LexState;
using crules::Mode;
using crules::Splice;

CMEASURE_INLINE bool isNewlineByte(unsigned char c)
{
    return c == '\n' || c == '\r';
}

CMEASURE_INLINE bool isHorizontalSpace(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

CMEASURE_INLINE constexpr bool isLetter(unsigned char c)
{
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

CMEASURE_INLINE constexpr bool isDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

// Letters, digits and '_': what a digit separator must be followed by.
CMEASURE_INLINE constexpr bool isWordByte(unsigned char c)
{
    return isLetter(c) || isDigit(c) || c == '_';
}

// The bytes a raw string's delimiter may hold: the basic characters but
// space, parentheses, backslash and the controls.
CMEASURE_INLINE bool isDelimiterByte(unsigned char c)
{
    return c > ' ' && c < 0x7F && c != '(' && c != ')' && c != '\\' && c != '@' && c != '$' && c != '`';
}

// A token other than an identifier: the line has one, and no directive
// that matters goes on.
CMEASURE_INLINE void punctuator(LexState &lex)
{
    lex.directive = Directive::None;
    lex.startOfLine = false;
}

CMEASURE_INLINE void hash(LexState &lex)
{
    lex.directive = lex.startOfLine ? Directive::WantName : Directive::None;
    lex.startOfLine = false;
}

CMEASURE_INLINE bool nameIs(const LexState &lex, const char *name, int length)
{
    return lex.nameLength == length && std::memcmp(lex.name, name, static_cast<std::size_t>(length)) == 0;
}

CMEASURE_INLINE void appendName(LexState &lex, unsigned char c)
{
    if (lex.nameLength < crules::NAME_BUFFER)
        lex.name[lex.nameLength++] = static_cast<char>(c);
    else
        lex.nameLength = crules::NAME_BUFFER + 1;
}

CMEASURE_INLINE void beginIdentifier(LexState &lex, unsigned char c)
{
    lex.startOfLine = false;
    lex.mode = Mode::Identifier;
    lex.suffixCandidate = false;
    lex.nameLength = 0;
    appendName(lex, c);
}

CMEASURE_INLINE void endIdentifier(LexState &lex)
{
    lex.identifiers++;
    lex.mode = Mode::Code;
    const bool include = nameIs(lex, "include", 7) || nameIs(lex, "include_next", 12) || nameIs(lex, "import", 6);
    lex.directive = lex.directive == Directive::WantName && include ? Directive::WantHeader : Directive::None;
}

// A pp-number begun by a digit.
CMEASURE_INLINE void beginNumber(LexState &lex, unsigned char digit)
{
    punctuator(lex);
    lex.mode = Mode::Number;
    lex.numberFirst = digit;
    lex.numberLength = 1;
    lex.numberPrevious = digit;
    lex.numberHex = false;
    lex.numberUnderscore = false;
}

// A character of a pp-number after its first. numberPrevious is what an
// exponent's sign looks at: the character, or 0 after a sign, a digit
// separator or a character beyond ASCII, which the caller then sets.
CMEASURE_INLINE void continueNumber(LexState &lex, unsigned char c)
{
    if (lex.numberLength == 1)
        lex.numberHex = lex.numberFirst == '0' && (c | 0x20) == 'x';
    lex.numberLength = 2;
    lex.numberUnderscore = lex.numberUnderscore || c == '_';
    lex.numberPrevious = c;
}

CMEASURE_INLINE void beginLiteral(LexState &lex, unsigned char quote)
{
    lex.mode = Mode::Literal;
    lex.quote = quote;
    lex.literalEmpty = true;
}

CMEASURE_INLINE void beginComment(LexState &lex, Mode mode)
{
    lex.mode = mode;
    lex.allowMatched = 0;
}

// In a comment: follows the text that allows a line over the gate's limit.
CMEASURE_INLINE void matchAllow(crules::State &state, unsigned char c)
{
    static constexpr char ALLOW[] = "cmeasure: allow";
    LexState &lex = state.lex;
    if (c != static_cast<unsigned char>(ALLOW[lex.allowMatched])) {
        lex.allowMatched = c == 'c';
    } else if (++lex.allowMatched == sizeof ALLOW - 1) {
        state.lines.allowed = true;
        lex.allowMatched = 0;
    }
}
