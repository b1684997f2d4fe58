// The mark that allows a line over the gate's limit: a comment on the line
// that holds it. The menu's rules look for it in the text of a piece with
// the matcher here; C's lexer follows it as it reads a comment, with the
// longer markers that begin as it does (allow-next-line, and off and on).
#pragma once

#include <algorithm>
#include <string_view>

inline constexpr std::string_view ALLOW_MARKER = "cmeasure: allow";

// Follows the marker one byte at a time through a comment's text:
// `matched` holds how many of its bytes the text ends with so far. True on
// the byte that completes it, and the match starts again. The marker's
// first byte is found nowhere else in it, so a byte that breaks a match
// can only start a new one.
constexpr bool followAllowMarker(unsigned char &matched, unsigned char c)
{
    if (c != static_cast<unsigned char>(ALLOW_MARKER[matched])) {
        matched = c == static_cast<unsigned char>(ALLOW_MARKER[0]);
        return false;
    }
    if (++matched < ALLOW_MARKER.size())
        return false;
    matched = 0;
    return true;
}

// Whether `text`, a piece of a line under the menu's rules, holds the
// marker in a comment that opens within the piece: after a "//", or between
// "/*" and "*/", outside a string literal or character constant. The
// menu's pieces know nothing of comments across them.
constexpr bool holdsAllowMarker(std::string_view text)
{
    char quote = 0; // of the literal the text is in
    for (std::size_t at = 0; at + 1 < text.size(); at++) {
        const char c = text[at];
        if (quote != 0) {
            if (c == '\\')
                at++; // the escaped character
            else if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '/' && (text[at + 1] == '/' || text[at + 1] == '*')) {
            const std::size_t end = text[at + 1] == '/' ? text.size() : std::min(text.find("*/", at + 2), text.size());
            unsigned char matched = 0;
            for (std::size_t k = at + 2; k < end; k++)
                if (followAllowMarker(matched, static_cast<unsigned char>(text[k])))
                    return true;
            if (end >= text.size())
                return false;
            at = end + 1;
        }
    }
    return false;
}
