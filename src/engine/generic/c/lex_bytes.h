// The byte lexer's entry: a byte of input through the removal of line
// splices (and CRs before LF), then to the step of the lexer's mode; raw
// strings, which splices do not reach; and the end of the input.

CMEASURE_INLINE void spliceByte(crules::State &state, unsigned char c);

CMEASURE_INLINE bool isRaw(Mode mode)
{
    return mode >= Mode::RawDelimiter;
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
    // The bytes again, read where they are: a delimiter has neither splices
    // nor CRs, its bytes are those before its end.
    const crules::Count at = lex.at;
    const crules::Count first = lex.delimiterEnd + 1 - static_cast<crules::Count>(length);
    if (lex.codeOnly)
        giveBack(state, first, static_cast<int>(length));
    for (std::size_t k = 0; k < length; k++) {
        lex.at = first + static_cast<crules::Count>(k);
        spliceByte(state, static_cast<unsigned char>(again[k]));
    }
    lex.at = at;
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
            lex.delimiterEnd = lex.at;
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

// The '/' at `lex.pendingAt`, once the character after it makes it a
// comment's opener: comment text for the lines' classes and, code alone
// counting, nothing. It is in the group's marks when its line's bytes are
// not counted yet, else taken off the line's counts. One that a splice
// parts from the rest of the opener stays code on its line, which has ended.
CMEASURE_INLINE void slashOpensComment(crules::State &state, bool spliced)
{
    if (spliced)
        return;
    const crules::Count at = state.lex.pendingAt;
    if (state.lex.codeOnly)
        hideByte(state, at, true);
    if (at >= uncountedFrom(state)) {
        state.marks.comment |= bitAt(static_cast<int>(at - state.lex.groupStart));
    } else {
        state.lines.codeBytes--;
        state.lines.commentBytes++;
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
    case Mode::Slash:
        resolve(state, c);
        if (lex.mode == Mode::LineComment || lex.mode == Mode::BlockComment)
            slashOpensComment(state, spliced);
        return true;
    case Mode::NumberQuote: case Mode::Dot: case Mode::DotDot: case Mode::Percent:
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

// Whether the lexer in `mode` reads the text of a comment or a literal.
CMEASURE_INLINE bool readsText(Mode mode)
{
    return mode == Mode::LineComment || mode == Mode::BlockComment || mode == Mode::BlockStar ||
           mode == Mode::Literal || mode == Mode::LiteralEscape || isRaw(mode);
}

// What decides, code alone counting, what a character read makes count:
// the lexer before it.
struct Reading {
    Mode before;
    bool spliced;
    bool prefixed;   // it opens a literal that the identifier read is the prefix of
    bool suffixEnds; // it ends a C++ literal's standard suffix, the identifier read
    int onLine;      // the identifier's bytes on this line
};

CMEASURE_INLINE Reading readingOf(const LexState &lex, unsigned char c)
{
    const bool name = lex.mode == Mode::Identifier && lex.utf8.have == 0;
    const bool suffixEnds = name && lex.suffixCandidate && !isWordByte(c) && standardSuffix(lex);
    return {.before = lex.mode,
            .spliced = lex.afterSplice,
            .prefixed = name && !suffixEnds && (c == '"' || c == '\'') && prefixedLiteral(lex, c) != Mode::Code,
            .suffixEnds = suffixEnds,
            .onLine = lex.nameLength - lex.nameLineStart};
}

// Code alone counting, what the character read at `lex.at` counts: nothing
// of a comment, nor of a literal but its first byte on the line of its
// opening quote; the '/' that the character makes a comment's, and a
// literal's prefix or suffix on this line, are taken back. Bytes the lexer
// reads before a splice and that a later line makes part of a comment or a
// literal stay code, their line being counted.
CMEASURE_INLINE void judge(crules::State &state, const Reading &r, unsigned char c)
{
    LexState &lex = state.lex;
    bool hidden = readsText(r.before);
    if (r.before == Mode::Slash && (lex.mode == Mode::LineComment || lex.mode == Mode::BlockComment)) {
        hidden = true; // the '/' is taken back by slashOpensComment()
    } else if (r.prefixed) {
        hidden = r.onLine > 0;
        takeBack(state, lex.pendingAt + 1, r.onLine - 1);
    } else if (r.suffixEnds) {
        takeBack(state, lex.pendingAt, r.onLine);
    } else if (r.before == Mode::NumberQuote) {
        hidden = !isWordByte(c); // the quote opened a character constant
    } else if (r.before == Mode::LiteralEnd || r.before == Mode::Suffix) {
        hidden = lex.mode == Mode::Suffix && lex.utf8.have == 0;
    } else if (r.spliced && r.before == Mode::Identifier) {
        lex.pendingAt = lex.at; // its first byte on this line
    }
    // A CR held back is read with the byte after it, whose place `at` is:
    // white space, it leaves the mark alone.
    if (c != '\r')
        hideByte(state, lex.at, hidden);
}

// A character after splices, through the lexer, at `lex.at`. False when a
// raw string gives it back.
CMEASURE_INLINE bool readCharacter(crules::State &state, unsigned char c)
{
    if (!state.lex.codeOnly)
        return lexCharacter(state, c);
    const Reading reading = readingOf(state.lex, c);
    const bool read = lexCharacter(state, c);
    if (read)
        judge(state, reading, c);
    return read;
}

// A backslash held back that begins no splice, read where it is.
CMEASURE_INLINE void readHeldBackslash(crules::State &state)
{
    LexState &lex = state.lex;
    const crules::Count at = lex.at;
    lex.at = lex.backslashAt;
    readCharacter(state, '\\');
    lex.at = at;
}

// A splice: its backslash counts as the text it is in, and an identifier's
// bytes before it stay code. In a literal's suffix it counts: the character
// after it may end the suffix (one beyond ASCII does).
CMEASURE_INLINE void splicedLine(crules::State &state)
{
    LexState &lex = state.lex;
    hideByte(state, lex.backslashAt, readsText(lex.mode));
    lex.nameLineStart = lex.nameLength;
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
                if (lex.codeOnly)
                    splicedLine(state);
                return;
            }
            lex.splice = Splice::None;
            readHeldBackslash(state);
            if (lex.spliceSpace)
                lexCharacter(state, ' ');
        }
        if (c == '\\' && !isRaw(lex.mode)) {
            lex.splice = Splice::Backslash;
            lex.spliceSpace = false;
            lex.backslashAt = lex.at;
            return;
        }
        if (readCharacter(state, c))
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
        readHeldBackslash(state);
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
    if (lex.mode != Mode::Identifier)
        return;
    if (!(lex.suffixCandidate && standardSuffix(lex)))
        endIdentifier(lex);
    else if (lex.codeOnly)
        takeBack(state, lex.pendingAt, lex.nameLength - lex.nameLineStart);
}
