#include "report/escaping.h"

#include <algorithm>
#include <charconv>
#include <iterator>

namespace cli {

namespace {

// What may follow a lead byte: how many continuation bytes, and the range
// of the first, which excludes overlong forms, surrogates and values above
// U+10FFFF. None for a byte that cannot lead.
struct Sequence {
    int following;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
};

Sequence sequenceAfter(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return {1};
    if (lead >= 0xE0 && lead <= 0xEF)
        return {2, static_cast<unsigned char>(lead == 0xE0 ? 0xA0 : 0x80), static_cast<unsigned char>(lead == 0xED ? 0x9F : 0xBF)};
    if (lead >= 0xF0 && lead <= 0xF4)
        return {3, static_cast<unsigned char>(lead == 0xF0 ? 0x90 : 0x80), static_cast<unsigned char>(lead == 0xF4 ? 0x8F : 0xBF)};
    return {0};
}

void appendHex(std::string &out, const char *hex, unsigned char byte)
{
    static const char DIGITS[] = "0123456789abcdef";
    out.append(hex).append({DIGITS[byte >> 4], DIGITS[byte & 15]});
}

// An ASCII byte with a backslash doubled, a double quote escaped when
// `quotes`, and a control character as \n, \t, \r, or `hex` and two hex
// digits: the escaping that table rows, messages and JSON strings share.
// Whether appendEscapedAscii() gives `c` as itself.
bool standsForItself(char c, bool quotes)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte != 0x7F && c != '\\' && !(quotes && c == '"');
}

void appendEscapedAscii(std::string &out, char c, const char *hex, bool quotes)
{
    const auto byte = static_cast<unsigned char>(c);
    if (standsForItself(c, quotes))
        out += c;
    else if (c == '\\' || (quotes && c == '"'))
        out += {'\\', c};
    else if (c == '\n')
        out += "\\n";
    else if (c == '\t')
        out += "\\t";
    else if (c == '\r')
        out += "\\r";
    else
        appendHex(out, hex, byte);
}

// The length of the well-formed UTF-8 sequence that `text` starts with, or
// 0 when its first byte does not start one.
size_t sequenceLength(std::string_view text)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80)
        return 1;
    const Sequence sequence = sequenceAfter(lead);
    const auto following = static_cast<size_t>(sequence.following);
    if (following == 0 || text.size() - 1 < following)
        return 0;
    for (size_t k = 1; k <= following; k++) {
        const auto next = static_cast<unsigned char>(text[k]);
        if (next < (k == 1 ? sequence.low : 0x80) || next > (k == 1 ? sequence.high : 0xBF))
            return 0;
    }
    return following + 1;
}

// The code point of a well-formed UTF-8 sequence.
char32_t codePointOf(std::string_view sequence)
{
    const auto lead = static_cast<unsigned char>(sequence[0]);
    char32_t value = sequence.size() == 1 ? lead : lead & (0x7F >> sequence.size());
    for (size_t k = 1; k < sequence.size(); k++)
        value = value << 6 | (static_cast<unsigned char>(sequence[k]) & 0x3F);
    return value;
}

// Unicode's format characters (Cf) and its line and paragraph separators
// (Zl, Zp), as of Unicode 15. None shows as itself: U+202E turns what follows
// right to left ("a\u202Egpj.c" shows as "ac.jpg"), U+200B is invisible,
// U+2028 may end a line. In a name they would make it read as another.
constexpr char32_t FORMAT_RANGES[][2] = {
    {0xAD, 0xAD},       {0x600, 0x605},     {0x61C, 0x61C},     {0x6DD, 0x6DD},   {0x70F, 0x70F},
    {0x890, 0x891},     {0x8E2, 0x8E2},     {0x180E, 0x180E},   {0x200B, 0x200F}, {0x2028, 0x202E},
    {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB}, {0x110BD, 0x110BD},
    {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F},
};

// U+0080 to U+009F, the C1 controls: a terminal may act on them (U+009B
// opens a control sequence, U+0085 ends a line) instead of showing them.
// And the format characters and separators above.
bool showsOtherThanItself(std::string_view sequence)
{
    const char32_t character = codePointOf(sequence);
    if (character >= 0x80 && character < 0xA0)
        return true;
    return std::any_of(std::begin(FORMAT_RANGES), std::end(FORMAT_RANGES),
                       [character](const char32_t(&range)[2]) { return character >= range[0] && character <= range[1]; });
}

} // namespace

char *writeNumber(char *at, Count number)
{
    return std::to_chars(at, at + NUMBER_DIGITS, number).ptr;
}

void appendNumber(std::string &out, Count number)
{
    char digits[NUMBER_DIGITS];
    out.append(digits, writeNumber(digits, number));
}

void appendHexHash(std::string &out, std::uint64_t hash)
{
    static const char DIGITS[] = "0123456789abcdef";
    for (int shift = 60; shift >= 0; shift -= 4)
        out += DIGITS[(hash >> shift) & 15];
}

void appendJsonField(std::string &out, std::string_view name, Count number)
{
    out += ", \"";
    out += name;
    out += "\": ";
    appendNumber(out, number);
}

bool isUtf8(std::string_view text)
{
    for (size_t i = 0, length = 0; i < text.size(); i += length) {
        length = sequenceLength(text.substr(i));
        if (length == 0)
            return false;
    }
    return true;
}

// Only well-formed UTF-8 for printable characters is written as it is;
// every byte of a control character, C0 or C1, of a format character or
// separator, and of anything that is not UTF-8 is written as \x and two hex
// digits, so that a name can neither break a row nor steer the terminal, nor
// show as another name.
std::string printablePath(std::string_view path)
{
    std::string out;
    for (size_t i = 0; i < path.size();) {
        const size_t length = sequenceLength(path.substr(i));
        const std::string_view sequence = path.substr(i, std::max<size_t>(length, 1));
        if (length == 1)
            appendEscapedAscii(out, path[i], "\\x", false);
        else if (length == 0 || showsOtherThanItself(sequence))
            for (const char byte : sequence)
                appendHex(out, "\\x", static_cast<unsigned char>(byte));
        else
            out += sequence;
        i += sequence.size();
    }
    return out;
}

std::string utf8OrPrintable(std::string_view path)
{
    return isUtf8(path) ? std::string(path) : printablePath(path);
}

void appendJsonPath(std::string &out, std::string_view path)
{
    if (!isUtf8(path)) {
        out += '[';
        for (size_t i = 0; i < path.size(); i++) {
            if (i > 0)
                out += ", ";
            appendNumber(out, static_cast<unsigned char>(path[i]));
        }
        out += ']';
        return;
    }
    // Runs of bytes that stand for themselves, those of 0x80 and above too,
    // are copied whole.
    out += '"';
    size_t from = 0;
    for (size_t i = 0; i < path.size(); i++) {
        if (standsForItself(path[i], true))
            continue;
        out += path.substr(from, i - from);
        appendEscapedAscii(out, path[i], "\\u00", true);
        from = i + 1;
    }
    out += path.substr(from);
    out += '"';
}

} // namespace cli
