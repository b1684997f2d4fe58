// Random text drawn from the pieces that C's lexer reacts to, for the tests
// of C's rules and the fuzz seed maker. Header names appear only whole and
// at the start of a line, '<' and '>' nowhere else, so that the tokens
// between them are the header name's alone.
#pragma once

#include <random>
#include <string>
#include <string_view>

namespace crandom {

using Rng = std::mt19937;

inline constexpr std::string_view PIECES[] = {
    // identifiers, literal prefixes, keywords
    "a", "foo", "_x1", "$d", "L", "u", "U", "u8", "R", "LR", "u8R", "uR", "e", "int", "include",
    // characters beyond ASCII: letters, a combining mark, spaces, invalid bytes
    "\xc3\xa9", "\xe5\x90\x8d", "\xf0\x9f\x98\x80", "\xcc\x81", "\xc2\xa0", "\xe2\x80\x83", "\xff", "\x80",
    "\xe2\x82", "\xed\xa0\x80", "\xc0\xaf",
    // a sequence broken off before more than a group of 64 bytes of ASCII,
    // so that its bytes' symbols are carried into a group of ASCII alone
    "\xf0\x9f\x98x = y + z; x = y + z; x = y + z; x = y + z; x = y + z; x = y + z; x = y + z; x = y + z; x = y + z;"
    " x = y + z; x = y + z; x = y + z;",
    // pp-numbers
    "0x1F", "10UL", "1e+5", ".5e-3f", "0x1.fp-3", "1'000", "0x1p", "1_e", "1.", ".", "+", "-", "9", "p",
    // pp-numbers whose sign the next piece may continue: an exponent's in C
    // whatever the number, in C++ only a hexadecimal one's
    "9p+", "9P-", "1e-", "0x1p-", "0x1_p+", "1.E+",
    // quotes, escapes, comments
    "\"", "'", "\"abc\"", "'x'", "\\\"", "\\'", "\\\\", "\\n", "/*", "*/", "//", "/", "*", "cmeasure: allow",
    "cmeasure: allow-next-line", "cmeasure: off", "cmeasure: on",
    // markers read through a splice, which may hold a group's edge
    "cmeas\\\nure: allow", "cmeasure\\ \r\n: off", "cmeasure: al\\                                        \nlow",
    // splices, line endings, white space
    "\\\n", "\\ \n", "\\\t \r\n", "\\\r", "\\", "\n", "\r\n", "\r", "\n\r", " ", "\t", "\v", "\f",
    // trigraphs, which neither C17 nor C++17 replaces: "??/" is no backslash
    "?\?/", "?\?=", "?\?/\n",
    std::string_view("\0", 1),
    // directives and header names
    "\n#include <a/b.h>", "\n# include_next <x-y.h>", "\n#import <sys/t.h>", "\n%:include <c.h>", "#", "%:",
    "%", "\n#include", "<x.h\n", "##",
    // raw strings
    "R\"x(", ")x\"", "R\"(", ")\"", "(", ")", "R\"ab\"cd", "u8R\"--(",
};

template <std::size_t N> std::string_view pick(Rng &rng, const std::string_view (&pieces)[N])
{
    return pieces[std::uniform_int_distribution<std::size_t>(0, N - 1)(rng)];
}

// Code with none of the bytes that open a comment, a literal or a directive,
// in which whole groups of 64 bytes are told from their masks alone.
inline constexpr std::string_view CODE_PIECES[] = {
    "a", "foo", "_x1", "e", "int", "0x1F", "10UL", "1e+5", "1e", "1.", ".", "+", "-", "9", "p", "*", "(", ")",
    ";", "->", " ", "  ", "\t", "\n", "\n", "&", "|", "~", "...", "9p+", "1e-", "0x1p-"};

// The text of a header, which the scan lexes a whole group at a time: code,
// comments, literals, directives and splices, with no CR, no byte beyond
// ASCII, no '$' and no '%'.
inline constexpr std::string_view HEADER_PIECES[] = {
    "a", "foo", "_x1", "int", "e", "L", "u8", "0x1F", "10UL", "1e+5", "1.", ".", "+", "-", "9", "*", "(", ")", "9p+",
    ";", " ", "  ", "\t", "\f", "\n", "\n", "\n", "/*", "*/", "//", "/", "\"", "'", "\"abc\"", "'x'", "\\\"",
    "\\n", "\\\\", "\\\n", "\\ \n", "\\", "\n#define ", "\n# if ", "\n#include <a/b.h>", "\n#import <c.h>", "#",
    "include", std::string_view("\0", 1)};

// What the pieces of a text are mostly drawn from.
enum class Mix {
    Any,
    MostlyCode, // nine in ten plain code
    HeaderLike, // 49 in 50 the text of a header
};

// `count` pieces, any after any.
inline std::string text(Rng &rng, int count, Mix mix = Mix::Any)
{
    std::string out;
    for (int k = 0; k < count; k++) {
        if (mix == Mix::MostlyCode && std::uniform_int_distribution<int>(0, 9)(rng) != 0)
            out += pick(rng, CODE_PIECES);
        else if (mix == Mix::HeaderLike && std::uniform_int_distribution<int>(0, 49)(rng) != 0)
            out += pick(rng, HEADER_PIECES);
        else
            out += pick(rng, PIECES);
    }
    // A splice ended by CR then a CRLF is a splice and a newline to clang
    // but one splice once the CR before LF is dropped, and a splice ended by
    // LF CR takes both to clang: the scan reads the first as one splice and
    // the second as a splice and a newline, whether the CR before LF was
    // dropped or not.
    for (std::size_t at; (at = out.find("\r\r\n")) != std::string::npos;)
        out.replace(at, 3, "\r \r\n");
    for (std::size_t at; (at = out.find("\n\r")) != std::string::npos;)
        out.replace(at, 2, "\n \r");
    // A backslash, then NUL among white space, then a newline is no splice
    // to C or to clang, but clang ends a block comment at a '/' after it
    // and a '*' before it: the NUL gets a letter after it.
    for (std::size_t at = 0; (at = out.find('\0', at)) != std::string::npos; at++) {
        const std::size_t before = out.find_last_not_of(std::string(" \t\v\f\0", 5), at);
        if (before != std::string::npos && out[before] == '\\')
            out.insert(at + 1, "x");
    }
    return out;
}

} // namespace crandom
