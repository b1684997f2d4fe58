// A second, deliberately plain account of the two line counters and the file
// line scan, written from their rules alone and sharing no code with src/:
// the randomized tests and the fuzz targets check the program against it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace model {

constexpr int WIDTH = 360; // the line buffer, text in front and zero fill behind

inline int symbols(const char *b)
{
    int n = 0;
    for (int i = 0; i < WIDTH; i++)
        if (b[i] != ' ' && b[i] != '\0')
            n++;
    return n;
}

inline bool letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool digit(char c) { return c >= '0' && c <= '9'; }
inline bool separator(char c) { return !letter(c) && !digit(c) && c != '_'; }

// Visits every position; a pair test needs position i + 1 to exist.
inline int identifiers(const char *b, bool &inside)
{
    auto pair = [b](int i, char x, char y) { return i + 1 < WIDTH && b[i] == x && b[i + 1] == y; };
    int count = 0;
    bool pending = false;
    for (int i = 0; i < WIDTH; i++) {
        if (!inside) {
            if (pair(i, '/', '/'))
                return count;
            if (pair(i, '/', '*') || b[i] == '"') {
                inside = true;
                continue;
            }
            if (letter(b[i]) || b[i] == '_')
                pending = true;
            else if (separator(b[i]) && pending) {
                count++;
                pending = false;
            }
        }
        if (pair(i, '*', '/'))
            inside = false;
        if (b[0] == '"' || (i > 0 && b[i] == '"' && b[i - 1] != '/'))
            inside = false;
    }
    return count;
}

// Pieces as a limited line read takes them: up to and including a newline,
// at most 359 characters.
inline std::vector<std::string> pieces(const std::string &text)
{
    std::vector<std::string> out;
    for (size_t at = 0; at < text.size(); at += out.back().size()) {
        size_t newline = text.find('\n', at);
        size_t end = newline == std::string::npos ? text.size() : newline + 1;
        out.push_back(text.substr(at, std::min<size_t>(end - at, WIDTH - 1)));
    }
    return out;
}

struct Figures {
    std::int64_t line;
    std::int64_t identifiers;
    std::int64_t lines = 0;
    int maxSymbols = 0;
    bool operator==(const Figures &) const = default;
};

// Text mode drops a carriage return only where a newline follows it.
inline std::string textMode(const std::string &file)
{
    std::string text;
    text.reserve(file.size());
    for (size_t i = 0; i < file.size(); i++)
        if (!(file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n'))
            text += file[i];
    return text;
}

inline Figures scan(const std::string &file)
{
    Figures f = {1, 0};
    int number = 1;
    bool inside = false;
    for (const std::string &piece : pieces(textMode(file))) {
        char b[WIDTH] = {};
        std::memcpy(b, piece.data(), piece.size());
        f.identifiers += identifiers(b, inside);
        if (symbols(b) > f.maxSymbols) {
            f.maxSymbols = symbols(b);
            f.line = number;
        }
        f.lines = number++;
    }
    return f;
}

// A piece with more symbols than a limit: the editor's line (1 plus the
// newlines before it) and the column of its first byte in that line,
// counted in the text as text mode delivers it, and its symbols.
struct OverLimit {
    std::int64_t line;
    std::int64_t column;
    int symbols;
    bool operator==(const OverLimit &) const = default;
};

inline std::vector<OverLimit> overLimit(const std::string &file, int limit)
{
    const std::string text = textMode(file);
    std::vector<OverLimit> found;
    size_t at = 0;      // where the piece starts in the text
    size_t counted = 0; // the text before this is counted in line and lineStart
    std::int64_t line = 1;
    size_t lineStart = 0;
    for (const std::string &piece : pieces(text)) {
        for (; counted < at; counted++)
            if (text[counted] == '\n') {
                line++;
                lineStart = counted + 1;
            }
        char b[WIDTH] = {};
        std::memcpy(b, piece.data(), piece.size());
        if (symbols(b) > limit)
            found.push_back({line, static_cast<std::int64_t>(at - lineStart + 1), symbols(b)});
        at += piece.size();
    }
    return found;
}

} // namespace model
