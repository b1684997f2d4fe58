// The figures of a whole input under C's own lexical rules, as a C compiler
// and an editor see the text:
// - lines are physical lines, ended by LF; a last line without one counts;
// - the symbols of a line are its characters other than white space (space,
//   tab, CR, LF, VT, FF) and NUL, a valid UTF-8 sequence being one character
//   and each byte of an invalid one a character of its own;
// - identifiers are the identifier tokens of C's (or C++'s) lexical grammar
//   once line splices are removed, keywords included, none inside a
//   comment, a literal, a pp-number or a header name.
// The input may arrive in pieces split anywhere: the figures are those of
// the whole. Bytes are taken raw: a CR is white space, and a newline to the
// lexer as it is to compilers, so a CR before LF changes nothing.
#pragma once

#include <cstddef>
#include <sys/types.h>

#include "allow_marker.h"
#include "c_state.h"
#include "counting.h"
#include "leading_mark.h"

namespace crules {

enum class Dialect { C, Cpp };

// What counts as a symbol: every character but white space, or those of
// code alone: a comment counts nothing, and a string literal or character
// constant (its prefix and suffix included) one, on the line of its opening
// quote.
enum class Symbols { All, Code };

struct Figures {
    Count lines = 0;
    Count densestLine = 0; // the first line with the most symbols; 0 for an empty input
    Count maxSymbols = 0;
    Count identifiers = 0;
    Count codeLines = 0;    // lines with a non-blank byte of code
    Count commentLines = 0; // lines with a non-blank byte of a comment and none of code
    Count blankLines = 0;   // the others: white space, or a backslash alone
};

// A physical line with more symbols than the gate's limit: what a rule on
// the line's symbols needs to know of it.
struct LineOverLimit {
    Count line;    // numbered from 1
    Count symbols;
    Count column;  // 1-based byte column of the symbol that passes the limit
    bool allowed;  // a marker in a comment allows it: "cmeasure: allow" on it, "cmeasure: allow-next-line"
                   // on the line before, or "cmeasure: off" before it without "cmeasure: on" between
    // The same symbol's column in characters (code points; a byte of broken
    // UTF-8 is one), as editors count them.
    Count characterColumn = 0;
    // A hash of the line's symbols (its bytes but white space and NUL), the
    // same wherever the line moves and however it is indented.
    std::uint64_t textHash = 0;
};

using LineCensus = ::LineCensus;

// Each line with more than `limit` symbols goes to `report`, with
// `context`, in order, on the thread that scans.
struct LineLimit {
    Count limit;
    void (*report)(void *context, const LineOverLimit &line);
    void *context;
    bool hashes = true; // whether a line reported carries its textHash (which costs 4 instructions a byte)
    // Whether the figures tell code, comment and blank lines apart (about 15 % of
    // the scan's instructions); a run that shows no figures needs none of them.
    bool classifies = true;
    // Lines of fewer symbols are not reported: a caller that keeps only the
    // densest lines raises it as it goes (the limit still places the column).
    Count floor = 0;
    // Where set, a line over the limit that no marker allows, of fewer than
    // its size symbols, is counted there instead of reported.
    LineCensus *census = nullptr;
};

// A scan fed piece by piece: feed() any number of times, then finish() once.
// The line limit, if any, must outlive the scanner.
class Scanner {
public:
    explicit Scanner(Dialect dialect, const LineLimit *gate = nullptr, Symbols symbols = Symbols::All);
    Scanner(Dialect dialect, const LineLimit *gate, InstructionSet set, Symbols symbols = Symbols::All);
    void feed(const char *bytes, std::size_t length);
    Figures finish();

private:
    State state_;
    InstructionSet set_;
    LeadingMark mark_;
};

// The figures a state holds: those of the input so far, once finished.
Figures figuresOf(const State &state);

struct Result {
    Figures figures;
    int error = 0; // errno of the read that failed, 0 when the input was read whole
};

// Scans all that `input` delivers, with the processor's widest set or the
// one chosen by chooseInstructionSet(), or with `set`.
Result scan(TextInput &input, Dialect dialect, const LineLimit *gate = nullptr, Symbols symbols = Symbols::All);
Result scan(TextInput &input, Dialect dialect, const LineLimit *gate, InstructionSet set, Symbols symbols = Symbols::All);

// The figures of the regular file `fd`, `size` bytes, without a gate, as
// scan() gives them, from its two halves scanned side by side: the second
// on a thread of its own from the first line that begins in it, while this
// one scans the first and goes on into the second until its state there is
// one the other thread had at the same byte. A file without a line that
// begins in its second half, or a thread that cannot start, is scanned
// whole on this one. The descriptor's offset is left alone.
Result scanInTwo(int fd, off_t size, Dialect dialect, Symbols symbols = Symbols::All);

} // namespace crules
