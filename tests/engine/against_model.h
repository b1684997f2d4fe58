// The engine against the model of the counting rules (model.h), in one
// instruction set, line by line and file by file. The model's account is
// computed once and may be checked against several sets. Each check returns
// what differs, or "" when nothing does, so that a test prints it with its
// seed and a fuzz target stops on it.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "counting.h"
#include "model.h"

namespace againstmodel {

// One line of at most 359 bytes, as a line read leaves it in the buffer.
struct Line {
    explicit Line(const std::string &text)
    {
        std::memcpy(bytes, text.data(), std::min<size_t>(text.size(), LINE_BUFFER_SIZE - 1));
    }
    char bytes[LINE_BUFFER_SIZE] = {};
};

// The model's figures of a line, and the comment flag after it.
struct LineFigures {
    int identifiers;
    int symbols;
    bool inside;
    bool operator==(const LineFigures &) const = default;
};

inline std::string text(const LineFigures &f)
{
    return "identifiers " + std::to_string(f.identifiers) + ", symbols " + std::to_string(f.symbols) + ", inside " +
           std::to_string(f.inside);
}

inline LineFigures modelLine(const Line &line, bool &inside)
{
    char copy[model::WIDTH];
    std::memcpy(copy, line.bytes, sizeof copy);
    const int identifiers = model::identifiers(copy, inside);
    return {identifiers, model::symbols(copy), inside};
}

// Both counters of `set` on the line, carrying the engine's comment flag.
inline std::string lineDiffers(const Line &line, InstructionSet set, bool &inside, const LineFigures &expected)
{
    Line copy = line;
    const int identifiers = countIdentifiers(copy.bytes, inside, set);
    const LineFigures got = {identifiers, countSymbols(copy.bytes, set), inside};
    if (got == expected)
        return "";
    return std::string(nameOf(set)) + ": " + text(got) + "; the model has " + text(expected);
}

inline std::string text(std::int64_t line, std::int64_t identifiers, std::int64_t lines, int maxSymbols)
{
    return "line " + std::to_string(line) + ", identifiers " + std::to_string(identifiers) + ", lines " +
           std::to_string(lines) + ", max symbols " + std::to_string(maxSymbols);
}

// The figures of a scan, and the line buffer left all zero.
inline std::string figuresDiffer(const Scan &scan, const char *buffer, InstructionSet set,
                                 const model::Figures &expected)
{
    const FileFigures &got = scan.figures;
    if (std::count(buffer, buffer + LINE_BUFFER_SIZE, 0) != LINE_BUFFER_SIZE)
        return std::string(nameOf(set)) + ": the line buffer is not left all zero";
    if (model::Figures{got.lineWithMaxSymbols, got.identifiers, got.lines, got.maxSymbols} == expected)
        return "";
    return std::string(nameOf(set)) + ": " + text(got.lineWithMaxSymbols, got.identifiers, got.lines, got.maxSymbols) +
           "; the model has " + text(expected.line, expected.identifiers, expected.lines, expected.maxSymbols);
}

// The scan of `input`, which delivers the file the model scanned into
// `expected`.
inline std::string scanDiffers(TextInput &input, InstructionSet set, const model::Figures &expected)
{
    char buffer[LINE_BUFFER_SIZE] = {};
    const Scan scan = scanLines(input, buffer, set);
    return figuresDiffer(scan, buffer, set, expected);
}

inline std::string text(const std::vector<model::OverLimit> &pieces)
{
    std::string out;
    for (const model::OverLimit &piece : pieces) {
        out += ' ';
        out += std::to_string(piece.line);
        out += ':';
        out += std::to_string(piece.column);
        out += ':';
        out += std::to_string(piece.symbols);
    }
    return out.empty() ? " none" : out;
}

// The scan that reports the pieces over `limit`: the same figures, and the
// pieces the model finds over it, in order.
inline std::string reportingScanDiffers(TextInput &input, InstructionSet set, int limit,
                                        const model::Figures &expected,
                                        const std::vector<model::OverLimit> &expectedPieces)
{
    std::vector<model::OverLimit> pieces;
    const PieceLimit report = {limit,
                               [](void *context, const PieceOverLimit &piece) {
                                   static_cast<std::vector<model::OverLimit> *>(context)->push_back(
                                       {piece.line, piece.column, static_cast<int>(piece.symbols)});
                               },
                               &pieces};
    char buffer[LINE_BUFFER_SIZE] = {};
    const Scan scan = scanLines(input, buffer, report, set);
    const std::string differs = figuresDiffer(scan, buffer, set, expected);
    if (!differs.empty() || pieces == expectedPieces)
        return differs;
    return std::string(nameOf(set)) + ", limit " + std::to_string(limit) + ": pieces over it" + text(pieces) +
           "; the model has" + text(expectedPieces);
}

} // namespace againstmodel
