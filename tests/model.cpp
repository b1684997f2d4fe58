// The model's rules, as model.h describes them.
#include "model.h"

#include <algorithm>
#include <cstring>

namespace model {

namespace {

bool letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool digit(char c) { return c >= '0' && c <= '9'; }
bool separator(char c) { return !letter(c) && !digit(c) && c != '_'; }

} // namespace

int symbols(const char *b)
{
    int n = 0;
    for (int i = 0; i < WIDTH; i++)
        if (b[i] != ' ' && b[i] != '\0')
            n++;
    return n;
}

int identifiers(const char *b, bool &inside)
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

std::vector<std::string> pieces(const std::string &text)
{
    std::vector<std::string> out;
    for (size_t at = 0; at < text.size(); at += out.back().size()) {
        size_t newline = text.find('\n', at);
        size_t end = newline == std::string::npos ? text.size() : newline + 1;
        out.push_back(text.substr(at, std::min<size_t>(end - at, WIDTH - 1)));
    }
    return out;
}

std::string textMode(const std::string &file)
{
    std::string text;
    text.reserve(file.size());
    for (size_t i = 0; i < file.size(); i++)
        if (!(file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n'))
            text += file[i];
    return text;
}

Figures scan(const std::string &file)
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

std::vector<OverLimit> overLimit(const std::string &file, int limit)
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
