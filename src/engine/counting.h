// The counting rules: the two per-line measures, and the scan of an input
// line by line that gives a file's figures. Nothing here keeps state between
// calls; the caller owns the comment flag, the input and the line buffer.
#pragma once

#include <cstdint>

#include "text_input.h"

// Counts are 64-bit, so that no input is too long for them.
using Count = std::int64_t;

// Width of a line buffer: a line holds at most 359 characters and a zero
// byte; a longer line arrives in pieces of 359.
inline constexpr int LINE_BUFFER_SIZE = 360;

// The instruction sets the counters can read text with: byte by byte
// anywhere, and 16, 32 or 64 bytes at a time with SSE2, AVX2 or AVX-512 on
// x86-64. All give the same figures. Unless told otherwise the counters take
// the widest the processor runs; tests and benchmarks name each in turn.
enum class InstructionSet { Portable, Sse2, Avx2, Avx512 };

// Whether this build and processor run `set`: a function below may be given
// only a set for which this holds.
bool processorRuns(InstructionSet set);
InstructionSet widestInstructionSet();
const char *nameOf(InstructionSet set);

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
