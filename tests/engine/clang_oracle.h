// The identifiers of a text as clang's raw lexer finds them: its
// raw_identifier tokens, less those of a header name (from '<' to the first
// '>' after #include, #include_next or #import). The tokens are read from
// `clang -fsyntax-only -Xclang -dump-raw-tokens`; each ends with its
// location, which names the file, so the file's path splits them.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cctype>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace clangoracle {

struct Token {
    std::string kind;
    std::string spelling;
    bool startOfLine;
    std::string raw; // as the file holds it, line splices and all
};

// `text` as clang should read it, trigraphs off. Its lexer, peeking at the
// character after a token, reads a trigraph as the character it stands
// for, though trigraphs are off, and then takes only the first '?': so
// "a??/\nb" gives the identifier "a?", "/??/\n/" the comment "/??/",
// "R??/\n\"" a raw string, "#??=" the token "#?". The middle '?' of each
// trigraph becomes ';', which joins no token before or after it and, like
// '?', may be in a raw string's delimiter: every byte stays in place, every
// token but that '?' ends where C ends it, and each line's class is the
// same.
inline std::string withoutTrigraphs(std::string text)
{
    const std::string_view ends = "=(/)'<!>-";
    for (std::size_t k = 0; k + 2 < text.size(); k++)
        if (text[k] == '?' && text[k + 1] == '?' && ends.find(text[k + 2]) != std::string_view::npos)
            text[k + 1] = ';';
    return text;
}

inline bool clangRuns()
{
    return std::system("clang --version >/dev/null 2>&1") == 0;
}

// Whether `flags` is what the dump writes after a token's spelling and its
// tab: its marks, each optional, and nothing else.
inline bool onlyFlags(std::string_view flags)
{
    for (const std::string_view mark : {" [StartOfLine]", " [LeadingSpace]", " [ExpandDisabled]"})
        if (flags.starts_with(mark))
            flags.remove_prefix(mark.size());
    return flags.empty() || (flags.starts_with(" [UnClean='") && flags.ends_with("']"));
}

// A spelling may hold "'\t" itself (a comment, say): it ends at the first
// that only flags follow.
inline std::vector<Token> parse(const std::string &dump, const std::string &path)
{
    std::vector<Token> tokens;
    const std::string marker = "\tLoc=<" + path + ":";
    for (std::size_t at = 0, end; (end = dump.find(marker, at)) != std::string::npos;) {
        const std::string_view chunk = std::string_view(dump).substr(at, end - at);
        at = dump.find('\n', end) + 1;
        const std::size_t space = chunk.find(" '");
        std::size_t close = space == std::string::npos ? space : chunk.find("'\t", space + 2);
        while (close != std::string::npos && !onlyFlags(chunk.substr(close + 2)))
            close = chunk.find("'\t", close + 1);
        if (close == std::string::npos)
            continue;
        const std::string_view flags = chunk.substr(close + 2);
        const std::size_t unclean = flags.find(" [UnClean='");
        const std::string spelling(chunk.substr(space + 2, close - space - 2));
        tokens.push_back({std::string(chunk.substr(0, space)), spelling, flags.starts_with(" [StartOfLine]"),
                          unclean == std::string_view::npos ? spelling
                                                            : std::string(flags.substr(unclean + 11, flags.size() - unclean - 13))});
    }
    return tokens;
}

// White space to the raw lexer, given as an unknown token: ASCII white
// space, NUL, and the spaces beyond ASCII.
inline bool blank(const Token &token)
{
    if (token.kind == "comment")
        return true;
    if (token.kind != "unknown" || token.spelling.empty())
        return false;
    for (std::size_t k = 0; k < token.spelling.size(); k++) {
        const unsigned char c = token.spelling[k];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == 0)
            continue;
        std::size_t length = 0;
        for (const char *space : {"\xC2\x85", "\xC2\xA0", "\xE1\x9A\x80", "\xE1\xA0\x8E", "\xE2\x80\xA8", "\xE2\x80\xA9",
                                  "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80"})
            if (token.spelling.compare(k, std::string(space).size(), space) == 0)
                length = std::string(space).size();
        if (token.spelling.compare(k, 2, "\xE2\x80") == 0 && k + 2 < token.spelling.size() &&
            static_cast<unsigned char>(token.spelling[k + 2]) <= 0x8A)
            length = 3; // U+2000 to U+200A
        if (length == 0)
            return false;
        k += length - 1;
    }
    return true;
}

inline long countIdentifiers(const std::vector<Token> &tokens)
{
    long count = 0;
    // The next significant token after `k`, on the same logical line: a
    // blank that starts a line ends it.
    auto next = [&](std::size_t k) {
        for (k++; k < tokens.size() && blank(tokens[k]) && !tokens[k].startOfLine; k++) {
        }
        return k < tokens.size() && !tokens[k].startOfLine ? k : tokens.size();
    };
    // Only blanks so far on the logical line: clang marks the first token
    // after a newline as its start, white space and comments included.
    bool lineBlank = true;
    for (std::size_t k = 0; k < tokens.size(); k++) {
        count += tokens[k].kind == "raw_identifier";
        const bool first = tokens[k].startOfLine || lineBlank;
        lineBlank = first && blank(tokens[k]);
        if (tokens[k].kind != "hash" || !first)
            continue;
        const std::size_t name = next(k);
        if (name == tokens.size() || tokens[name].kind != "raw_identifier")
            continue;
        const std::string &directive = tokens[name].spelling;
        if (directive != "include" && directive != "include_next" && directive != "import")
            continue;
        const std::size_t less = next(name);
        if (less == tokens.size() || tokens[less].kind != "less")
            continue;
        std::size_t greater = less;
        while ((greater = next(greater)) != tokens.size() && tokens[greater].kind != "greater") {
        }
        if (greater == tokens.size())
            continue;
        count++; // the directive's name; the header name's identifiers not at all
        k = greater;
    }
    return count;
}

// The newline of the splice whose backslash is at k in `text`, or npos.
inline std::size_t spliceAt(const std::string &text, std::size_t k, std::size_t end)
{
    const auto horizontal = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; };
    std::size_t after = k + 1;
    while (text[k] == '\\' && after < end && horizontal(text[after]))
        after++;
    return text[k] == '\\' && after < end && (text[after] == '\n' || text[after] == '\r') ? after : std::string::npos;
}

// The byte after the splice whose newline is at n: LF and CR in either
// order are one newline.
inline std::size_t afterSplice(const std::string &text, std::size_t n, std::size_t end)
{
    const bool pair = n + 1 < end && (text[n + 1] == '\n' || text[n + 1] == '\r') && text[n + 1] != text[n];
    return n + (pair ? 2 : 1);
}

// The first byte at or after k that is no part of a splice.
inline std::size_t pastSplices(const std::string &text, std::size_t k, std::size_t end)
{
    for (std::size_t n; k < end && (n = spliceAt(text, k, end)) != std::string::npos;)
        k = afterSplice(text, n, end);
    return k;
}

// A token and where its raw spelling starts in the text.
struct Placed {
    const Token *token;
    std::size_t at;
};

// The tokens in `text`, each raw spelling looked for after the one before
// it; one not found there, or empty, is left out.
inline std::vector<Placed> placed(const std::vector<Token> &tokens, const std::string &text)
{
    std::vector<Placed> found;
    std::size_t cursor = 0;
    for (const Token &token : tokens) {
        const std::size_t at = text.find(token.raw, cursor);
        if (at == std::string::npos || token.raw.empty())
            continue;
        cursor = at + token.raw.size();
        found.push_back({&token, at});
    }
    return found;
}

// A comment, or a block comment that the input ends, which clang gives as
// an unknown token.
inline bool isComment(const Token &token)
{
    return token.kind == "comment" || (token.kind == "unknown" && token.spelling.starts_with("/*"));
}

// The lines of `text`, numbered from 1 after each LF, that the markers of
// the comments clang found allow, each comment read with its line splices
// removed (a backslash, horizontal white space, then LF, CR, or both in
// either order), a marker being on the line of its last character:
// "cmeasure: allow" its own line, "cmeasure: allow-next-line" the next one
// instead, and "cmeasure: off" every line up to the one holding "cmeasure:
// on", both included, or to the end. Each token's raw spelling is looked
// for in `text` after the one before it.
inline std::set<long> allowedLines(const std::vector<Token> &tokens, const std::string &text)
{
    static const std::string PREFIX = "cmeasure: ";
    const auto lineOf = [&text](std::size_t at) {
        return 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n');
    };
    std::set<long> lines;
    long offFrom = 0; // the line of the "off" in force, 0 for none
    for (const auto &[token, at] : placed(tokens, text)) {
        if (!isComment(*token))
            continue;
        const std::size_t end = at + token->raw.size();
        std::string clean;
        std::vector<std::size_t> offsets;
        for (std::size_t k = at; k < end;) {
            if (const std::size_t n = spliceAt(text, k, end); n != std::string::npos) {
                k = afterSplice(text, n, end);
                continue;
            }
            clean += text[k];
            offsets.push_back(k++);
        }
        for (std::size_t found = 0; (found = clean.find(PREFIX, found)) != std::string::npos; found++) {
            const std::string_view rest = std::string_view(clean).substr(found + PREFIX.size());
            const auto lastAt = [&](std::string_view word) { return lineOf(offsets[found + PREFIX.size() + word.size() - 1]); };
            if (rest.starts_with("allow-next-line")) {
                lines.insert(lastAt("allow-next-line") + 1);
            } else if (rest.starts_with("allow")) {
                lines.insert(lastAt("allow"));
            } else if (rest.starts_with("off") && offFrom == 0) {
                offFrom = lastAt("off");
            } else if (rest.starts_with("on") && offFrom != 0) {
                for (long line = offFrom; line <= lastAt("on"); line++)
                    lines.insert(line);
                offFrom = 0;
            }
        }
    }
    for (long line = offFrom, last = lineOf(text.size()); offFrom != 0 && line <= last; line++)
        lines.insert(line);
    return lines;
}

// Code alone counting, which bytes of `text` count nothing, from clang's
// comment and literal tokens (an unknown token that begins as one is one: a
// literal its line ends, a comment the input ends). A comment's bytes count
// nothing, a literal's but one: its first byte after the last splice before
// its opening quote. Bytes that the lexer reads before a splice, and only a
// character after it shows part of such a token, count as code: those
// before the second character of a comment's opener, before a literal's
// opening quote (in C++ before the character after it when it follows a
// number, which that character may continue), and before the end of a
// standard suffix or the first character of a suffix that '_' or a
// character beyond ASCII begins; and a splice's backslash in a suffix, which
// the character after it may end.
inline std::vector<bool> hiddenBytes(const std::vector<Token> &tokens, const std::string &text, bool cpp)
{
    std::vector<bool> hidden(text.size(), false);
    std::size_t previousEnd = std::string::npos;
    std::string previousKind;
    for (const auto &[placedToken, found] : placed(tokens, text)) {
        const Token &token = *placedToken;
        const std::size_t end = found + token.raw.size();
        const bool follows = previousEnd == found;
        // Splices before a token's first character lie between tokens.
        const std::size_t at = pastSplices(text, found, end);
        const std::string before = previousKind;
        previousEnd = end;
        previousKind = token.kind;
        const std::string &spelling = token.spelling;
        const std::size_t quote = spelling.find_first_of("\"'");
        const bool comment = isComment(token);
        const bool literal = token.kind.find("string_literal") != std::string::npos ||
                             token.kind.find("char_constant") != std::string::npos ||
                             (token.kind == "unknown" && quote != std::string::npos &&
                              spelling.find_first_not_of("u8ULR") == quote);
        if (!comment && !literal)
            continue;
        // Whether a splice's newline lies between k and d.
        std::vector<std::size_t> splices;
        for (std::size_t k = at; k < end; k++)
            if (const std::size_t n = spliceAt(text, k, end); n != std::string::npos)
                splices.push_back(n);
        const auto cut = [&](std::size_t k, std::size_t d) {
            return std::any_of(splices.begin(), splices.end(), [&](std::size_t n) { return k < n && n < d; });
        };
        if (comment) {
            const std::size_t d = pastSplices(text, at + 1, end);
            for (std::size_t k = at; k < end; k++)
                hidden[k] = !cut(k, d);
            continue;
        }
        const std::size_t q = text.find_first_of("\"'", at);
        std::size_t carrier = at;
        for (const std::size_t n : splices)
            if (n < q)
                carrier = afterSplice(text, n, end);
        const bool afterNumber = cpp && follows && before == "numeric_constant";
        const std::size_t d = afterNumber ? pastSplices(text, q + 1, end) : q;
        const std::size_t close = token.kind == "unknown" || !cpp ? end - 1 : text.find_last_of("\"'", end - 1);
        for (std::size_t k = at; k <= close; k++)
            hidden[k] = k != carrier && !cut(k, d);
        if (close + 1 >= end)
            continue;
        const std::size_t first = pastSplices(text, close + 1, end);
        const bool standard = first < end && std::isalpha(static_cast<unsigned char>(text[first])) != 0;
        const std::size_t ds = standard ? end - 1 : first;
        for (std::size_t k = close + 1; k < end; k++)
            hidden[k] = !cut(k, ds) && spliceAt(text, k, end) == std::string::npos;
    }
    return hidden;
}

// Code and comment lines of `text` from clang's tokens: a line holds code
// when a byte other than white space (space, tab, CR, LF, VT, FF, NUL) of
// a token other than a comment lies on it, or any byte of a raw string; a
// comment when such a byte of a comment does and none of code. Bytes in no
// token are white space, a byte order mark, or line splices, but for a
// backslash that a lone CR ends, which is read as code; so are the splices
// right before a comment's opener, which clang's comment token begins with
// ("\\\r// c" is a code line, as "\\\r // c" is). The backslash of a splice
// that ends a line (white space and CRs after it, then LF) counts nothing,
// in a token or not, and the '/' of a comment's opener that a splice cuts
// in two is code on its line.
struct LineClasses {
    long code = 0;
    long comment = 0;
};

inline LineClasses lineClasses(const std::vector<Token> &tokens, const std::string &text)
{
    enum Class : unsigned char { None, Code, Comment };
    std::vector<unsigned char> byClass(text.size(), None);
    std::vector<bool> raw(text.size(), false);
    const auto blankByte = [](unsigned char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == 0;
    };
    for (std::size_t k = text.starts_with("\xef\xbb\xbf") ? 3 : 0; k < text.size(); k++)
        byClass[k] = blankByte(static_cast<unsigned char>(text[k])) ? None : Code;
    for (const auto &[placedToken, at] : placed(tokens, text)) {
        const Token &token = *placedToken;
        const std::size_t end = at + token.raw.size();
        const bool comment = isComment(token);
        // A raw string, or what is left of one that has no end or a bad
        // delimiter, which clang gives as an unknown token.
        const std::string prefix = token.spelling.substr(0, token.spelling.find('"'));
        const bool rawString = (token.kind.find("string_literal") != std::string::npos || token.kind == "unknown") &&
                               prefix.size() < token.spelling.size() &&
                               (prefix == "R" || prefix == "LR" || prefix == "uR" || prefix == "UR" || prefix == "u8R");
        // The splices a comment's or a raw string's token begins with lie
        // before its opener or prefix.
        const std::size_t opener = comment || rawString ? pastSplices(text, at, end) : at;
        for (std::size_t k = at; k < end; k++) {
            if (comment && k >= opener && byClass[k] != None)
                byClass[k] = Comment;
            raw[k] = rawString && k >= opener;
        }
        if (comment && opener + 1 < end && text[opener + 1] == '\\')
            byClass[opener] = Code;
    }
    LineClasses classes;
    bool code = false;
    bool commented = false;
    long lastMarked = -1;
    std::size_t lineStart = 0;
    for (std::size_t k = 0; k <= text.size(); k++) {
        if (k < text.size() && text[k] != '\n') {
            if (byClass[k] != None || raw[k])
                lastMarked = static_cast<long>(k);
            continue;
        }
        if (k == lineStart && k == text.size())
            break;
        // The backslash of a splice, white space and CRs after it.
        bool spliced = lastMarked >= 0 && !raw[static_cast<std::size_t>(lastMarked)] && k < text.size() &&
                       text[static_cast<std::size_t>(lastMarked)] == '\\';
        for (auto j = static_cast<std::size_t>(lastMarked + 1); spliced && j < k; j++)
            spliced = text[j] != 0;
        for (std::size_t j = lineStart; j < k; j++) {
            if (spliced && static_cast<long>(j) == lastMarked)
                continue;
            code = code || byClass[j] == Code || raw[j];
            commented = commented || byClass[j] == Comment;
        }
        if (k < text.size() && raw[k])
            code = true;
        classes.code += code ? 1 : 0;
        classes.comment += !code && commented ? 1 : 0;
        code = commented = false;
        lastMarked = -1;
        lineStart = k + 1;
    }
    return classes;
}

} // namespace clangoracle

