// The counting rules: the two per-line measures, and the scan of an input
// line by line that gives a file's figures. Nothing here keeps state between
// calls; the caller owns the comment flag, the input and the line buffer.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "text_input.h"

// Counts are 64-bit, so that no input is too long for them.
using Count = std::int64_t;

// Width of a line buffer: a line holds at most 359 characters and a zero
// byte; a longer line arrives in pieces of 359.
inline constexpr int LINE_BUFFER_SIZE = 360;

// The instruction sets the counters can read text with: byte by byte
// anywhere, in blocks of 16 bytes (Portable) or of 32 or 64 (Portable32,
// Portable64, which exist so that the code that depends on the width of a
// block is tested on every processor), and 16, 32 or 64 bytes at a time with
// SSE2, AVX2 or AVX-512 on x86-64. All give the same figures.
enum class InstructionSet { Portable, Portable32, Portable64, Sse2, Avx2, Avx512 };

// Every set, for tests, fuzz targets and benchmarks to name each in turn.
inline constexpr std::array INSTRUCTION_SETS = {InstructionSet::Portable, InstructionSet::Portable32,
                                                InstructionSet::Portable64, InstructionSet::Sse2,
                                                InstructionSet::Avx2, InstructionSet::Avx512};

// Whether this build and processor run `set`: a function below may be given
// only a set for which this holds.
bool processorRuns(InstructionSet set);
InstructionSet widestInstructionSet();

// The set's name as CMEASURE_SIMD takes it: "portable", "sse2", "avx2", ...
const char *nameOf(InstructionSet set);

// The counters without a set argument use the widest set the processor runs,
// unless one is chosen here, by name, before any of them is called. A null
// or empty name chooses the widest.
enum class SetChoice { Chosen, Unknown, NotRun };
SetChoice chooseInstructionSet(const char *name);

// Positions 0..359 of `line` that hold neither a space nor a zero byte.
int countSymbols(const char *line);
int countSymbols(const char *line, InstructionSet set);

// Identifiers ended in `line` outside comments and strings. `in_comment` is
// the comment-or-string flag, read at the start and updated at the end.
int countIdentifiers(const char *line, bool &in_comment);
int countIdentifiers(const char *line, bool &in_comment, InstructionSet set);

struct FileFigures {
    Count lines = 0;              // numbered lines, pieces of long ones included
    Count lineWithMaxSymbols = 1; // the first line with the most symbols
    int maxSymbols = 0;
    Count identifiers = 0;
};

struct Scan {
    FileFigures figures;
    int error = 0; // errno of the read that failed, 0 when the input was read whole
};

// Measures every line of `input`, starting outside comments and strings,
// through `line`, a buffer of LINE_BUFFER_SIZE bytes that must be all
// zero and is left all zero. Safe to run in several threads at once, each
// with its own input and buffer.
Scan scanLines(TextInput &input, char *line);
Scan scanLines(TextInput &input, char *line, InstructionSet set);

// A piece of a line, measured as the scan measures it, that holds more
// symbols than a limit. `line` is the line an editor shows, 1 plus the
// newlines before the piece; `column` the byte column where the piece
// starts within it: 1, or 360, 719, ... for the later pieces of a line
// longer than a piece. A carriage return dropped before a newline takes no
// column, as it is no symbol. `characterColumn` is the same place counted
// in characters of UTF-8 (every byte that does not continue a sequence),
// for readers that count columns so; `text` is the piece itself, valid
// during the report only.
struct PieceOverLimit {
    Count line;
    Count column;
    Count symbols;
    Count characterColumn = 1;
    std::string_view text = {};
};

// Lines (or the menu's pieces) counted by their symbols rather than
// reported one by one.
struct LineCensus {
    Count *lines; // lines[s]: the lines of s symbols counted, for s below `size`
    Count size;
    Count most = 0; // the most symbols of a line counted since the caller last set it
};

// What a scan reports: each piece with more than `symbols` symbols and no
// fewer than `floor` is passed to `report`, with `context`, in the order of
// the input, on the thread that scans; `report` may raise the floor. With
// a census, such a piece of fewer than census->size symbols is counted
// there instead, unless it is denser than every piece before it in the
// input or holds the allow marker in a comment: those are reported.
struct PieceLimit {
    int symbols;
    void (*report)(void *context, const PieceOverLimit &piece);
    void *context;
    int floor = 0;
    LineCensus *census = nullptr;
};

// The scan above that also reports each piece over `limit`. The plain scan
// does no such work.
Scan scanLines(TextInput &input, char *line, const PieceLimit &limit);
Scan scanLines(TextInput &input, char *line, const PieceLimit &limit, InstructionSet set);
