// Where a scan under C's rules stands between two pieces of input: plain
// data, so that a scan may stop at any byte and go on with the next piece
// as if the input had come in one. Every lookahead the rules need (a
// backslash that may begin a splice, a '/' that may open a comment, a UTF-8
// sequence not yet complete, a raw string's delimiter) is kept here, each
// bounded by a few bytes, so that no input needs memory in proportion to it.
#pragma once

#include <cstdint>

namespace crules {

using Count = std::int64_t;

struct LineLimit;

// What the lexer is in the middle of. The first group is between or inside
// tokens of code; a pending state holds one character whose meaning depends
// on the next.
enum class Mode : unsigned char {
    Code,          // between tokens
    Identifier,    // inside an identifier
    Number,        // inside a pp-number
    NumberQuote,   // a pp-number then ', which a C++ digit separator continues
    Dot,           // a '.' that a digit makes a number
    DotDot,        // "..", which a '.' makes an ellipsis and a digit a period and a number
    Slash,         // a '/' that may open a comment
    Percent,       // a '%' that ':' makes a '#'
    LineComment,   // up to the end of the line
    BlockComment,  // up to "*/"
    BlockStar,     // a '*' inside a block comment
    Literal,       // a string literal or character constant, closed by `quote`
    LiteralEscape, // a backslash inside one
    LiteralEnd,    // a C++ literal just closed, which a suffix may follow
    Suffix,        // a C++ literal's suffix
    RawDelimiter,  // the delimiter of a C++ raw string, before its '('
    RawBody,       // a raw string, up to ')' delimiter '"'
    RawRecovery,   // a raw string with a bad delimiter: up to the next '"'
};

// A splice (a backslash, horizontal white space, then a newline) in progress.
enum class Splice : unsigned char { None, Backslash };

// Where a line that begins with '#' stands on its way to a header name.
enum class Directive : unsigned char { None, WantName, WantHeader };

// A '<' after #include opens a header name if a '>' follows on its line.
enum class Angle : unsigned char { Off, Scanning, Escape };

// A UTF-8 sequence being read: bytes still needed, the range the next one
// must lie in, and the code point so far.
struct Utf8 {
    unsigned char need = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    unsigned char have = 0; // bytes read so far, its first included
    std::uint32_t codePoint = 0;
    bool operator==(const Utf8 &) const = default;
};

// FNV-1a, 64 bits, over the symbols of a line: cheap enough for every byte
// of a gated scan, and spreads lines that differ in a byte.
inline constexpr std::uint64_t TEXT_HASH_START = 0xcbf29ce484222325;
inline constexpr std::uint64_t TEXT_HASH_PRIME = 0x100000001b3;

// The physical lines: their count, the densest, and the line being read.
struct LineState {
    Count lines = 0;
    Count densestLine = 0;
    Count maxSymbols = 0;
    Count symbols = 0;    // of the current line
    Count column = 0;     // bytes of the current line before the next one
    Count overColumn = 0; // of the symbol that passed the gate's limit
    Count utf8Column = 0; // of the first byte of `utf8`
    // With a gate: the bytes of the current line that continue a character,
    // so far, and the column of the symbol that passed the limit counted in
    // characters; and the hash of the line's symbols so far.
    Count continuing = 0;
    Count overCharacterColumn = 0;
    std::uint64_t textHash = TEXT_HASH_START;
    Utf8 utf8;
    std::uint64_t hidden = 0;     // bytes of the group being read that count nothing: see LexState::codeOnly
    int countedTo = 0;            // the group's bytes before this one are counted already
    unsigned char utf8Hidden = 0; // bit k: byte k of `utf8` counts nothing
    bool allowed = false;   // the current line is allowed over the gate's limit by a marker
    bool allowNext = false; // and so is the next, by "cmeasure: allow-next-line"
    bool off = false;       // the lines from "cmeasure: off" on are, until "cmeasure: on"
    Count codeLines = 0;
    Count commentLines = 0;
    Count codeBytes = 0;       // of the current line: non-blank bytes of code, and of comments
    Count commentBytes = 0;
    unsigned char lastBackslash = 0; // the line's last non-blank byte so far is a backslash: of code 1, of a comment 2
    bool operator==(const LineState &) const = default;
};

// What the lexer found in the group of 64 bytes being read, a bit a byte,
// for the lines to tell code, comment and blank lines apart.
struct Marks {
    std::uint64_t comment = 0; // a comment's bytes, its opener and closer included
    std::uint64_t code = 0;    // a raw string's bytes, white space too: its lines are code
    bool operator==(const Marks &) const = default;
};

inline constexpr int NAME_BUFFER = 12;   // "include_next", the longest name that matters
inline constexpr int DELIMITER_MAX = 16; // of a raw string

struct LexState {
    Count identifiers = 0;
    Count identifiersBeforeAngle = 0;
    bool cpp = false;
    // Only the symbols of code count: nothing of a comment, and one of a
    // string literal or character constant, on the line of its opening
    // quote. The lexer marks in LineState::hidden the bytes that count
    // nothing.
    bool codeOnly = false;
    // Offsets from the input's start: a byte read before the lexer knows
    // what it is (a '/' that the next character may make a comment's
    // opener, a literal's prefix) is found again by them, in the group's
    // marks or on its line's counts.
    Count fed = 0;         // bytes fed
    Count groupStart = 0;  // of the group being read
    Count at = 0;          // of the byte being read
    Count pendingAt = 0;   // of the first byte on its line of a '/' or an identifier being read
    Count backslashAt = 0; // of a backslash held back
    Count delimiterEnd = 0; // of a raw string's delimiter's last byte
    Mode mode = Mode::Code;
    unsigned char heldReturns = 0;    // CRs, up to 2, dropped if LF follows
    Splice splice = Splice::None;
    bool spliceSpace = false;         // white space between the backslash and the newline
    bool afterSplice = false;         // the next character follows a splice
    bool startOfLine = true;          // no token yet on this logical line
    Directive directive = Directive::None;
    Angle angle = Angle::Off;
    unsigned char quote = 0;          // that closes the literal
    bool literalEmpty = false;        // nothing yet between the quotes
    bool suffixCandidate = false;     // the identifier may be a literal's standard suffix
    unsigned char nameLength = 0;     // NAME_BUFFER + 1 once longer
    unsigned char nameLineStart = 0;  // of nameLength, when the identifier's last splice ended a line
    char name[2 * NAME_BUFFER] = {};  // the identifier's first bytes, and room to copy a window after them
    unsigned char numberLength = 0;   // up to 2
    unsigned char numberFirst = 0;    // first character of the pp-number
    unsigned char numberPrevious = 0; // the character an exponent's sign may follow
    bool numberHex = false;
    bool numberUnderscore = false;
    Utf8 utf8;                        // a character of code being read
    unsigned char delimiterLength = 0;
    unsigned char closeMatched = 0;   // of ')' and the delimiter
    char delimiter[DELIMITER_MAX] = {};
    unsigned char allowMatched = 0;   // of the allowing markers, in a comment
    bool allowHeld = false;           // the line's allowance before "cmeasure: allow" matched
    bool operator==(const LexState &) const = default;
};

struct State {
    LineState lines;
    LexState lex;
    Marks marks;
    const LineLimit *gate = nullptr;
    bool operator==(const State &) const = default;
};

} // namespace crules
