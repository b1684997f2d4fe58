#include "report/rules.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "allow_marker.h"
#include "report/escaping.h"

namespace cli {

namespace {

void symbolsMessage(std::string &out, const Finding &finding)
{
    static constexpr std::string_view WORDS = " symbols (limit ";
    char text[2 * NUMBER_DIGITS + WORDS.size() + 1];
    char *end = writeNumber(text, finding.symbols);
    end = std::copy(WORDS.begin(), WORDS.end(), end);
    end = writeNumber(end, finding.limit);
    *end++ = ')';
    out.append(text, end);
}

// Made on first use: the words hold the marker, made into a string.
std::array<Rule, 1> makeRules()
{
    const std::string marker(ALLOW_MARKER);
    return {{
    {.id = "max-symbols",
     .name = "MaxSymbols",
     .summary = "Line over the symbol limit",
     .description = "A line holds more symbols (characters other than spaces) than the limit given with "
                    "--max-symbols. Split the line, or, where it is right as it is, put '" + marker +
                    "' in a comment on it.",
     .helpText = "A line holds more symbols than the limit given with --max-symbols. A symbol is a character "
                 "other than white space (space, tab, CR, LF, VT, FF) and NUL; a UTF-8 character counts once, "
                 "whatever its bytes. Split the line: one declaration, condition or argument list per line, a "
                 "long string literal as adjacent literals, a long expression at its operators. Where the line "
                 "is right as it is (a table, a generated line), put '" + marker + "' in a comment on it, "
                 "such as /* " + marker + " */: the line is still measured, and counted as allowed instead "
                 "of reported.",
     .helpMarkdown = "A line holds more **symbols** than the limit given with `--max-symbols`. A symbol is a "
                     "character other than white space (space, tab, CR, LF, VT, FF) and NUL: a UTF-8 "
                     "character counts once, whatever its bytes.\n\n"
                     "Split the line: one declaration, condition or argument list per line, a long string "
                     "literal as adjacent literals, a long expression at its operators.\n\n"
                     "Where the line is right as it is (a table, a generated line), put `" + marker +
                     "` in a comment on it, such as `/* " + marker + " */`: the line is still measured, "
                     "and counted as allowed instead of reported.",
     .message = symbolsMessage},
    }};
}

} // namespace

void appendLineAndColumn(std::string &out, const Finding &finding, std::string_view beforeLine,
                         std::string_view beforeColumn)
{
    out += beforeLine;
    appendNumber(out, finding.line);
    out += beforeColumn;
    appendNumber(out, finding.characterColumn);
}

std::span<const Rule> rules()
{
    static const std::array<Rule, 1> RULES = makeRules();
    return RULES;
}

} // namespace cli
