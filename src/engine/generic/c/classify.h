// Stage 1 of C's rules, the classes of bytes, which every later stage
// shares: a group's masks, the tests of one byte, the table of what a byte
// after a token may mean, and the masks of where a number may go on. The
// byte lexer decides with the tests; the skippers stop at the masks and the
// table, which hold every byte that the tests may tell apart.

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

// White space and NUL, which are not symbols.
CMEASURE_INLINE bool isBlankByte(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == 0;
}

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

// A punctuator that is a token of its own whatever follows it.
CMEASURE_INLINE constexpr bool plainPunctuator(unsigned char c)
{
    return c > ' ' && c < 0x7F && !isWordByte(c) && c != '$' && c != '/' && c != '.' && c != '%' && c != '#' &&
           c != '"' && c != '\'' && c != '<' && c != '\\';
}

// What the common path makes of a byte in code, and of the byte after a
// token, from one table rather than a chain of tests.
enum class Kind : unsigned char { Slow, Word, Digit, Newline, Hash, Quote, Slash, Dot, Less, Plain, Backslash };

enum : unsigned char {
    ENDS_IDENTIFIER = 1, // read as code after an identifier whatever surrounds it
    ENDS_NUMBER = 2,     // the same after a pp-number
    PLAIN_NEXT = 4,      // neither held back nor beyond ASCII
    PLAIN_ESCAPED = 8,   // taken at once by an escape: no part of a splice
};

struct ByteClass {
    Kind kind;
    unsigned char flags;
};

constexpr ByteClass classOf(unsigned char c)
{
    ByteClass b{Kind::Slow, 0};
    if (c < 0x80 && c != '\\' && c != '\r') {
        b.flags = PLAIN_NEXT;
        if (c != '"' && c != '\'' && c != '$')
            b.flags |= ENDS_IDENTIFIER;
        if ((b.flags & ENDS_IDENTIFIER) != 0 && c != '+' && c != '-')
            b.flags |= ENDS_NUMBER;
        if (c != ' ' && c != '\t' && c != '\v' && c != '\f' && c != '\n')
            b.flags |= PLAIN_ESCAPED;
    }
    if (isLetter(c) || c == '_')
        b.kind = Kind::Word;
    else if (isDigit(c))
        b.kind = Kind::Digit;
    else if (c == '\n')
        b.kind = Kind::Newline;
    else if (c == '#')
        b.kind = Kind::Hash;
    else if (c == '"' || c == '\'')
        b.kind = Kind::Quote;
    else if (c == '/')
        b.kind = Kind::Slash;
    else if (c == '.')
        b.kind = Kind::Dot;
    else if (c == '<')
        b.kind = Kind::Less;
    else if (plainPunctuator(c))
        b.kind = Kind::Plain;
    else if (c == '\\')
        b.kind = Kind::Backslash;
    return b;
}

constexpr std::array<ByteClass, 256> classesOfBytes()
{
    std::array<ByteClass, 256> classes{};
    for (int c = 0; c < 256; c++)
        classes[static_cast<std::size_t>(c)] = classOf(static_cast<unsigned char>(c));
    return classes;
}

inline constexpr std::array<ByteClass, 256> BYTE_CLASSES = classesOfBytes();

CMEASURE_INLINE bool has(unsigned char c, unsigned char flag)
{
    return (BYTE_CLASSES[c].flags & flag) != 0;
}


// The first bytes of the runs of word bytes of a group.
CMEASURE_INLINE std::uint64_t runStartsOf(const CMasks &m)
{
    return m.word & ~(m.word << 1);
}

// Where a pp-number may go on past its run of word bytes ('.', or a sign
// that an exponent may take), and a '.' that a digit or a '.' follows,
// which may begin one, or an ellipsis before one: what the byte lexer
// decides and the skippers hand back. A '.' at the group's end is left to
// the caller, whose next byte is not here.
CMEASURE_INLINE std::uint64_t numberMayGoOn(const CMasks &m, std::uint64_t runStarts)
{
    const std::uint64_t numberStarts = runStarts & m.digit;
    const std::uint64_t afterNumber = (m.word + numberStarts) & ~m.word; // the carry runs to the byte after
    const std::uint64_t dot = m.alnumDot & ~m.word;
    return (afterNumber & m.join) | (dot & ((m.digit | dot) >> 1));
}
