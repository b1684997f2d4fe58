// A plain account of the lines and symbols of C's rules, written from the
// rules alone and sharing no code with src/: physical lines split at LF,
// each line's characters decoded as UTF-8 one at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cmodel {

struct Line {
    std::int64_t symbols = 0;
    std::vector<std::int64_t> columns; // 1-based byte column of each symbol
    std::vector<std::int64_t> characterColumns; // and its column in characters
    std::uint64_t symbolsHash = 0xcbf29ce484222325; // FNV-1a of the symbols' bytes
};

// The length of the valid UTF-8 sequence at `at`, before `end`, or 1 for a byte that
// begins none (each of its bytes is then a character).
inline std::size_t characterLength(const std::string &text, std::size_t at, std::size_t end)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byte(at);
    std::size_t length = 1;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    for (std::size_t k = 1; k < length; k++) {
        if (at + k >= end || byte(at + k) < low || byte(at + k) > high)
            return 1;
        low = 0x80;
        high = 0xBF;
    }
    return length;
}

// A UTF-8 byte order mark that begins the text is white space, compilers
// skipping it; its bytes keep their columns. With `hidden`, a character
// whose last byte it marks is no symbol.
inline std::vector<Line> lines(const std::string &text, const std::vector<bool> *hidden = nullptr)
{
    std::vector<Line> found;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        Line line;
        std::int64_t characters = 0; // a byte order mark takes none, as editors drop it
        const std::size_t first = start == 0 && text.starts_with("\xef\xbb\xbf") ? 3 : start;
        for (std::size_t at = first, length; at < end; at += length) {
            length = characterLength(text, at, end);
            characters++;
            if (std::string(" \t\r\v\f\0", 6).find(text[at]) != std::string::npos)
                continue;
            // The text of a line, which its hash stands for, is all of it.
            for (std::size_t k = at; k < at + length; k++)
                line.symbolsHash = (line.symbolsHash ^ static_cast<unsigned char>(text[k])) * 0x100000001b3;
            if (hidden == nullptr || !(*hidden)[at + length - 1]) {
                line.symbols++;
                line.columns.push_back(static_cast<std::int64_t>(at - start + 1));
                line.characterColumns.push_back(characters);
            }
        }
        found.push_back(line);
        start = end + 1;
    }
    return found;
}

} // namespace cmodel
