// The two per-line measures and the scan of an input file line by line.
#pragma once

// True inside a block comment or a string literal; carried from line to line.
extern bool is_in_comment;

// Positions 0..359 of `line` that hold neither a space nor a zero byte.
int countSymbolsInLine(const char *line);

// Identifiers ended in `line` outside comments and strings; reads and updates
// is_in_comment.
int countIdentificatorsInLine(const char *line);

// Measures every line of fp and stores the two results.
void counter();
