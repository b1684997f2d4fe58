#include "output.h"

#include <algorithm>
#include <charconv>

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

void appendNumber(std::string &out, Count number)
{
    char digits[24];
    const auto [end, failure] = std::to_chars(digits, digits + sizeof digits, number);
    out.append(digits, end);
}

int widthOf(Count number)
{
    char digits[24];
    return static_cast<int>(std::to_chars(digits, digits + sizeof digits, number).ptr - digits);
}

void appendColumn(std::string &out, Count number, int width)
{
    out.append(static_cast<size_t>(std::max(0, width - widthOf(number))), ' ');
    appendNumber(out, number);
    out += "  ";
}

void appendColumn(std::string &out, std::string_view text, int width)
{
    out.append(static_cast<size_t>(std::max(0, width - static_cast<int>(text.size()))), ' ');
    out += text;
    out += "  ";
}

void appendField(std::string &out, const char *name, Count number)
{
    out += ", \"";
    out += name;
    out += "\": ";
    appendNumber(out, number);
}

void appendFigures(std::string &out, const Widths &widths, const FileFigures &figures)
{
    appendColumn(out, figures.lines, widths.lines);
    appendColumn(out, figures.lineWithMaxSymbols, widths.densest);
    appendColumn(out, figures.maxSymbols, widths.symbols);
    appendColumn(out, figures.identifiers, widths.identifiers);
}

// Text with a backslash doubled, a double quote escaped when `quotes`, and
// a control character as \n, \t, \r, or `hex` and two hex digits: the one
// escaping that table rows, messages and JSON strings share.
void appendEscaped(std::string &out, std::string_view text, const char *hex, bool quotes)
{
    static const char DIGITS[] = "0123456789abcdef";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || (quotes && c == '"'))
            out += {'\\', c};
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else if (byte < 0x20 || byte == 0x7F)
            out.append(hex).append({DIGITS[byte >> 4], DIGITS[byte & 15]});
        else
            out += c;
    }
}

} // namespace

bool isUtf8(std::string_view text)
{
    for (size_t i = 0; i < text.size(); i++) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80)
            continue;
        const Sequence sequence = sequenceAfter(lead);
        const auto following = static_cast<size_t>(sequence.following);
        if (following == 0 || text.size() - i - 1 < following)
            return false;
        for (size_t k = 1; k <= following; k++) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if (next < (k == 1 ? sequence.low : 0x80) || next > (k == 1 ? sequence.high : 0xBF))
                return false;
        }
        i += following;
    }
    return true;
}

std::string printablePath(std::string_view path)
{
    std::string out;
    appendEscaped(out, path, "\\x", false);
    return out;
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
    out += '"';
    appendEscaped(out, path, "\\u00", true);
    out += '"';
}

void Totals::add(std::string_view path, const FileFigures &figures)
{
    if (files == 0 || figures.maxSymbols > maxSymbols) {
        maxSymbols = figures.maxSymbols;
        densestPath = path;
        densestLine = figures.lineWithMaxSymbols;
    }
    files++;
    lines += figures.lines;
    identifiers += figures.identifiers;
}

void appendJsonRow(std::string &out, std::string_view path, const FileFigures &figures)
{
    out += "{\"path\": ";
    appendJsonPath(out, path);
    appendField(out, "lines", figures.lines);
    appendField(out, "line_with_max_symbols", figures.lineWithMaxSymbols);
    appendField(out, "max_symbols", figures.maxSymbols);
    appendField(out, "identifiers", figures.identifiers);
    out += "}\n";
}

void appendJsonTotal(std::string &out, const Totals &totals)
{
    out += "{\"total\": true";
    appendField(out, "files", totals.files);
    appendField(out, "lines", totals.lines);
    appendField(out, "identifiers", totals.identifiers);
    appendField(out, "max_symbols", totals.maxSymbols);
    out += ", \"path\": ";
    if (totals.files > 0)
        appendJsonPath(out, totals.densestPath);
    else
        out += "null";
    appendField(out, "line_with_max_symbols", totals.files > 0 ? totals.densestLine : 0);
    out += "}\n";
}

FileFigures Totals::figures() const
{
    return {lines, densestLine, maxSymbols, identifiers};
}

void Widths::fit(const FileFigures &figures)
{
    lines = std::max(lines, widthOf(figures.lines));
    densest = std::max(densest, widthOf(figures.lineWithMaxSymbols));
    symbols = std::max(symbols, widthOf(figures.maxSymbols));
    identifiers = std::max(identifiers, widthOf(figures.identifiers));
}

void appendTableHeader(std::string &out, const Widths &widths)
{
    appendColumn(out, "lines", widths.lines);
    appendColumn(out, "densest", widths.densest);
    appendColumn(out, "symbols", widths.symbols);
    appendColumn(out, "identifiers", widths.identifiers);
    out += "path\n";
}

void appendTableRow(std::string &out, const Widths &widths, std::string_view path, const FileFigures &figures)
{
    appendFigures(out, widths, figures);
    out += printablePath(path);
    out += '\n';
}

// The total row names, in its path column, how many files it covers and
// which of them holds the line in its densest column.
void appendTableTotal(std::string &out, const Widths &widths, const Totals &totals)
{
    appendFigures(out, widths, totals.figures());
    out += "total of ";
    appendNumber(out, totals.files);
    out += " files; densest line in ";
    out += printablePath(totals.densestPath);
    out += '\n';
}
