// The markers that allow lines over the gate's limit, in a comment:
// "cmeasure: allow" allows its own line, "cmeasure: allow-next-line" the
// next instead, and "cmeasure: off" the lines up to the one that holds
// "cmeasure: on". Their spelling and their recognition are here, for both
// rules: C's lexer follows every marker as it reads a comment; the menu's
// rules know only the first, in the text of a piece.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

inline constexpr std::string_view MARKER_PREFIX = "cmeasure: ";
inline constexpr std::string_view ALLOW_MARKER = "cmeasure: allow";
inline constexpr std::string_view ALLOW_NEXT_LINE_MARKER = "cmeasure: allow-next-line";
inline constexpr std::string_view OFF_MARKER = "cmeasure: off";
inline constexpr std::string_view ON_MARKER = "cmeasure: on";

// What a byte of a comment completes.
enum class Marker : unsigned char { None, Allow, AllowNextLine, Off, On };

static_assert(ALLOW_MARKER.starts_with(MARKER_PREFIX) && ALLOW_NEXT_LINE_MARKER.starts_with(ALLOW_MARKER));
static_assert(OFF_MARKER.starts_with(MARKER_PREFIX) &&
              ON_MARKER.starts_with(OFF_MARKER.substr(0, MARKER_PREFIX.size() + 1)));
// No marker holds its first byte again, so a byte that breaks a match can
// only start a new one, and a match needs no more than a count of bytes.
static_assert(ALLOW_NEXT_LINE_MARKER.find(ALLOW_MARKER[0], 1) == std::string_view::npos &&
              OFF_MARKER.find(ALLOW_MARKER[0], 1) == std::string_view::npos);

// Follows the markers one byte at a time through a comment's text.
// `matched` holds how many bytes of "cmeasure: allow-next-line" the text
// ends with, or, with IN_OFF, of "cmeasure: off", which the match leaves
// for at the 'o' after the prefix; "cmeasure: on" parts from it at the
// 'n'. "cmeasure: allow" leaves the match going on, toward
// "-next-line"; the other markers start it again.
constexpr Marker followMarkers(unsigned char &matched, unsigned char c)
{
    constexpr std::size_t PREFIX = MARKER_PREFIX.size();
    constexpr unsigned char IN_OFF = 0x80;
    const bool off = (matched & IN_OFF) != 0;
    std::size_t k = matched & ~IN_OFF;
    if (c != static_cast<unsigned char>((off ? OFF_MARKER : ALLOW_NEXT_LINE_MARKER)[k])) {
        if (!off && k == PREFIX && c == static_cast<unsigned char>(OFF_MARKER[PREFIX])) {
            matched = IN_OFF | (PREFIX + 1);
            return Marker::None;
        }
        matched = c == static_cast<unsigned char>(ALLOW_MARKER[0]);
        const bool on = off && k == ON_MARKER.size() - 1 && c == static_cast<unsigned char>(ON_MARKER.back());
        return on ? Marker::On : Marker::None;
    }
    k++;
    if (off) {
        matched = k == OFF_MARKER.size() ? 0 : static_cast<unsigned char>(IN_OFF | k);
        return k == OFF_MARKER.size() ? Marker::Off : Marker::None;
    }
    matched = k == ALLOW_NEXT_LINE_MARKER.size() ? 0 : static_cast<unsigned char>(k);
    if (k == ALLOW_MARKER.size())
        return Marker::Allow;
    return k == ALLOW_NEXT_LINE_MARKER.size() ? Marker::AllowNextLine : Marker::None;
}

// Follows the markers through `text`, bytes of a comment, and calls
// `met(marker)` on each that a byte completes; stops where that returns
// true, and says whether it did. While no match is under way only the
// markers' first byte can start one, so the bytes up to the next are
// passed over.
template <class Met> constexpr bool followMarkersIn(unsigned char &matched, std::string_view text, Met met)
{
    for (std::size_t k = 0; k < text.size(); k++) {
        if (matched == 0 && (k = text.find(ALLOW_MARKER[0], k)) == std::string_view::npos)
            return false;
        const Marker marker = followMarkers(matched, static_cast<unsigned char>(text[k]));
        if (marker != Marker::None && met(marker))
            return true;
    }
    return false;
}

// Whether `text` holds "cmeasure: allow" anywhere. Found from its ':',
// which C's lines hold far more rarely than its 'c': a search for the whole
// text calls memchr again at each 'c', 9 % of the time of --histogram on
// /usr/include, which asks it of every line.
constexpr bool holdsMarkerText(std::string_view text)
{
    constexpr std::size_t COLON = ALLOW_MARKER.find(':');
    for (std::size_t at = text.find(':', COLON); at != std::string_view::npos; at = text.find(':', at + 1))
        if (text.substr(at - COLON).starts_with(ALLOW_MARKER))
            return true;
    return false;
}

// Whether `text`, a piece of a line under the menu's rules, holds
// "cmeasure: allow" in a comment that opens within the piece: after a
// "//", or between "/*" and "*/", outside a string literal or character
// constant. The menu's pieces know nothing of comments across them, nor of
// the other markers.
constexpr bool holdsAllowMarker(std::string_view text)
{
    // A marker is read in a comment's own bytes, so a piece that does not
    // hold its text holds none; nearly no piece does, and the search is
    // several times faster than the walk below.
    if (!holdsMarkerText(text))
        return false;
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
            if (followMarkersIn(matched, text.substr(at + 2, end - at - 2),
                                [](Marker marker) { return marker == Marker::Allow; }))
                return true;
            if (end >= text.size())
                return false;
            at = end + 1;
        }
    }
    return false;
}
