// The scan under C's rules through the set's entry points, and its reading
// of a text input.
#include "c_rules.h"

#include <string_view>

#include "entry_points.h"

namespace crules {

Scanner::Scanner(Dialect dialect, const LineLimit *gate, Symbols symbols)
    : Scanner(dialect, gate, dispatch::setInUse(), symbols)
{
}

Scanner::Scanner(Dialect dialect, const LineLimit *gate, InstructionSet set, Symbols symbols) : set_(set)
{
    state_.lex.cpp = dialect == Dialect::Cpp;
    state_.lex.codeOnly = symbols == Symbols::Code;
    state_.gate = gate;
}

void Scanner::feed(const char *bytes, std::size_t length)
{
    mark_.feed(dispatch::entryPointsOf(set_).feedC, state_, reinterpret_cast<const unsigned char *>(bytes), length);
}

Figures Scanner::finish()
{
    mark_.finish(dispatch::entryPointsOf(set_).feedC, state_);
    dispatch::entryPointsOf(set_).finishC(state_);
    return figuresOf(state_);
}

Figures figuresOf(const State &state)
{
    return {.lines = state.lines.lines,
            .densestLine = state.lines.densestLine,
            .maxSymbols = state.lines.maxSymbols,
            .identifiers = state.lex.identifiers,
            .codeLines = state.lines.codeLines,
            .commentLines = state.lines.commentLines,
            .blankLines = state.lines.lines - state.lines.codeLines - state.lines.commentLines};
}

namespace {

Result scanWith(TextInput &input, Scanner &scanner)
{
    for (std::string_view unread; !(unread = input.unread()).empty();) {
        scanner.feed(unread.data(), unread.size());
        input.skip(unread.size());
    }
    Result result;
    result.figures = scanner.finish();
    result.error = input.error();
    return result;
}

} // namespace

Result scan(TextInput &input, Dialect dialect, const LineLimit *gate, Symbols symbols)
{
    Scanner scanner(dialect, gate, symbols);
    return scanWith(input, scanner);
}

Result scan(TextInput &input, Dialect dialect, const LineLimit *gate, InstructionSet set, Symbols symbols)
{
    Scanner scanner(dialect, gate, set, symbols);
    return scanWith(input, scanner);
}

} // namespace crules
