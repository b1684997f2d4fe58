// Random lines and files made of the bytes the counting rules react to, for
// the randomized tests and the fuzz seed maker. A generator seeded alike
// gives the same text everywhere.
#pragma once

#include <algorithm>
#include <random>
#include <string>

namespace randomtext {

using Rng = std::mt19937;

inline int pick(Rng &rng, int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(rng);
}

// Repetition sets the odds: pair halves and quotes come often enough that
// comments and strings open and close within a line. The pool's terminating
// zero is drawn too, as a zero byte inside the text.
inline char byte(Rng &rng)
{
    static const char pool[] = "//**\"\\  \t\n\rabcxyzQ_09\x80\xe9";
    return pool[rng() % sizeof pool];
}

// Text for the line buffer: 0 to 359 bytes, often short, and often reaching
// the last positions, where the pair tests meet the end of the buffer.
inline std::string line(Rng &rng)
{
    int length = pick(rng, 0, 3) == 0 ? pick(rng, 355, 359) : pick(rng, 0, pick(rng, 0, 1) ? 40 : 359);
    std::string text(length, '\0');
    for (char &c : text)
        c = byte(rng);
    return text;
}

// File contents of about `size` bytes. A third of the files repeat one short
// CRLF line after a few spaces: all their lines measure alike, so that one
// line misread anywhere, at the edge of a block the file is read in too,
// changes the figures. The others take their newlines from the line endings
// alone, of every kind, the last one possibly none: in half of them no line
// holds more than three bytes, so that endings fall everywhere; in the other
// half lines run to any length, over several pieces.
inline std::string file(Rng &rng, int size)
{
    static const char *const endings[] = {"\n", "\r\n", "\r", "\r\r\n", "\n\n", ""};
    std::string text(pick(rng, 0, 7), ' ');
    const std::string unit = line(rng).substr(0, pick(rng, 0, 3)) + "\r\n";
    const bool repeated = pick(rng, 0, 2) == 0;
    const size_t longest = pick(rng, 0, 1) ? 3 : 359;
    while (static_cast<int>(text.size()) < size) {
        if (repeated) {
            text += unit;
            continue;
        }
        std::string part = line(rng).substr(0, longest);
        while (longest > 3 && pick(rng, 0, 2) == 0)
            part += line(rng);
        std::replace(part.begin(), part.end(), '\n', 'n');
        text += part + endings[pick(rng, 0, 5)];
    }
    return text;
}

// File contents of `size` bytes, each of the 256 values alike but for one
// newline in about forty: every byte meets the classifiers.
inline std::string anyBytes(Rng &rng, int size)
{
    std::string text(size, '\0');
    for (char &c : text)
        c = pick(rng, 0, 39) == 0 ? '\n' : static_cast<char>(pick(rng, 0, 255));
    return text;
}

// File contents of about `size` bytes: lines of 55 to 62 letters, half of
// them put after empty lines so that they begin just after a newline on the
// first byte of a group of 64: the densest line grows to the most symbols a
// line can hold that begins and ends within one group, 63 with its newline.
inline std::string denseInGroups(Rng &rng, int size)
{
    std::string text;
    while (static_cast<int>(text.size()) < size) {
        if (pick(rng, 0, 1) == 0)
            text.append((65 - text.size() % 64) % 64, '\n');
        text += std::string(pick(rng, 55, 62), 'a') + '\n';
    }
    return text;
}

// File contents of about `size` bytes, mostly words and spaces: one byte in
// a hundred comes from the whole pool, so that long stretches, in comments
// and out of them, hold no '/', '*' or '"', and lines of 0 to 80 bytes, one
// in ten of 300 to 800, end in them and are cut into pieces there.
inline std::string sparse(Rng &rng, int size)
{
    static const char common[] = "  \tabcxyzQ_09\x80";
    std::string text;
    while (static_cast<int>(text.size()) < size) {
        const int length = pick(rng, 0, 9) == 0 ? pick(rng, 300, 800) : pick(rng, 0, 80);
        for (int i = 0; i < length; i++)
            text += pick(rng, 0, 99) == 0 ? byte(rng) : common[rng() % (sizeof common - 1)];
        text += pick(rng, 0, 9) == 0 ? "\r\n" : "\n";
    }
    return text;
}

// File contents of `lines` lines, most of them near the lengths where a
// line is cut into pieces, 359 and 718, the others of 0 to 800 bytes, each
// with its own share of spaces, so that their symbols fall on both sides of
// any limit. The bytes hold tabs, zero bytes and carriage returns; lines end
// in LF or CRLF, the last one possibly in nothing.
inline std::string aroundPieceEdges(Rng &rng, int lines)
{
    std::string text;
    for (int k = 0; k < lines; k++) {
        const int length = pick(rng, 0, 2) == 0 ? pick(rng, 0, 800) : pick(rng, 1, 2) * 359 + pick(rng, -3, 3);
        const int spaces = pick(rng, 0, 100); // percent
        for (int i = 0; i < length; i++) {
            const char c = byte(rng);
            text += pick(rng, 1, 100) <= spaces ? ' ' : c == '\n' ? '\t' : c;
        }
        if (k + 1 < lines || pick(rng, 0, 1) == 0)
            text += pick(rng, 0, 1) == 0 ? "\n" : "\r\n";
    }
    return text;
}

} // namespace randomtext
