// Stage 2 of C's rules, the byte lexer, the only place that decides tokens:
// its steps shared by every mode (a token begun or ended, a directive's
// progress, a number's sign, a literal closed, the allowing comment), which
// the skippers call too rather than keep a copy of a rule.

using crules::Angle;
using crules::Directive;
using crules::LexState;
using crules::Mode;
using crules::Splice;

// A token other than an identifier: the line has one, and no directive
// that matters goes on.
CMEASURE_INLINE void punctuator(LexState &lex)
{
    lex.directive = Directive::None;
    lex.startOfLine = false;
}

// A '#' (or "%:") begins a directive when it is the first token of its
// line.
CMEASURE_INLINE Directive directiveAfterHash(bool startOfLine)
{
    return startOfLine ? Directive::WantName : Directive::None;
}

CMEASURE_INLINE void hash(LexState &lex)
{
    lex.directive = directiveAfterHash(lex.startOfLine);
    lex.startOfLine = false;
}

// The directives whose operand may be a header name.
CMEASURE_INLINE bool namesHeaderDirective(const char *name, int length)
{
    const auto is = [&](const char *word, int size) {
        return length == size && std::memcmp(name, word, static_cast<std::size_t>(size)) == 0;
    };
    return is("include", 7) || is("include_next", 12) || is("import", 6);
}

// Where a directive stands after an identifier: its name may make the next
// '<' open a header name; any other token ends what matters of it.
CMEASURE_INLINE Directive directiveAfterIdentifier(Directive directive, const char *name, int length)
{
    return directive == Directive::WantName && namesHeaderDirective(name, length) ? Directive::WantHeader
                                                                                  : Directive::None;
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
    lex.nameLineStart = 0;
    lex.pendingAt = lex.at;
    appendName(lex, c);
}

CMEASURE_INLINE void endIdentifier(LexState &lex)
{
    lex.identifiers++;
    lex.mode = Mode::Code;
    lex.directive = directiveAfterIdentifier(lex.directive, lex.name, lex.nameLength);
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

// A pending '.' followed by a digit begins a number: ".5".
CMEASURE_INLINE void numberFromDot(LexState &lex, unsigned char digit)
{
    beginNumber(lex, '.');
    continueNumber(lex, digit);
}

// Whether a sign goes on with a pp-number: after an exponent's 'e' or 'E',
// or 'p' or 'P', which in C++ only a hexadecimal number without a '_' has.
CMEASURE_INLINE bool signContinuesNumber(const LexState &lex)
{
    const unsigned char previous = lex.numberPrevious | 0x20;
    const bool hexFloat = !lex.cpp || (lex.numberHex && !lex.numberUnderscore);
    return previous == 'e' || (previous == 'p' && hexFloat);
}

// The mode after the quote that closes a literal: in C++ a suffix may follow,
// but not after an empty character constant, which is no literal.
CMEASURE_INLINE Mode modeAfterClosingQuote(bool cpp, unsigned char quote, bool empty)
{
    return cpp && !(quote == '\'' && empty) ? Mode::LiteralEnd : Mode::Code;
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

// In a comment: what the markers that allow lines over the gate's limit do
// to the lines' allowances. "cmeasure: allow" holds the line's allowance
// before it, which "-next-line" after it gives back, since that marker
// allows the next line instead; "cmeasure: off" allows its own line, and
// "cmeasure: on", whose line "off" allows already, ends what it allows.
CMEASURE_INLINE void applyMarker(crules::State &state, Marker marker)
{
    LexState &lex = state.lex;
    crules::LineState &line = state.lines;
    switch (marker) {
    case Marker::None: return;
    case Marker::Allow:
        lex.allowHeld = line.allowed;
        line.allowed = true;
        return;
    case Marker::AllowNextLine:
        line.allowed = lex.allowHeld;
        line.allowNext = state.gate != nullptr;
        return;
    case Marker::Off:
        line.off = state.gate != nullptr;
        line.allowed = true;
        return;
    case Marker::On:
        if (state.gate != nullptr)
            line.off = false;
        return;
    }
}

// In a comment: the markers followed through a byte, or through `length`
// bytes.
CMEASURE_INLINE void matchAllow(crules::State &state, unsigned char c)
{
    applyMarker(state, followMarkers(state.lex.allowMatched, c));
}

CMEASURE_INLINE void matchAllowIn(crules::State &state, const unsigned char *bytes, int length)
{
    const std::string_view text(reinterpret_cast<const char *>(bytes), static_cast<std::size_t>(length));
    followMarkersIn(state.lex.allowMatched, text, [&state](Marker marker) {
        applyMarker(state, marker);
        return false;
    });
}
