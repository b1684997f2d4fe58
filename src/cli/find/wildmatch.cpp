#include "find/wildmatch.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>

namespace cli {
namespace {

enum class Wild {
    MATCH,
    NO_MATCH,
    ABORT_ALL,         // the text ran out: no later start of a '*' can match either
    ABORT_TO_STARSTAR, // a '*' met a '/': only an enclosing "**" may go on
};

// A pattern whose '*'s nest deeper than this matches nothing, so that no
// pattern can exhaust the stack; a real one has a handful.
constexpr unsigned MOST_STARS = 512;

bool isGlobSpecial(unsigned char c)
{
    return c == '*' || c == '?' || c == '[' || c == '\\';
}

bool isAsciiSpace(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Whether `c` is in the POSIX class `name`; false for a class that does not
// exist, which `known` then says. Only ASCII belongs to any class.
bool inClass(std::string_view name, unsigned char c, bool &known)
{
    const bool upper = c >= 'A' && c <= 'Z';
    const bool lower = c >= 'a' && c <= 'z';
    const bool digit = c >= '0' && c <= '9';
    const bool print = c >= 0x20 && c <= 0x7e;
    known = true;
    if (name == "alnum")
        return upper || lower || digit;
    if (name == "alpha")
        return upper || lower;
    if (name == "blank")
        return c == ' ' || c == '\t';
    if (name == "cntrl")
        return c < 0x20 || c == 0x7f;
    if (name == "digit")
        return digit;
    if (name == "graph")
        return print && c != ' ';
    if (name == "lower")
        return lower;
    if (name == "print")
        return print;
    if (name == "punct")
        return print && c != ' ' && !upper && !lower && !digit;
    if (name == "space")
        return isAsciiSpace(c);
    if (name == "upper")
        return upper;
    if (name == "xdigit")
        return digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    known = false;
    return false;
}

// A match tries a position of the pattern against a position of the text
// at most once: past this many tries of either, the outcomes are kept.
// Real patterns stay far below it and pay nothing; "a*a*…*b" against a long
// name of a's would otherwise try exponentially many splits.
constexpr unsigned REMEMBER_AFTER = 256;

unsigned char lower(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// One match of a pattern, which holds no zero byte, against a text.
struct Matcher {
    Wild match(size_t p, size_t t, unsigned depth) const;
    Wild tryFrom(size_t p, size_t t, unsigned depth) const;

    // The byte at `i`, or 0 past the end: the matcher reads both as C strings.
    unsigned char pat(size_t i) const { return i < pattern_.size() ? static_cast<unsigned char>(pattern_[i]) : 0; }
    unsigned char txt(size_t i) const { return i < text_.size() ? static_cast<unsigned char>(text_[i]) : 0; }
    unsigned char fold(unsigned char c) const { return ignoreCase_ ? lower(c) : c; }
    bool slashFrom(size_t t) const { return t < text_.size() && text_.find('/', t) != std::string_view::npos; }

    Wild star(size_t &p, size_t &t, unsigned depth) const;
    Wild set(size_t &p, unsigned char t_ch) const;

    std::string_view pattern_;
    std::string_view text_;
    bool pathname_;
    bool ignoreCase_;
    mutable unsigned tries_ = 0;
    mutable std::unique_ptr<std::unordered_map<uint64_t, Wild>> outcomes_;
};

// match() from a '*': the same positions always give the same outcome.
Wild Matcher::tryFrom(size_t p, size_t t, unsigned depth) const
{
    if (++tries_ <= REMEMBER_AFTER)
        return match(p, t, depth);
    if (!outcomes_)
        outcomes_ = std::make_unique<std::unordered_map<uint64_t, Wild>>();
    const uint64_t key = (static_cast<uint64_t>(p) << 32) | t;
    const auto known = outcomes_->find(key);
    if (known != outcomes_->end())
        return known->second;
    const Wild outcome = match(p, t, depth);
    outcomes_->emplace(key, outcome);
    return outcome;
}

Wild Matcher::match(size_t p, size_t t, unsigned depth) const
{
    if (depth > MOST_STARS)
        return Wild::ABORT_ALL;
    for (; pat(p) != 0; t++, p++) {
        unsigned char p_ch = fold(pat(p));
        const unsigned char t_ch = fold(txt(t));
        if (t_ch == 0 && p_ch != '*')
            return Wild::ABORT_ALL;
        switch (p_ch) {
        case '\\':
            // The next character literally, as written even with `ignoreCase`;
            // a backslash at the end matches nothing.
            p_ch = pat(++p);
            [[fallthrough]];
        default:
            if (t_ch != p_ch)
                return Wild::NO_MATCH;
            break;
        case '?':
            if (pathname_ && t_ch == '/')
                return Wild::NO_MATCH;
            break;
        case '*': {
            const Wild result = star(p, t, depth);
            if (result != Wild::MATCH)
                return result;
            if (p == pattern_.size())
                return Wild::MATCH;
            break; // `p` and `t` stand on the slash that both step over
        }
        case '[': {
            const Wild result = set(p, t_ch);
            if (result != Wild::MATCH)
                return result;
            break;
        }
        }
    }
    return t < text_.size() ? Wild::NO_MATCH : Wild::MATCH;
}

// A run of '*' at `p` over the text from `t`. Returns the outcome of the
// whole match, except that MATCH with `p` short of the pattern's end means
// that a single '*' took the rest of a directory name: `p` and `t` are then
// left on the '/' that follows in each.
Wild Matcher::star(size_t &p, size_t &t, unsigned depth) const
{
    const size_t first = p;
    bool matchSlash = !pathname_;
    if (pat(++p) == '*') {
        while (pat(++p) == '*') {
        }
        // "**" is special only as a whole name: after '/' or at the start,
        // before '/' or at the end.
        const bool wholeName = (first == 0 || pat(first - 1) == '/') &&
                               (pat(p) == 0 || pat(p) == '/' || (pat(p) == '\\' && pat(p + 1) == '/'));
        // "**/" may match no directory at all.
        if (wholeName && pat(p) == '/' && tryFrom(p + 1, t, depth + 1) == Wild::MATCH) {
            p = pattern_.size();
            return Wild::MATCH;
        }
        matchSlash = wholeName;
    }
    if (pat(p) == 0) {
        // A trailing "**" takes everything, a trailing '*' the rest of a name.
        if (!matchSlash && slashFrom(t))
            return Wild::NO_MATCH;
        p = pattern_.size();
        return Wild::MATCH;
    }
    if (!matchSlash && pat(p) == '/') {
        const size_t slash = t < text_.size() ? text_.find('/', t) : std::string_view::npos;
        if (slash == std::string_view::npos)
            return Wild::NO_MATCH;
        t = slash;
        return Wild::MATCH;
    }
    for (unsigned char t_ch = txt(t); t_ch != 0; t_ch = txt(++t)) {
        // Before a literal, skip straight to where it occurs next: what lies
        // before belongs to the '*'. A single '*' never looks past a '/'.
        if (!isGlobSpecial(pat(p))) {
            const unsigned char p_ch = fold(pat(p));
            while ((t_ch = fold(txt(t))) != 0 && (matchSlash || t_ch != '/') && t_ch != p_ch)
                t++;
            if (t_ch != p_ch)
                return Wild::NO_MATCH;
        }
        const Wild rest = tryFrom(p, t, depth + 1);
        if (rest != Wild::NO_MATCH) {
            if (!matchSlash || rest != Wild::ABORT_TO_STARSTAR) {
                if (rest == Wild::MATCH)
                    p = pattern_.size();
                return rest;
            }
        } else if (!matchSlash && t_ch == '/') {
            return Wild::ABORT_TO_STARSTAR;
        }
    }
    return Wild::ABORT_ALL;
}

// A bracket expression at `p` against the character `t_ch`. Returns MATCH
// with `p` on the closing ']'.
Wild Matcher::set(size_t &p, unsigned char t_ch) const
{
    unsigned char p_ch = pat(++p);
    if (p_ch == '^')
        p_ch = '!';
    const bool negated = p_ch == '!';
    if (negated)
        p_ch = pat(++p);
    unsigned char prev_ch = 0;
    bool matched = false;
    do {
        if (p_ch == 0)
            return Wild::ABORT_ALL;
        if (p_ch == '\\') {
            p_ch = pat(++p);
            if (p_ch == 0)
                return Wild::ABORT_ALL;
            matched = matched || t_ch == p_ch;
        } else if (p_ch == '-' && prev_ch != 0 && pat(p + 1) != 0 && pat(p + 1) != ']') {
            p_ch = pat(++p);
            if (p_ch == '\\') {
                p_ch = pat(++p);
                if (p_ch == 0)
                    return Wild::ABORT_ALL;
            }
            const unsigned char upper = ignoreCase_ && t_ch >= 'a' && t_ch <= 'z' ? static_cast<unsigned char>(t_ch - 'a' + 'A') : t_ch;
            matched = matched || (t_ch <= p_ch && t_ch >= prev_ch) || (upper <= p_ch && upper >= prev_ch);
            p_ch = 0; // a range cannot start another
        } else if (p_ch == '[' && pat(p + 1) == ':') {
            const size_t name = p + 2;
            size_t end = name;
            while (pat(end) != 0 && pat(end) != ']')
                end++;
            if (pat(end) == 0)
                return Wild::ABORT_ALL;
            if (end == name || pat(end - 1) != ':') {
                // No ":]": the '[' is an ordinary member.
                matched = matched || t_ch == '[';
                p_ch = '[';
                continue;
            }
            bool known = false;
            const std::string_view className = pattern_.substr(name, end - 1 - name);
            matched = inClass(className, t_ch, known) || matched ||
                      (ignoreCase_ && className == "upper" && inClass("lower", t_ch, known));
            if (!known)
                return Wild::ABORT_ALL;
            p = end;
            p_ch = 0; // a class cannot start a range
        } else {
            matched = matched || t_ch == p_ch;
        }
    } while (prev_ch = p_ch, (p_ch = pat(++p)) != ']');
    if (matched == negated || (pathname_ && t_ch == '/'))
        return Wild::NO_MATCH;
    return Wild::MATCH;
}

} // namespace

bool wildmatch(std::string_view pattern, std::string_view text, bool pathname, bool ignoreCase)
{
    const Matcher matcher{pattern.substr(0, pattern.find('\0')), text, pathname, ignoreCase, 0, nullptr};
    return matcher.match(0, 0, 0) == Wild::MATCH;
}

} // namespace cli
